// Writes the program icon (the same artwork the window uses) as a PNG, for
// the desktop entry of an installed program.
#include <QGuiApplication>
#include <QPixmap>
#include <cstdlib>

#include "ui/artwork.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 3) return 2;
    const int size = std::atoi(argv[2]);
    return fenwyd::ui::ProbeArtwork(size, size).save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
