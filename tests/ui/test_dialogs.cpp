// The dialogs as the operator meets them, offscreen: where message boxes
// open, what the port picker shows, how an ending program closes them, and
// what a screen reader is told about the statistics and the side windows.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <map>
#include <set>

#include "support/harness.h"
#include "support/modal.h"
#include "ui/bar_window.h"
#include "ui/dialogs.h"
#include "ui/graph_window.h"
#include "ui/main_window.h"
#include "ui/session.h"
#include "ui/stats_view.h"

namespace fenwyd::ui {
namespace {

using namespace fenwyd::testing;

// Names that can change, as after Options.
struct NamedPorts : FakeSerialPort {
    using FakeSerialPort::FakeSerialPort;
    std::map<int16_t, std::string> names;
    std::string deviceName(int16_t n) const override {
        auto it = names.find(n);
        return it != names.end() ? it->second : FakeSerialPort::deviceName(n);
    }
};

struct ListedPorts : PortCatalog {
    std::vector<SystemPort> listed;
    std::vector<SystemPort> ports() override { return listed; }
};

SystemPort UsbAdapter() {
    SystemPort p;
    p.device = "/dev/ttyUSB0";
    p.description = "FT232R USB UART";
    p.manufacturer = "FTDI";
    p.vendorId = 0x0403;
    p.productId = 0x6001;
    return p;
}

std::string Lines(const PortPicker& picker) {
    return picker.systemPortLines().join(QLatin1Char('\n')).toStdString();
}

class Dialogs : public ::testing::Test {
protected:
    VirtualClock clock;
    NamedPorts port{clock};
    QWidget owner;
    QtDialogs dialogs{&owner, port};
};

TEST_F(Dialogs, AMessageBoxOpensInTheMiddleOfItsWindowOrOfTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Not shown yet (start-up): the middle of the screen, not its corner.
    owner.setGeometry(0, 0, 300, 200);
    QPoint centre;
    auto answer = InNextDialog([&](QWidget* box) {
        centre = box->frameGeometry().center();
        static_cast<QMessageBox*>(box)->reject();
    });
    dialogs.message("Unable to open the selected comm port.", MsgIcon::Exclamation);
    EXPECT_LE((centre - screen.center()).manhattanLength(), 4) << centre.x() << "," << centre.y();

    // Shown: the middle of the window.
    owner.setGeometry(screen.x() + 60, screen.y() + 50, 420, 300);
    owner.show();
    answer = InNextDialog([&](QWidget* box) {
        centre = box->frameGeometry().center();
        static_cast<QMessageBox*>(box)->reject();
    });
    dialogs.askYesNo("Restore them into the data log?", MsgIcon::Question);
    EXPECT_LE((centre - owner.frameGeometry().center()).manhattanLength(), 4)
        << centre.x() << "," << centre.y();
}

TEST_F(Dialogs, TheEndOfTheProgramClosesEveryOpenDialogAndOpensNoMore) {
    bool innerAnswer = true;
    auto outer = InNextDialog([&](QWidget*) {
        // A question over the message, then the end.
        auto inner = InNextDialog([&](QWidget*) { dialogs.endProgram(); });
        innerAnswer = dialogs.askYesNo("Replace the data log?", MsgIcon::Question);
    });
    dialogs.message("The journal cannot be opened.", MsgIcon::Exclamation);
    EXPECT_FALSE(innerAnswer) << "closed unanswered";
    EXPECT_TRUE(dialogs.programEnding());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // None opens any more: each returns at once, unanswered.
    bool opened = false;
    auto watch = InNextDialog([&](QWidget* w) {
        opened = true;
        static_cast<QDialog*>(w)->reject();
    });
    int16_t portNo = 4;
    dialogs.portPicker(portNo);
    EXPECT_FALSE(dialogs.askYesNo("Restore?", MsgIcon::Question));
    EXPECT_EQ(dialogs.inputBox("Where?", "Location", "Lab 3"), "");
    dialogs.showSplash();
    QApplication::processEvents();
    EXPECT_FALSE(opened);
    EXPECT_EQ(portNo, 4);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(w->isVisible() && w != &owner) << "a window left open";
    }
}

TEST_F(Dialogs, ThePortPickerShowsEachNumbersDeviceAndTheSystemsPorts) {
    ListedPorts catalog;
    SystemPort builtIn;
    builtIn.device = "/dev/ttyS0";
    catalog.listed = {UsbAdapter(), builtIn};
    port.names[1] = "/dev/ttyS0";
    port.names[2] = "/dev/no-such-device-here";
    int16_t portNo = 3;
    int optionsRun = 0;
    // Options maps Comm2 to the adapter.
    PortPicker picker(&owner, portNo, port, &catalog, [&](QWidget* over, int16_t chosen) {
        ++optionsRun;
        EXPECT_EQ(over->windowTitle(), QStringLiteral("Select a Comm Port"));
        EXPECT_EQ(chosen, 3) << "the number the picker holds";
        port.names[2] = "/dev/ttyUSB0";
        return true;
    });
    EXPECT_TRUE(picker.portButton(2)->isChecked()) << "opens with Comm2, whatever it holds";
    // Read whole (the label may cut a long name in the middle).
    EXPECT_EQ(picker.deviceLabel(1)->accessibleName(), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(picker.deviceLabel(2)->accessibleName(),
              QStringLiteral("/dev/no-such-device-here  (not present)"));
    EXPECT_EQ(picker.portButton(2)->accessibleDescription(),
              picker.deviceLabel(2)->accessibleName());
    EXPECT_EQ(Lines(picker),
              "FT232R USB UART, FTDI, USB 0403:6001, /dev/ttyUSB0 | not mapped\n"
              "/dev/ttyS0 | Comm1\n"
              "Options sets which device each port number stands for.");

    ASSERT_NE(picker.optionsButton(), nullptr);
    picker.optionsButton()->click();
    EXPECT_EQ(optionsRun, 1);
    EXPECT_EQ(picker.deviceLabel(2)->accessibleName(),
              QStringLiteral("/dev/ttyUSB0  FT232R USB UART"));
    EXPECT_EQ(picker.deviceLabel(2)->toolTip(),
              QStringLiteral("FT232R USB UART, FTDI, USB 0403:6001, /dev/ttyUSB0"));
    EXPECT_EQ(picker.systemPortLines().value(0),
              QStringLiteral("FT232R USB UART, FTDI, USB 0403:6001, /dev/ttyUSB0 | Comm2"));
    EXPECT_EQ(portNo, 3) << "only a click on a number changes it";
    picker.portButton(5)->click();
    EXPECT_EQ(portNo, 5);

    // Nothing reported: where to look.
    catalog.listed.clear();
    picker.refresh();
    EXPECT_EQ(Lines(picker),
              "None reported. Is the probe's adapter plugged in? Options also takes the path of "
              "any other device.");
    // The whole picker is on the screen, whatever the list holds.
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(picker.geometry()));
}

TEST(ScreenReaders, EachStatisticsCellSaysItsRowAndColumn) {
    StatsView view(nullptr);
    const QLabel* min = view.findChild<QLabel*>(QStringLiteral("Minimum/live"));
    ASSERT_NE(min, nullptr);
    QAccessibleInterface* cell = QAccessible::queryAccessibleInterface(const_cast<QLabel*>(min));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Description), QStringLiteral("Minimum, live"));
    std::set<QString> seen;
    for (const char* row : {"Readings", "Minimum", "Maximum (peak)", "Peak at", "Mean",
                            "Std. deviation", "Over / under range"}) {
        for (const char* column : {"live", "log"}) {
            const auto* l = view.findChild<QLabel*>(QStringLiteral("%1/%2").arg(row, column));
            ASSERT_NE(l, nullptr) << row << " " << column;
            const QString text = l->accessibleDescription();
            EXPECT_TRUE(text.startsWith(QString::fromLatin1(row) + QStringLiteral(", ")))
                << text.toStdString();
            seen.insert(text);
        }
    }
    EXPECT_EQ(seen.size(), 14u) << "no two alike";
    EXPECT_TRUE(seen.count(QStringLiteral("Mean, data log")));
}

