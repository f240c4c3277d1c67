#pragma once
// The program's own artwork, drawn in code: toolbar images, the program
// icon and the splash/about pictures.
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace fenwyd::ui {

QIcon ToolbarIcon(const QString& key);
QIcon ProgramIcon();
QPixmap ProbeArtwork(int width, int height);

}  // namespace fenwyd::ui
