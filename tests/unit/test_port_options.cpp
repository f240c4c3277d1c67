// The port options: what the operator is told when a port does not open or
// a device is tried, the test itself with the reading cycle around it, and
// storing a new mapping.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "instrument/port_options.h"
#include "link/port_catalog.h"
#include "support/harness.h"

namespace fenwyd::testing {
namespace {

using Kind = PortOpenError::Kind;
using Outcome = PortTestReport::Outcome;

const std::string kOpenFail =
    "Unable to open the selected comm port.  Reselect comm port or check system configuration.";
const std::string kDialout =
    " Your user may not use serial ports: add it to the \"dialout\" group (sudo usermod -aG "
    "dialout $USER), then log out and log in again.";

TEST(OpenFailureDetail, NamesThePortTheDeviceAndTheReason) {
    struct Case {
        PortOpenError error;
        bool onLinux;
        std::string expected;
    };
    const Case cases[] = {
        {{Kind::NotFound, "No such file or directory"},
         true,
         "Comm 3 (/dev/ttyUSB0): No such file or directory. Is the adapter plugged in? Options "
         "(toolbar) sets the device of each port number."},
        {{Kind::PermissionDenied, "Permission denied"},
         true,
         "Comm 3 (/dev/ttyUSB0): Permission denied." + kDialout},
        {{Kind::PermissionDenied, "Permission denied"},
         false,
         "Comm 3 (/dev/ttyUSB0): Permission denied."},
        {{Kind::InUse, "Permission error while locking the device"},
         true,
         "Comm 3 (/dev/ttyUSB0): The device is in use by another program (Permission error "
         "while locking the device)."},
        // No doubled full stop; a reason the system did not word.
        {{Kind::Other, "Inappropriate ioctl for device."},
         true,
         "Comm 3 (/dev/ttyUSB0): Inappropriate ioctl for device."},
        {{Kind::Other, ""}, true, "Comm 3 (/dev/ttyUSB0): The device cannot be opened."},
        {{Kind::PermissionDenied, ""}, false, "Comm 3 (/dev/ttyUSB0): Permission denied."},
        {{Kind::None, "whatever"}, true, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OpenFailureDetail(3, "/dev/ttyUSB0", c.error, c.onLinux), c.expected)
            << c.error.text;
    }
}

TEST(DescribeTestReply, SaysWhichProbeAnsweredAndWhat) {
    struct Case {
        std::string reply;
        Outcome outcome;
        std::string text;
    };
    const Case cases[] = {
        {Rd("1999", 'E', '0', 'G'), Outcome::Answered, "QM-8204 answered: 1.999 mG, Range 0"},
        {Rd("1355", 'V', '0', 'V'), Outcome::Answered, "QM-8203 answered: 13.55 V/m, Range 0"},
        {Rd("0500", 'E', '2', 'T', 'N', 'A'), Outcome::Answered,
         "QM-8204 answered: 5.0 uT, AutoRange 2"},
        {Rd("1999", 'E', '0', 'G', 'O'), Outcome::Answered,
         "QM-8204 answered: 1.999 mG, Range 0, over range"},
        {Rd("0001", 'E', '0', 'G', 'U'), Outcome::Answered,
         "QM-8204 answered: 0.001 mG, Range 0, under range"},
        // A reply after which an operator would be asked for the model.
        {Rd("1999", 'X', '0', 'G'), Outcome::Answered,
         "A probe (model letter \"X\") answered: 1.999 mG, Range 0"},
        {"", Outcome::Silent,
         "No answer within 300 ms. Is the probe switched on, and the line speed right?"},
        {"\xf0\x0f?\r\n", Outcome::NotAReading,
         "An answer, but not a probe reading: \"\\xf0\\x0f?\\r\\n\". Is the line speed right?"},
        {std::string(50, 'x'), Outcome::NotAReading,
         "An answer, but not a probe reading: \"" + std::string(40, 'x') +
             "...\". Is the line speed right?"},
        // A reading whose range field is corrupt is not a reading.
        {Rd("1999", 'E', '?', 'G'), Outcome::NotAReading, ""},
    };
    for (const Case& c : cases) {
        const PortTestReport r = DescribeTestReply(c.reply);
        EXPECT_EQ(r.outcome, c.outcome) << c.reply;
        if (!c.text.empty()) {
            EXPECT_EQ(r.text, c.text);
        }
    }
}

TEST(PortText, BaudRatesAndPortDetails) {
    const std::pair<std::string, int32_t> rates[] = {
        {"2400", 2400}, {" 9600 ", 9600}, {"", 9600}, {"0", 9600}, {"-2400", 9600}, {"96OO", 9600}};
    for (const auto& [text, rate] : rates) EXPECT_EQ(ParseBaudRate(text), rate) << text;

    SystemPort usb{"/dev/ttyUSB0",
                   "/dev/serial/by-id/usb-FTDI_FT232R-if00",
                   "FT232R USB UART",
                   "FTDI",
                   "A6008isP",
                   0x0403,
                   0x6001};
    EXPECT_EQ(PortDetails(usb),
              "FT232R USB UART, FTDI, serial A6008isP, USB 0403:6001, /dev/ttyUSB0");
    EXPECT_EQ(usb.preferredName(), "/dev/serial/by-id/usb-FTDI_FT232R-if00");
    SystemPort plain;
    plain.device = "/dev/ttyS0";
    EXPECT_EQ(PortDetails(plain), "/dev/ttyS0");
    EXPECT_EQ(plain.preferredName(), "/dev/ttyS0");
    SystemPort repeated{"COM4", "", "Prolific USB-to-Serial", "Prolific", "", 0x067b, 0x2303};
    EXPECT_EQ(PortDetails(repeated), "Prolific USB-to-Serial, USB 067b:2303, COM4");
}

// ------------------------------------------------------- the instrument

TEST(PortInUse, TheStatusBarAndMenuShowTheLineAndItsDevice) {
    Harness h;
    h.port.portBaud = 2400;
    h.in.mnucommcomm_Click(3);
    EXPECT_EQ(h.in.view.StatusBaudText, "2400 Baud");
    EXPECT_EQ(h.in.view.StatusToolTip, "Comm 3: /dev/fake3");
    for (int i = 1; i <= kPortCount; ++i) {
        EXPECT_EQ(h.in.view.mnucommToolTip[i], "/dev/fake" + std::to_string(i));
    }

    h.port.existingPorts = {3};
    h.port.openError = {Kind::PermissionDenied, "Permission denied"};
    h.in.mnucommcomm_Click(4);
    EXPECT_EQ(h.in.view.StatusBaudText, "No port");
    EXPECT_EQ(h.in.view.StatusToolTip, "No port open");
    const std::string expected =
        kOpenFail + "\n\nComm 4 (/dev/fake4): Permission denied." + (kOnLinux ? kDialout : "");
    EXPECT_EQ(h.dialogs.messages(), std::vector<std::string>({expected}));
    // Out of range: the message alone, as there is no device to name.
    h.in.OpenCommPort(9);
    EXPECT_EQ(h.dialogs.messages().back(), kOpenFail);
}

TEST(PortInUse, AfterAFailedOpenTheNextPortsFirstReplyShowsTheUnitsAgain) {
    Harness h;
    h.connect(2);
    h.answerReadings(Rd());
    h.tick();
    ASSERT_TRUE(h.in.view.LabUnits.visible);
    h.port.existingPorts = {2, 3};
    h.in.mnucommcomm_Click(4);  // the display goes back to "No Probe"
    ASSERT_FALSE(h.in.view.LabUnits.visible);
    h.in.mnucommcomm_Click(3);
    h.tick();
    EXPECT_EQ(h.in.view.LabXYZField.caption, "1.999");
    EXPECT_TRUE(h.in.view.LabUnits.visible);
    EXPECT_EQ(h.in.view.LabUnits.caption, "mG");
    EXPECT_TRUE(h.in.view.LabSamRate.visible);
}

class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        h.connect(2);
        h.answerReadings(Rd());
        line.existingDevices = {"/dev/fake2", "/dev/ttyUSB7"};
        line.responder = [this](const std::string& cmd) {
            portOpenDuringTest = h.port.isOpen();
            tickDuringTest = h.in.HRTReadProbe().isEnabled();
            return cmd == "RD" ? Rd("1234", 'V', '1', 'A') : "";
        };
        h.clock.clearDelays();
    }
    // Runs a test of the device to its end on the virtual clock.
    PortTestReport test(const std::string& device, int32_t baud) {
        std::optional<PortTestReport> got;
        h.in.TestPort(std::shared_ptr<SerialPort>(&line, [](SerialPort*) {}), device, baud,
                      [&](const PortTestReport& r) { got = r; });
        EXPECT_TRUE(h.clock.runUntil([&] { return got.has_value(); }));
        return got.value_or(PortTestReport{});
    }
    Harness h;
    FakeSerialPort line{h.clock};
    bool portOpenDuringTest = false;
    bool tickDuringTest = false;
};

