#pragma once
// The program's pictures, drawn to suit their keys at the size and screen density they are shown
// at: the 23 image-list pictures (16 x 16), the program icon, the About icon and the splash logo.

#include <QIcon>
#include <QPixmap>
#include <QString>

class PictureBox;
class QPainter;

// Draws an image-list picture on 16 x 16 units of `p`.
void DrawPicture(QPainter& p, const QString& key);
// The picture at 16 x 16 pixels.
QPixmap DrawPicture(const QString& key);
// The picture as an icon, drawn afresh at each size and density it is shown at.
QIcon PictureIcon(const QString& key);
// The program's emblem as an icon, drawn from its SVG at each size and density it is shown at.
QIcon ProgramIcon();
// Puts the About icon (32 x 32) or the splash logo (141 x 166) into a picture box: the box holds
// it as a picture of that size in pixels, and shows it drawn at the screen's density.
void ShowAboutIcon(PictureBox* box);
void ShowSplashLogo(PictureBox* box);
// Starts drawing the splash logo on a thread of its own, for the splash window's making to take
// instead of drawing it then; also has Qt load its picture readers there.
void PrepareSplashLogo();
