#pragma once
// Directory listing in the shape of the system's first-name / next-name listing: plain files
// only (never folders, hidden or system files), one name at a time, "" at the end. Names come
// sorted without regard to case, the order the host's own file systems list them in.

#include <string>
#include <vector>

namespace Platform {

class DirListing {
public:
    // Starts a listing of a folder (every plain file in it) or of a pattern whose last
    // component may hold '*' and '?' (matched without regard to case). Returns the first name.
    std::string First(const std::string& winPathOrPattern);
    // The next name, or "" when the listing has ended.
    std::string Next();
    // Why the folder of the last First() could not be read, or "" when it could.
    const std::string& Error() const { return error_; }

private:
    std::string error_;
    std::vector<std::string> names_;
    std::size_t next_ = 0;
};

} // namespace Platform
