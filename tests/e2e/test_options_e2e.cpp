// Options against real devices: the port's own reasons for a failed open,
// the port test through QSerialPort against the simulator, the Options dialog
// itself, and what a screen reader finds in the main window.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include <unistd.h>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <fstream>

#include "e2e/e2e_support.h"
#include "support/modal.h"
#include "ui/main_window.h"
#include "ui/open_dialog.h"
#include "ui/options_dialog.h"
#include "ui/session.h"

namespace fenwyd::testing {
namespace {

using Kind = PortOpenError::Kind;
using Outcome = PortTestReport::Outcome;

TEST(QtSerialPortOpen, SortsTheSystemsReasons) {
    probesim::ProbeSim sim(FixedProbe());
    ASSERT_TRUE(sim.start()) << sim.lastError();
    TempFolder folder;

    QtSerialPort first;
    ASSERT_TRUE(first.openDevice(sim.devicePath(), 2400));
    EXPECT_EQ(first.baudRate(), 2400);
    EXPECT_EQ(first.lastOpenError().kind, Kind::None);

    QtSerialPort second;
    EXPECT_FALSE(second.openDevice(sim.devicePath(), 9600)) << "the device is held";
    EXPECT_EQ(second.lastOpenError().kind, Kind::InUse) << second.lastOpenError().text;
    EXPECT_EQ(second.baudRate(), 0);

    EXPECT_FALSE(second.openDevice((folder.path() / "no-such-tty").string(), 9600));
    EXPECT_EQ(second.lastOpenError().kind, Kind::NotFound);
    EXPECT_EQ(second.lastOpenError().text, "No such file or directory");

    // Not a terminal at all.
    const std::string plain = (folder.path() / "plain.txt").string();
    std::ofstream(plain) << "x";
    EXPECT_FALSE(second.openDevice(plain, 9600));
    if (geteuid() != 0) {
        // A device this user may not open (root may open anything).
        ::chmod(plain.c_str(), 0);
        EXPECT_FALSE(second.openDevice(plain, 9600));
        EXPECT_EQ(second.lastOpenError().kind, Kind::PermissionDenied);
    }
    first.close();
    EXPECT_EQ(first.baudRate(), 0);
}

TEST(LivePortTest, TriesAnotherProbeAndThePortInUse) {
    LiveRig rig;  // a QM-8204 on Comm2
    ASSERT_TRUE(rig.started) << rig.sim.lastError();
    probesim::Options o = FixedProbe('V');
    probesim::ProbeSim other(o);
    ASSERT_TRUE(other.start()) << other.lastError();
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(RunUntil([&] { return rig.in.st.TimeOut == 0; }, 5000));

    auto line = std::make_shared<QtSerialPort>();
    auto test = [&](const std::string& device) {
        std::optional<PortTestReport> got;
        rig.in.TestPort(line, device, 9600, [&](const PortTestReport& report) { got = report; });
        EXPECT_TRUE(RunUntil([&] { return got.has_value(); }, 5000));
        return got.value_or(PortTestReport{});
    };
    PortTestReport r = test(other.devicePath());
    EXPECT_EQ(r.outcome, Outcome::Answered) << r.text;
    EXPECT_EQ(r.text.substr(0, 18), "QM-8203 answered: ");
    EXPECT_FALSE(line->isOpen());

    // The port in use: let go, tried, taken back; the readings go on.
    r = test(rig.sim.devicePath());
    EXPECT_EQ(r.outcome, Outcome::Answered) << r.text;
    EXPECT_EQ(r.text.substr(0, 18), "QM-8204 answered: ");
    EXPECT_EQ(rig.in.st.CommPortOpenOk, 1);
    EXPECT_TRUE(rig.dialogs.messages().empty());
    const int readings = rig.sim.stats().readings;
    ASSERT_TRUE(RunUntil([&] { return rig.sim.stats().readings >= readings + 3; }, 5000));
    EXPECT_EQ(rig.in.view.StatusBaudText, "9600 Baud");
    EXPECT_EQ(rig.in.view.StatusToolTip, "Comm 2: " + rig.sim.devicePath());

    other.stop();
    r = test(other.devicePath());
    EXPECT_EQ(r.outcome, Outcome::OpenFailed) << r.text;
}

// A click that arrives while a transaction waits (window events run at the
// start of each wait) must not use the port: Options and Test wait for the
// transaction to end.
TEST(LivePortTest, WorkAskedForInsideATransactionWaitsForItsEnd) {
    LiveRig rig;
    ASSERT_TRUE(rig.started);
    ui::MainWindow w(rig.port, rig.clock, rig.settings, rig.folder.str(), &rig.dialogs);
    Instrument& in = w.instrument();
    struct DuringReading : InstrumentObserver {
        std::function<void()> once;
        void readingShown(const Measurement&, int32_t) override {
            if (auto f = std::move(once)) f();
        }
    } hook;
    in.addObserver(&hook);
    int ranInTransaction = -1;
    bool askedInTransaction = false;
    hook.once = [&] {
        askedInTransaction = in.InTransaction();
        w.whenIdle([&] { ranInTransaction = in.InTransaction() ? 1 : 0; });
        EXPECT_EQ(ranInTransaction, -1) << "not at once";
    };
    in.OpenCommPort(2);
    in.HRTReadProbe().setEnabled(true);
    ASSERT_TRUE(RunUntil([&] { return ranInTransaction != -1; }, 5000));
    EXPECT_TRUE(askedInTransaction);
    EXPECT_EQ(ranInTransaction, 0);
    in.removeObserver(&hook);
}

// ------------------------------------------------------------ the dialog

struct ListedPorts : PortCatalog {
    std::vector<SystemPort> listed;
    int asked = 0;
    std::vector<SystemPort> ports() override {
        ++asked;
        return listed;
    }
};

SystemPort UsbAdapter() {
    SystemPort p;
    p.device = "/dev/ttyUSB0";
    p.stableName = "/dev/serial/by-id/usb-FTDI_FT232R_A6008isP-if00-port0";
    p.description = "FT232R USB UART";
    p.manufacturer = "FTDI";
    p.serialNumber = "A6008isP";
    p.vendorId = 0x0403;
    p.productId = 0x6001;
    return p;
}

PortOptions Mapped() {
    PortOptions o;
    for (int i = 1; i <= kPortCount; ++i) o.device[i] = "/dev/ttyS" + std::to_string(i - 1);
    o.baudRate = 2400;
    return o;
}

TEST(OptionsDialog, ListsTheSystemsPortsAndKeepsWhatWasTyped) {
    ListedPorts catalog;
    SystemPort builtIn;
    builtIn.device = "/dev/ttyS0";
    catalog.listed = {UsbAdapter(), builtIn};
    ui::OptionsDialog dlg(nullptr, catalog, Mapped(), 2, true, nullptr);

    QComboBox* comm1 = dlg.deviceBox(1);
    EXPECT_EQ(comm1->currentText(), QStringLiteral("/dev/ttyS0"));
    ASSERT_EQ(comm1->count(), 2);
    EXPECT_EQ(comm1->itemText(0),
              QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A6008isP-if00-port0"));
    EXPECT_EQ(
        comm1->itemData(0, Qt::ToolTipRole).toString(),
        QStringLiteral("FT232R USB UART, FTDI, serial A6008isP, USB 0403:6001, /dev/ttyUSB0"));
    EXPECT_EQ(dlg.speedBox()->currentText(), QStringLiteral("2400 Baud"));
    EXPECT_EQ(comm1->accessibleName(), QStringLiteral("Comm 1 device"));
    EXPECT_EQ(dlg.testButton(1)->accessibleName(), QStringLiteral("Test Comm 1"));

    // Picking the adapter by its plain name shows what it is.
    comm1->setEditText(QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(
        dlg.detailsLabel(1)->text(),
        QStringLiteral("FT232R USB UART, FTDI, serial A6008isP, USB 0403:6001, /dev/ttyUSB0"));

    // A typed path survives the list changing under it (a device plugged in).
    QLineEdit* typed = dlg.deviceBox(3)->lineEdit();
    typed->selectAll();
    QTest::keyClicks(typed, QStringLiteral("/tmp/probe-pty "));
    EXPECT_EQ(dlg.detailsLabel(3)->text(), QStringLiteral("Not present now."));
    SystemPort acm;
    acm.device = "/dev/ttyACM0";
    acm.vendorId = 0x2341;
    acm.productId = 0x0043;
    catalog.listed.push_back(acm);
    dlg.refreshPorts();
    EXPECT_EQ(dlg.deviceBox(3)->count(), 3);
    EXPECT_EQ(dlg.deviceBox(3)->currentText(), QStringLiteral("/tmp/probe-pty "));
    const int asked = catalog.asked;
    dlg.refreshPorts();  // nothing changed: nothing refilled
    EXPECT_EQ(catalog.asked, asked + 1);
    EXPECT_EQ(dlg.deviceBox(3)->count(), 3);

    dlg.speedBox()->setCurrentIndex(dlg.speedBox()->findData(9600));
    const PortOptions o = dlg.options();
    EXPECT_EQ(o.device[1], "/dev/ttyUSB0");
    EXPECT_EQ(o.device[2], "/dev/ttyS1");
    EXPECT_EQ(o.device[3], "/tmp/probe-pty") << "trimmed";
    EXPECT_EQ(o.baudRate, 9600);
}

TEST(OptionsDialog, TestShowsTheReportUntilTheDeviceChanges) {
    ListedPorts catalog;
    std::vector<std::pair<std::string, int32_t>> asked;
    PortOptions current = Mapped();
    current.baudRate = 4800;  // set by hand in the settings file: kept as it is
    ui::OptionsDialog dlg(
        nullptr, catalog, current, 0, false,
        [&](const std::string& device, int32_t baud, const ui::OptionsDialog::TestDone& done) {
            asked.emplace_back(device, baud);
            done({Outcome::Answered, "QM-8203 answered: 12.34 V/m, Range 1"});
        });
    EXPECT_EQ(dlg.options().baudRate, 4800);
    EXPECT_EQ(dlg.speedBox()->count(), 3);
    dlg.show();
    dlg.testButton(4)->click();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], std::make_pair(std::string("/dev/ttyS3"), 4800));
    EXPECT_TRUE(dlg.resultLabel(4)->isVisible());
    EXPECT_FALSE(dlg.detailsLabel(4)->isVisible());
    EXPECT_EQ(dlg.resultLabel(4)->text(), QStringLiteral("QM-8203 answered: 12.34 V/m, Range 1"));
    EXPECT_TRUE(dlg.testButton(4)->isEnabled());
    dlg.deviceBox(4)->setEditText(QStringLiteral("/dev/ttyS9"));
    EXPECT_FALSE(dlg.resultLabel(4)->isVisible()) << "a result of another device";
    EXPECT_TRUE(dlg.detailsLabel(4)->isVisible());

    dlg.deviceBox(5)->setEditText(QString());
    dlg.testButton(5)->click();
    EXPECT_EQ(asked.size(), 1u) << "nothing to test";
    EXPECT_EQ(dlg.resultLabel(5)->text(), QStringLiteral("Type or pick a device first."));
}

// ------------------------------------------------------ screen readers

// Every element below the window, depth first.
void Walk(QAccessibleInterface* node, const std::function<void(QAccessibleInterface*)>& visit) {
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (child == nullptr) continue;
        visit(child);
        Walk(child, visit);
    }
}

// The elements a screen reader would find with neither name nor description.
std::vector<std::string> Anonymous(QWidget* window) {
    std::vector<std::string> anonymous;
    Walk(QAccessible::queryAccessibleInterface(window), [&](QAccessibleInterface* a) {
        const QAccessible::Role role = a->role();
        // Toolbar separators are fillers to a screen reader, not elements.
        const bool separator =
            role == QAccessible::Separator ||
            (a->object() != nullptr && a->object()->inherits("QToolBarSeparator"));
        // A table's corner is Qt's own, with no widget to name.
        const bool corner = role == QAccessible::Pane && a->object() == nullptr;
        if (separator || corner || a->state().invisible) return;
        if (a->text(QAccessible::Name).isEmpty() && a->text(QAccessible::Description).isEmpty()) {
            QObject* o = a->object();
            anonymous.push_back(
                std::to_string(role) + " " +
                (o ? o->metaObject()->className() + std::string(" ") + o->objectName().toStdString()
                   : std::string("?")));
        }
    });
    return anonymous;
}

TEST(Accessibility, EveryElementOfTheDialogsIsNamedOrDescribed) {
    ListedPorts catalog;
    catalog.listed = {UsbAdapter()};
    ui::OptionsDialog options(nullptr, catalog, Mapped(), 1, false, nullptr);
    ui::AboutBox about(nullptr, QStringLiteral("About Fenwyd 8200"), QStringLiteral("QM-8204"));
    LiveRig rig;
    int16_t portNo = 2;
    ui::PortPicker picker(nullptr, portNo, rig.port, &catalog,
                          [](QWidget*, int16_t) { return false; });
    ui::Splash splash;
    ui::OpenDialog open(nullptr, nullptr, nullptr, nullptr);
    for (QWidget* w : std::initializer_list<QWidget*>{&options, &about, &picker, &splash, &open}) {
        w->show();
        EXPECT_TRUE(Anonymous(w).empty())
            << w->metaObject()->className() << ::testing::PrintToString(Anonymous(w));
        w->close();
    }
}

TEST(Accessibility, EveryElementOfTheWindowIsNamedOrDescribed) {
    LiveRig rig;
    ASSERT_TRUE(rig.started);
    rig.sim.setValue(1999);
    ui::MainWindow w(rig.port, rig.clock, rig.settings, rig.folder.str(), &rig.dialogs);
    w.instrument().OpenCommPort(2);
    w.instrument().HRTReadProbe().setEnabled(true);
    w.show();
    ASSERT_TRUE(RunUntil([&] { return w.instrument().view.LabXYZField.caption == "1.999"; }, 5000));
    w.render();

    const std::vector<std::string> anonymous = Anonymous(&w);
    EXPECT_TRUE(anonymous.empty()) << ::testing::PrintToString(anonymous);

    // A value label: the value as its name, what it is as its description.
    struct Value {
        const char* element;
        const char* description;
    };
    for (const Value& v :
         {Value{"LabXYZField", "Field value"}, Value{"LabRecordCnt", "Record count"},
          Value{"LabBarGraph", "Percent of range"}}) {
        QWidget* label = w.element(QString::fromLatin1(v.element));
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(label);
        EXPECT_EQ(a->text(QAccessible::Name), qobject_cast<QLabel*>(label)->text()) << v.element;
        EXPECT_EQ(a->text(QAccessible::Description), QString::fromLatin1(v.description));
    }
    QAccessibleInterface* units = QAccessible::queryAccessibleInterface(w.element("LabUnits"));
    EXPECT_EQ(units->text(QAccessible::Name), QStringLiteral("mG"));
    ASSERT_NE(units->actionInterface(), nullptr);
    EXPECT_EQ(
        units->actionInterface()->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
        QStringList{
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U).toString(QKeySequence::NativeText)});

