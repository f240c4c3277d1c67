#pragma once
// The serial ports the system reports, for picking the probe's device.
#include <cstdint>
#include <string>
#include <vector>

namespace fenwyd {

struct SystemPort {
    std::string device;  // system name: "/dev/ttyUSB0", "COM3"
    std::string
        stableName;  // a name that survives replugging ("/dev/serial/by-id/..."); may be empty
    std::string description;  // as the driver reports them; each may be empty
    std::string manufacturer;
    std::string serialNumber;
    uint16_t vendorId = 0;  // USB ids; 0 when the device has none
    uint16_t productId = 0;

    // The name to map a port number to: the stable one where there is one.
    const std::string& preferredName() const { return stableName.empty() ? device : stableName; }
};

// One line about a port for the operator: what it is and where it is
// ("FT232R USB UART, FTDI, serial A6008isP, USB 0403:6001, /dev/ttyUSB0").
std::string PortDetails(const SystemPort& port);

// The ports present now. The program asks the system; the tests a list.
class PortCatalog {
public:
    virtual ~PortCatalog() = default;
    virtual std::vector<SystemPort> ports() = 0;
};

}  // namespace fenwyd
