// Which device each port number stands for and the line speed, as the
// operator sets them in Options; trying a device; what to tell the operator
// when a port does not open.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/serial_port.h"

namespace fenwyd {

struct PortOptions {
    // Index 1..5 (0 unused). Empty: the system's default device for the number.
    std::array<std::string, kPortCount + 1> device;
    int32_t baudRate = kDefaultBaudRate;
};

struct PortTestReport {
    enum class Outcome { Answered, Silent, NotAReading, OpenFailed, Busy };
    Outcome outcome = Outcome::Silent;
    std::string text;  // one or two sentences for the operator
};

#ifdef __linux__
constexpr bool kOnLinux = true;
#else
constexpr bool kOnLinux = false;
#endif

// The second paragraph of the open-failure message: the port, its device and
// the system's reason, with what to do where that is known. Empty when the
// port reported no reason.
std::string OpenFailureDetail(int16_t portNo, const std::string& device, const PortOpenError& error,
                              bool onLinux);

// What a port test found: the bytes that came back within the reply wait
// after "RD".
PortTestReport DescribeTestReply(const std::string& reply);
PortTestReport DescribeOpenFailure(const std::string& device, const PortOpenError& error,
                                   bool onLinux);

// Whether two names stand for the same device (a /dev/serial/by-id link and
// the /dev/ttyUSB0 it points to); names of devices that are not there are
// compared as text.
bool SameDevice(const std::string& a, const std::string& b);

}  // namespace fenwyd