    // Pressing the log indicator through the accessibility interface starts
    // logging, as a click does.
    QAccessibleInterface* log = QAccessible::queryAccessibleInterface(w.element("LabRecord"));
    log->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(w.instrument().st.RecordOn, 1);
    w.close();
}

TEST(Accessibility, TheLabelClicksHaveKeys) {
    LiveRig rig;
    ASSERT_TRUE(rig.started);
    ui::MainWindow w(rig.port, rig.clock, rig.settings, rig.folder.str(), &rig.dialogs);
    w.instrument().OpenCommPort(2);
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    Instrument& in = w.instrument();
    in.SetUp57XX();  // the units label shows once a probe answered
    w.render();

    const auto press = [&](Qt::Key key) {
        in.st.PendingCmnd.clear();
        QTest::keyClick(&w, key, Qt::ControlModifier | Qt::ShiftModifier);
        return in.st.PendingCmnd;
    };
    EXPECT_EQ(press(Qt::Key_R), "SC");
    EXPECT_EQ(press(Qt::Key_U), "EH");
    EXPECT_EQ(press(Qt::Key_B), "BT");
    press(Qt::Key_L);
    EXPECT_EQ(in.st.RecordOn, 1);
    in.st.RecordCnt = 7;
    press(Qt::Key_E);
    EXPECT_EQ(in.st.RecordCnt, 0);
    press(Qt::Key_L);
    EXPECT_EQ(in.st.RecordOn, 0);

    // A hidden label cannot be clicked, nor reached by its key.
    in.ClearDisplay();
    w.render();
    EXPECT_EQ(press(Qt::Key_U), "");
    // The menus keep their own keys.
    EXPECT_EQ(w.menuAction(QStringLiteral("mnuProbeRecord"))->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_L));
    EXPECT_EQ(w.menuAction(QStringLiteral("mnuProbeUpdateNow"))->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_B));
    w.close();
}

