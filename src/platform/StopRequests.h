#pragma once
// The system's requests that the program end, taken as the program's own Exit rather than an
// end at once: on POSIX the signals SIGTERM (a polite kill), SIGHUP (the session has ended) and
// SIGINT (Ctrl+C). On Windows a window's close comes as a message of its own, and there are none.

namespace Platform {

// Catches the requests from now on: each makes the returned descriptor readable until
// TakeStopRequests reads it. The same descriptor every call; -1 where there are none to catch
// or none can be had (the requests then end the program as before).
int CatchStopRequests();
// Reads what the descriptor holds; true when a request had come since the last call.
bool TakeStopRequests();

} // namespace Platform