TEST_F(PortTest, AnotherDeviceLeavesTheReadingCycleAlone) {
    const int closes = h.port.closeCalls;
    const PortTestReport r = test("/dev/ttyUSB7", 2400);
    EXPECT_EQ(r.outcome, Outcome::Answered);
    EXPECT_EQ(r.text, "QM-8203 answered: 123.4 m A/m, Range 1");
    EXPECT_EQ(line.writtenCommands(), std::vector<std::string>({"RD"}));
    EXPECT_EQ(line.openedBaud, 2400);
    EXPECT_FALSE(line.isOpen()) << "the device is let go after the test";
    ASSERT_FALSE(h.clock.delays().empty());
    EXPECT_EQ(h.clock.delays()[0], 300) << "the reply wait of a transaction";
    EXPECT_TRUE(portOpenDuringTest);
    EXPECT_TRUE(tickDuringTest);
    EXPECT_EQ(h.port.closeCalls, closes);
    EXPECT_TRUE(h.dialogs.shown.empty());
}

TEST_F(PortTest, ThePortInUseIsLetGoForTheTestAndReopened) {
    const int opens = h.port.openCalls;
    const PortTestReport r = test("/dev/fake2", 9600);
    EXPECT_EQ(r.outcome, Outcome::Answered);
    EXPECT_FALSE(portOpenDuringTest);
    EXPECT_FALSE(tickDuringTest);
    EXPECT_EQ(h.port.openCalls, opens + 1);
    EXPECT_TRUE(h.port.isOpen());
    EXPECT_EQ(h.in.st.CommPortOpenOk, 1);
    EXPECT_TRUE(h.in.view.mnucommcomm[2].checked);
    EXPECT_TRUE(h.in.HRTReadProbe().isEnabled());
    // The reading cycle goes on where it left off.
    h.port.clearWrites();
    h.clock.advance(70);
    EXPECT_EQ(h.port.writtenCommands(), std::vector<std::string>({"RD"}));
}

