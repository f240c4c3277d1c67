// The port options: the mapping of port numbers to devices, the line speed,
// the port test, and the reasons given when a port does not open.
#include "instrument/port_options.h"

#include <filesystem>
#include <system_error>

#include "common/textconv.h"
#include "instrument/instrument.h"
#include "instrument/link_trace.h"
#include "link/command_table.h"
#include "measure/probe_model.h"
#include "measure/reply_layout.h"
#include "measure/units.h"

namespace fenwyd {

namespace {
constexpr std::size_t kShownReplyChars = 40;

std::string PortKey(int16_t portNo) { return "Comm" + std::to_string(portNo); }

// The system's wording as one sentence, or ours where it gave none.
std::string Sentence(std::string text, const char* fallback) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    return (text.empty() ? std::string(fallback) : text) + ".";
}

// Why the device did not open, and what the operator can do about it.
std::string Reason(const PortOpenError& e, bool onLinux) {
    using Kind = PortOpenError::Kind;
    switch (e.kind) {
        case Kind::NotFound: return Sentence(e.text, "No such device");
        case Kind::PermissionDenied: {
            std::string s = Sentence(e.text, "Permission denied");
            if (onLinux) {
                s += " Your user may not use serial ports: add it to the \"dialout\" group "
                     "(sudo usermod -aG dialout $USER), then log out and log in again.";
            }
            return s;
        }
        case Kind::InUse: {
            std::string why = Sentence(e.text, "It is locked");
            why.pop_back();  // the full stop goes after the bracket
            return "The device is in use by another program (" + why + ").";
        }
        case Kind::Other: return Sentence(e.text, "The device cannot be opened");
        case Kind::None: break;
    }
    return {};
}

std::string ModelName(const std::string& letter) {
    if (letter == std::string(1, kLetter8203)) return "QM-8203";
    if (letter == std::string(1, kLetter8204)) return "QM-8204";
    return "A probe (model letter \"" + PrintableText(letter) + "\")";
}
}  // namespace

std::string OpenFailureDetail(int16_t portNo, const std::string& device, const PortOpenError& error,
                              bool onLinux) {
    if (error.kind == PortOpenError::Kind::None) return {};
    std::string text =
        "Comm " + std::to_string(portNo) + " (" + device + "): " + Reason(error, onLinux);
    if (error.kind == PortOpenError::Kind::NotFound) {
        text +=
            " Is the adapter plugged in? Options (toolbar) sets the device of each port number.";
    }
    return text;
}

PortTestReport DescribeOpenFailure(const std::string& device, const PortOpenError& error,
                                   bool onLinux) {
    PortOpenError e = error;
    if (e.kind == PortOpenError::Kind::None) e.kind = PortOpenError::Kind::Other;
    return {PortTestReport::Outcome::OpenFailed,
            "Cannot open " + device + ": " + Reason(e, onLinux)};
}

PortTestReport DescribeTestReply(const std::string& reply) {
    using Outcome = PortTestReport::Outcome;
    if (reply.empty()) {
        return {Outcome::Silent, "No answer within " + std::to_string(kReplyWaitMs) +
                                     " ms. Is the probe switched on, and the line speed right?"};
    }
    const auto r = CutReply(ReplyKind::Reading, reply);
    if (!r) {
        std::string shown = PrintableText(reply.substr(0, kShownReplyChars));
        if (reply.size() > kShownReplyChars) shown += "...";
        return {Outcome::NotAReading,
                "An answer, but not a probe reading: \"" + shown + "\". Is the line speed right?"};
    }
    const int16_t model = r->model == std::string(1, kLetter8203) ? kModel8203 : kModel8204;
    const auto range = static_cast<int16_t>(r->range);
    std::string unitsText;
    int16_t exponent = 0;
    const std::string value = ConvertToNumber(
        model, r->units, range, static_cast<float>(LeadingNumber(r->value)), unitsText, exponent);
    std::string label = LookUpUnitsLabel(model, std::to_string(range) + r->units).label;
    if (label.empty()) label = unitsText;
    std::string text = ModelName(r->model) + " answered: " + value + " " + label + ", " +
                       (r->autoRange == "A" ? "AutoRange " : "Range ") + std::to_string(range);
    if (r->overRange()) text += ", over range";
    if (r->underRange()) text += ", under range";
    return {Outcome::Answered, text};
}

