#pragma once
// Centres a window over the main window. It belongs with the path and file routines of
// MapCode, but works on windows, so it builds into the program rather than the core.

class Form;

namespace MapCode {

// Moves the window so that its centre lies on the main window's centre (outer sizes, twips);
// the result is not clamped to the screen. Needs the main window's reference.
void CentreForm(Form& form);

} // namespace MapCode
