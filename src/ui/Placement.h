#pragma once
// A window's placement kept between runs: left, top, width and height in twips under the keys
// <prefix>Left, <prefix>Top, <prefix>Width and <prefix>Height of the program's "Settings".

#include <QRectF>

class Form;
class QWidget;

// Places the window as stored: the outer bounds, frame and all (the window is placed again with
// its frame counted once the window system has framed it). A value that is not a number, or no
// window can have, gives the default; a size is brought within the layout's least (3000 x 3000
// twips) and the available area of the screen the window opens on; a window wholly off every
// screen goes back to the default position, a partly visible one is moved within the screen's
// available area.
void RestorePlacement(Form& form, const char* prefix, const QRectF& defaults);

// Moves a window on screen (its frame counted) within the available area of the screen that
// holds most of it, as far as its size allows; its top-left corner stays in view.
void KeepWithinScreen(QWidget& window);

// Stores the window's placement, its outer bounds on the screen, in one write. When it cannot be
// stored, says so on the standard error stream (a closing program shows no message box) and changes
// nothing.
void SavePlacement(const Form& form, const char* prefix);
