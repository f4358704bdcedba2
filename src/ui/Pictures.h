#pragma once
// The program's pictures, drawn to suit their keys: the 23 image-list pictures (16 x 16), the
// program icon, the About icon and the splash logo.

#include <QIcon>
#include <QPixmap>
#include <QString>

QPixmap DrawPicture(const QString& key);
QIcon ProgramIcon();
QPixmap AboutIcon();  // 32 x 32
QPixmap SplashLogo(); // 141 x 166
