#pragma once
#include <QDialog>
#include <QLoggingCategory>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "instrument/seams.h"
#include "link/port_catalog.h"
#include "link/serial_port.h"

class QFontMetrics;
class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

// Each modal dialog as it opens: silent unless switched on with
// QT_LOGGING_RULES="fenwyd.dialogs.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcDialogs)

namespace fenwyd::ui {

// The real dialogs: message boxes, input boxes, the save dialog, the port
// picker, the splash and the about box.
class QtDialogs : public Dialogs {
public:
    // Opens Options over the given dialog for the port picker, with the
    // picker's number marked; true when Options was accepted.
    using OptionsRunner = std::function<bool(QWidget* over, int16_t chosenPort)>;

    // port: names the device behind each port number in the port picker.
    QtDialogs(QWidget* owner, const SerialPort& port) : owner_(owner), port_(port) {}
    // The port picker also lists the ports the system reports, and opens
    // Options; without these it shows the numbers and their devices only.
    void setPortHelp(PortCatalog* catalog, OptionsRunner options);

    void message(const std::string& text, MsgIcon icon) override;
    bool askYesNo(const std::string& text, MsgIcon icon) override;
    std::string inputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override;
    bool saveFile(const SaveDialogRequest& request, std::string& chosen) override;
    void portPicker(int16_t& commPortNo) override;
    void showSplash() override;
    void closeSplash() override;
    void about(const std::string& caption, const std::string& model) override;
    // A message box that does not wait: it shows and this returns.
    void notice(const std::string& text, MsgIcon icon) override;
    bool programEnding() const override { return ending_; }

    // The program is to end: the splash and every modal dialog still open
    // close, cancelled, and none opens from now on.
    void endProgram();

private:
    // exec(), unless the program is ending (then Rejected at once).
    int run(QDialog& dialog, const QString& what);

    QWidget* owner_;
    const SerialPort& port_;
    PortCatalog* catalog_ = nullptr;
    OptionsRunner options_;
    QPointer<QWidget> splash_;
    bool ending_ = false;
};

// Closes every modal dialog that is open, innermost first, as cancelled:
// each exec() returns when control gets back to it.
void CloseModalDialogs();

// frmPort: "Select a Comm Port". Each number shows the device it stands
// for; below, the serial ports the system reports, and which number each is
// mapped to; "Options..." maps them.
class PortPicker : public QDialog {
public:
    PortPicker(QWidget* parent, int16_t& commPortNo, const SerialPort& port,
               PortCatalog* catalog = nullptr, QtDialogs::OptionsRunner options = {});

    // Reads the mapping and the system's ports again (after Options).
    void refresh();

    QRadioButton* portButton(int portNo) const { return rows_[portNo].option; }
    QLabel* deviceLabel(int portNo) const { return rows_[portNo].device; }
    QPushButton* optionsButton() const { return optionsButton_; }
    // The lines of the system's ports, as shown.
    QStringList systemPortLines() const;

private:
    struct Row {
        QRadioButton* option = nullptr;
        QLabel* device = nullptr;
    };
    int16_t& commPortNo_;
    const SerialPort& port_;
    PortCatalog* catalog_;
    QtDialogs::OptionsRunner options_;
    Row rows_[kPortCount + 1];
    QGroupBox* systemFrame_ = nullptr;
    QGridLayout* systemGrid_ = nullptr;
    QPushButton* optionsButton_ = nullptr;
};

// frmAbout.
class AboutBox : public QDialog {
public:
    AboutBox(QWidget* parent, const QString& caption, const QString& model);
    QLabel* lblVersion = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* LabModel = nullptr;
};

// frmSplash.
class Splash : public QWidget {
public:
    Splash();
    QLabel* lblVersion = nullptr;
};

QString VersionText();  // "1.0.0"

// Places a window in the middle of the screen it is on (the primary screen
// before it is shown).
void CentreOnScreen(QWidget* window);

// Places a dialog in the middle of its parent window, kept on that window's
// screen; in the middle of the screen while the parent is not shown (at
// start-up) or there is none.
void CentreOnParent(QWidget* dialog);

// The window's rectangle moved, if it lies off every screen, onto the
// nearest one: the top-left point where it is wholly on that screen.
QPoint OnAScreen(const QRect& frame);

// A prompt cut to a few lines, each elided to maxWidth pixels.
QString FitPrompt(const QString& prompt, const QFontMetrics& fm, int maxWidth);

}  // namespace fenwyd::ui