TEST(PortPicker, OptionsFromThePickerMapsANumberAndThePickerShowsIt) {
    // The real dialogs, port and settings store (this test's own): no
    // configuration file, so start-up's first step shows the picker.
    probesim::ProbeSim sim(FixedProbe());
    ASSERT_TRUE(sim.start()) << sim.lastError();
    MapPort(2, "/dev/fenwyd-no-such-tty");
    TempFolder folder;
    QtSerialPort port;
    QtClock clock;
    QtSettingsStore settings;
    ui::MainWindow window(port, clock, settings, folder.str());
    ui::Session session(window, settings, clock);  // the picker's way into Options

    QString before, after;
    bool optionsShown = false;
    auto inPicker = InNextDialog([&](QWidget* w) {
        auto* picker = dynamic_cast<ui::PortPicker*>(w);
        ASSERT_NE(picker, nullptr);
        before = picker->deviceLabel(2)->toolTip();
        auto inOptions = InNextDialog([&](QWidget* o) {
            auto* options = dynamic_cast<ui::OptionsDialog*>(o);
            ASSERT_NE(options, nullptr);
            optionsShown = options->parentWidget() == picker;
            options->deviceBox(2)->setEditText(QString::fromStdString(sim.devicePath()));
            options->accept();
        });
        picker->optionsButton()->click();
        after = picker->deviceLabel(2)->toolTip();
        picker->accept();
    });
    window.instrument().LoadFreeCfg();

    EXPECT_TRUE(optionsShown) << "Options opens over the picker";
    EXPECT_EQ(before, QStringLiteral("/dev/fenwyd-no-such-tty"));
    EXPECT_EQ(after, QString::fromStdString(sim.devicePath()));
    EXPECT_EQ(port.deviceName(2), sim.devicePath()) << "the mapping is kept";
    // Start-up opens the chosen port after the picker, once.
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(window.instrument().st.CommPortNo, 2);
}

}  // namespace
}  // namespace fenwyd::testing
