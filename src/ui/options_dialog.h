#pragma once
#include <QDialog>
#include <QFileSystemWatcher>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "instrument/port_options.h"
#include "link/port_catalog.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace fenwyd::ui {

class ExposureOptions;

// Options: which device each port number stands for, picked from the serial
// ports the system reports or typed, each with a Test; and the line speed.
class OptionsDialog : public QDialog {
public:
    using TestDone = std::function<void(const PortTestReport&)>;
    // Runs a port test, now or as soon as the port is free, then calls done.
    using Tester = std::function<void(const std::string& device, int32_t baudRate, TestDone done)>;

    // chosenPort: the port number the program uses (0: none), open or not.
    OptionsDialog(QWidget* parent, PortCatalog& catalog, const PortOptions& current,
                  int16_t chosenPort, bool chosenIsOpen, Tester tester);

    PortOptions options() const;
    // A section of options kept elsewhere, above the buttons; check (when
    // given) may keep the dialog open on OK, having said why.
    void addSection(QWidget* section, std::function<bool()> check = {});

    // The list follows devices as they come and go while the dialog is open:
    // read again when /dev changes (after udev has settled), or every
    // kRefreshMs where there is no /dev to watch.
    void refreshPorts();
    static constexpr int kRefreshMs = 1500;
    static constexpr int kSettleMs = 300;

    QComboBox* deviceBox(int portNo) const { return rows_[portNo].device; }
    QPushButton* testButton(int portNo) const { return rows_[portNo].test; }
    QLabel* resultLabel(int portNo) const { return rows_[portNo].result; }
    QLabel* detailsLabel(int portNo) const { return rows_[portNo].details; }
    QComboBox* speedBox() const { return speed_; }
    // Its settings are the caller's to fill in and read back; OK is refused
    // while one of its entries is not valid.
    ExposureOptions* exposure() const { return exposure_; }

private:
    struct Row {
        QComboBox* device = nullptr;
        QPushButton* test = nullptr;
        QLabel* details = nullptr;
        QLabel* result = nullptr;
    };
    void fillDevices(int portNo);
    void showDetails(int portNo);
    void runTest(int portNo);
    void showResult(int portNo, const QString& text, const QColor& color);

    PortCatalog& catalog_;
    Tester tester_;
    std::vector<SystemPort> known_;
    Row rows_[kPortCount + 1];
    void watchDevices();

    std::vector<std::function<bool()>> checks_;
    QComboBox* speed_ = nullptr;
    ExposureOptions* exposure_ = nullptr;
    QFileSystemWatcher devices_;
    QTimer refresh_;
};

}  // namespace fenwyd::ui
