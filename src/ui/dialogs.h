#pragma once
#include <QDialog>
#include <QPointer>
#include <QWidget>

#include "instrument/seams.h"
#include "link/serial_port.h"

class QFontMetrics;
class QLabel;

namespace fenwyd::ui {

// The real dialogs: message boxes, input boxes, the save dialog, the port
// picker, the splash and the about box.
class QtDialogs : public Dialogs {
public:
    // port: names the device behind each port number in the port picker.
    QtDialogs(QWidget* owner, const SerialPort& port) : owner_(owner), port_(port) {}

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

private:
    QWidget* owner_;
    const SerialPort& port_;
    QPointer<QWidget> splash_;
};

// frmPort: "Select a Comm Port".
class PortPicker : public QDialog {
public:
    PortPicker(QWidget* parent, int16_t& commPortNo, const SerialPort& port);

private:
    int16_t& commPortNo_;
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

// The window's rectangle moved, if it lies off every screen, onto the
// nearest one: the top-left point where it is wholly on that screen.
QPoint OnAScreen(const QRect& frame);

// A prompt cut to a few lines, each elided to maxWidth pixels.
QString FitPrompt(const QString& prompt, const QFontMetrics& fm, int maxWidth);

}  // namespace fenwyd::ui