TEST(ScreenReaders, TheGraphAndTheLargeDisplayAreWindows) {
    TempFolder folder;
    VirtualClock clock;
    FakeSerialPort port{clock};
    ScriptedDialogs dialogs;
    MemorySettings settings;
    MainWindow window(port, clock, settings, folder.str(), &dialogs);
    Session session(window, settings, clock);
    session.showGraph();
    session.showBarGraph();
    for (QWidget* w : {static_cast<QWidget*>(session.graphWindow()),
                       static_cast<QWidget*>(session.barWindow())}) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), QAccessible::Window) << w->windowTitle().toStdString();
        EXPECT_EQ(a->text(QAccessible::Name), w->windowTitle());
    }
}

TEST(Ending, OptionsClosesAndOpensNoMore) {
    TempFolder folder;
    VirtualClock clock;
    FakeSerialPort port{clock};
    MemorySettings settings;
    MainWindow window(port, clock, settings, folder.str());  // the real dialogs
    Session session(window, settings, clock);
    window.show();
    bool wasOpen = false;
    auto end = InNextDialog([&](QWidget* w) {
        wasOpen = w->windowTitle() == QStringLiteral("Options");
        window.endProgram();
    });
    session.showOptions();  // returns once closed
    EXPECT_TRUE(wasOpen);
    EXPECT_TRUE(window.ending());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    bool opened = false;
    auto watch = InNextDialog([&](QWidget* w) {
        opened = true;
        static_cast<QDialog*>(w)->reject();
    });
    session.showOptions();
    session.openLogs();
    QApplication::processEvents();
    EXPECT_FALSE(opened);
}

}  // namespace
}  // namespace fenwyd::ui