bool SameDevice(const std::string& a, const std::string& b) {
    if (a == b) return true;
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

// ------------------------------------------------------ the instrument's side

PortOptions Instrument::PortOptionsNow() const {
    PortOptions o;
    for (int16_t i = 1; i <= kPortCount; ++i) o.device[i] = p_.port.deviceName(i);
    o.baudRate = ParseBaudRate(p_.settings.get("Ports", "BaudRate", ""));
    return o;
}

void Instrument::ApplyPortOptions(const PortOptions& options, bool reopen) {
    const PortOptions before = PortOptionsNow();
    for (int16_t i = 1; i <= kPortCount; ++i) {
        p_.settings.set("Ports", PortKey(i), options.device[i]);
    }
    p_.settings.set("Ports", "BaudRate", std::to_string(options.baudRate));
    // The port in use (or the one that failed to open) follows its new
    // device or speed at once, through the same path as the port menu.
    const int16_t n = st.CommPortNo;
    if (reopen && n >= 1 && n <= kPortCount &&
        (options.device[n] != before.device[n] || options.baudRate != before.baudRate)) {
        mnucommcomm_Click(n);
    } else {
        ShowPortMapping();
    }
}

void Instrument::TestPort(std::shared_ptr<SerialPort> line, const std::string& device,
                          int32_t baudRate, std::function<void(const PortTestReport&)> done) {
    if (Busy()) {
        // A transaction (or another test) holds the port: this one follows.
        WhenIdle([=] { TestPort(line, device, baudRate, done); });
        return;
    }
    const bool inUse =
        st.CommPortOpenOk == 1 && SameDevice(device, p_.port.deviceName(st.CommPortNo));
    if (inUse && st.UploadActive == 1) {
        done({PortTestReport::Outcome::Busy,
              "An upload is running on this port; test it when the upload has ended."});
        return;
    }
    if (inUse) {
        // The reading cycle pauses and lets go of the device for the test.
        readProbeTimer_->setEnabled(false);
        p_.port.close();
    }
    if (!line->openDevice(device, baudRate)) {
        const PortTestReport report = DescribeOpenFailure(device, line->lastOpenError(), kOnLinux);
        if (inUse) mnucommcomm_Click(st.CommPortNo);
        done(report);
        return;
    }
    const std::string cmnd = "RD\r";
    TraceLink("tx", cmnd);
    line->write(cmnd);
    // The reply is read after the wait a transaction gives it; the window's
    // events run meanwhile.
    portTest_ = {std::move(line), inUse, std::move(done)};
    portTestTimer_->startOnce(kReplyWaitMs);
}

void Instrument::FinishPortTest() {
    PortTest test = std::move(portTest_);
    portTest_ = PortTest();
    if (!test.line) return;
    const std::string reply = test.line->readAll();
    if (!reply.empty()) TraceLink("rx", reply);
    test.line->close();
    if (test.inUse) mnucommcomm_Click(st.CommPortNo);
    test.done(DescribeTestReply(reply));
    if (!Busy()) RunQueue(whenIdle_);
}

void Instrument::ShowPortMapping() {
    for (int16_t i = 1; i <= kPortCount; ++i) view.mnucommToolTip[i] = p_.port.deviceName(i);
    if (p_.port.isOpen()) {
        int32_t baud = p_.port.baudRate();
        if (baud <= 0) baud = ParseBaudRate(p_.settings.get("Ports", "BaudRate", ""));
        view.StatusBaudText = std::to_string(baud) + " Baud";
        view.StatusToolTip =
            "Comm " + std::to_string(st.CommPortNo) + ": " + p_.port.deviceName(st.CommPortNo);
    } else {
        view.StatusBaudText = "No port";
        view.StatusToolTip = "No port open";
    }
    p_.display.changed();
}

}  // namespace fenwyd
