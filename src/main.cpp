// Fenwyd 8200: companion program for the QM-8203 and QM-8204 field-strength
// probes.
#include <QApplication>
#include <QDir>
#include <QFile>

#include "app/qt_platform.h"
#include "app/ui/main_window.h"
#include "link/qt_serial_port.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Fenwyd 8200"));
    fenwyd::ui::InstallFontSubstitutes();

    fenwyd::QtSerialPort port;
    fenwyd::QtClock clock;
    fenwyd::QtSettingsStore settings;
    // The configuration and notes files live beside the program.
    const std::string programFolder =
        QFile::encodeName(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()))
            .toStdString();

    fenwyd::ui::MainWindow window(port, clock, settings, programFolder);
    window.instrument().Form_Load();
    window.show();
    return QApplication::exec();
}