TEST_F(PortTest, FailuresAndABusyPort) {
    line.openError = {Kind::NotFound, "No such file or directory"};
    PortTestReport r = test("/dev/ttyUSB9", 9600);
    EXPECT_EQ(r.outcome, Outcome::OpenFailed);
    EXPECT_EQ(r.text, "Cannot open /dev/ttyUSB9: No such file or directory.");
    EXPECT_TRUE(h.port.isOpen());

    line.responder = nullptr;
    r = test("/dev/ttyUSB7", 9600);
    EXPECT_EQ(r.outcome, Outcome::Silent);

    // During an upload the port in use is not taken away; nothing is sent.
    h.in.mnuProbeUploadData_Click();
    line.clearWrites();
    r = test("/dev/fake2", 9600);
    EXPECT_EQ(r.outcome, Outcome::Busy);
    EXPECT_TRUE(line.writes().empty());
    EXPECT_TRUE(h.port.isOpen());

    // The port in use gone while it was let go: the open-failure message, and
    // no reading tick until a port opens.
    h.in.st.UploadActive = 0;
    line.responder = [this](const std::string&) {
        h.port.existingPorts = {1};
        return std::string();
    };
    test("/dev/fake2", 9600);
    ASSERT_EQ(h.dialogs.messages().size(), 1u);
    EXPECT_EQ(h.dialogs.messages()[0].substr(0, kOpenFail.size()), kOpenFail);
    EXPECT_EQ(h.in.st.CommPortOpenOk, 0);
    EXPECT_FALSE(h.in.HRTReadProbe().isEnabled());
}

TEST(ApplyPortOptions, StoresTheMappingAndReopensOnlyWhenTheLineInUseChanged) {
    struct Case {
        const char* what;
        std::string comm2;
        int32_t baud;
        std::string comm4;
        bool reopened;
    };
    const Case cases[] = {
        {"nothing changed", "/dev/fake2", 9600, "/dev/fake4", false},
        {"another port's device", "/dev/fake2", 9600, "/dev/ttyACM0", false},
        {"the device in use", "/dev/serial/by-id/usb-probe", 9600, "/dev/fake4", true},
        {"the speed", "/dev/fake2", 2400, "/dev/fake4", true},
    };
    for (const Case& c : cases) {
        Harness h;
        h.connect(2);
        const int opens = h.port.openCalls;
        PortOptions o = h.in.PortOptionsNow();
        EXPECT_EQ(o.device[2], "/dev/fake2");
        EXPECT_EQ(o.baudRate, 9600);
        o.device[2] = c.comm2;
        o.device[4] = c.comm4;
        o.baudRate = c.baud;
        h.in.ApplyPortOptions(o);
        EXPECT_EQ(h.settings.values["Ports/Comm2"], c.comm2) << c.what;
        EXPECT_EQ(h.settings.values["Ports/Comm4"], c.comm4) << c.what;
        EXPECT_EQ(h.settings.values["Ports/Comm1"], "/dev/fake1") << c.what;
        EXPECT_EQ(h.settings.values["Ports/BaudRate"], std::to_string(c.baud)) << c.what;
        EXPECT_EQ(h.port.openCalls - opens, c.reopened ? 1 : 0) << c.what;
        EXPECT_TRUE(h.in.view.mnucommcomm[2].checked) << c.what;
        EXPECT_TRUE(h.in.HRTReadProbe().isEnabled()) << c.what;
        EXPECT_EQ(h.in.PortOptionsNow().baudRate, c.baud) << c.what;
    }
}

TEST(ApplyPortOptions, APortThatFailedAtStartOpensOnceMapped) {
    Harness h;
    h.port.existingPorts = {};
    h.in.Form_Load();  // no configuration file: the picker keeps Comm2
    ASSERT_EQ(h.in.st.CommPortOpenOk, 0);
    ASSERT_FALSE(h.in.HRTReadProbe().isEnabled());
    h.port.existingPorts = {2};
    PortOptions o = h.in.PortOptionsNow();
    o.device[2] = "/dev/pts/7";
    h.in.ApplyPortOptions(o);
    EXPECT_EQ(h.in.st.CommPortOpenOk, 1);
    EXPECT_TRUE(h.in.HRTReadProbe().isEnabled());
    EXPECT_EQ(h.in.view.StatusBaudText, "9600 Baud");
}

TEST(ApplyPortOptions, FromThePortPickerTheMappingIsOnlyStored) {
    // Start-up opens the port after the picker; at exit none is opened.
    Harness h;
    h.port.existingPorts = {};
    h.in.Form_Load();
    const int opens = h.port.openCalls;
    PortOptions o = h.in.PortOptionsNow();
    o.device[2] = "/dev/pts/7";
    o.baudRate = 2400;
    h.in.ApplyPortOptions(o, false);
    EXPECT_EQ(h.settings.values["Ports/Comm2"], "/dev/pts/7");
    EXPECT_EQ(h.settings.values["Ports/BaudRate"], "2400");
    EXPECT_EQ(h.port.openCalls, opens);
    EXPECT_EQ(h.dialogs.messages().size(), 1u) << "only start-up's own failure";
    EXPECT_FALSE(h.in.HRTReadProbe().isEnabled());
}

TEST(Transaction, InTransactionCoversTheWaitsOnly) {
    Harness h;
    h.connect();
    h.port.responder = [](const std::string&) { return Rd(); };
    std::vector<bool> seen;
    h.clock.onProcessEvents = [&] { seen.push_back(h.in.InTransaction()); };
    EXPECT_FALSE(h.in.InTransaction());
    h.tick();
    h.in.st.PendingCmnd = "ZZ";  // not a command: the early way out
    h.tick();
    h.in.st.PendingCmnd = "EH";  // two waits, then "KR"
    h.tick();
    EXPECT_EQ(seen, std::vector<bool>({true, true, true}));
    EXPECT_FALSE(h.in.InTransaction());
}

// The window closes while a transaction waits for the probe: the port is
// closed and the files are written at once, and the wait's end does nothing
// more (no read of a closed port, no "KR", no interpretation).
TEST(Transaction, AWindowClosedDuringAWaitEndsTheTransactionThere) {
    for (const char* cmnd : {"", "EH"}) {  // a reading; a units step with its "KR"
        SCOPED_TRACE(cmnd);
        Harness h;
        h.connect();
        h.port.responder = [](const std::string&) { return Rd(); };
        h.tick();
        const int16_t shown = h.in.st.ProbeRange;
        h.in.st.PendingCmnd = cmnd;
        h.in.HRTReadProbe_Timer();  // the command is written; its wait begins
        ASSERT_TRUE(h.in.InTransaction());
        const std::size_t written = h.port.writes().size();
        h.in.Form_Unload();
        EXPECT_FALSE(h.in.InTransaction());
        EXPECT_FALSE(h.port.isOpen());
        h.clock.advance(5000);  // past every wait the command had
        EXPECT_EQ(h.port.writes().size(), written);
        EXPECT_FALSE(h.in.InTransaction());
        EXPECT_EQ(h.in.st.ProbeRange, shown);
    }
}

}  // namespace
}  // namespace fenwyd::testing
