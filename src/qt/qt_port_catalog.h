#pragma once
#include "link/port_catalog.h"

namespace fenwyd {

// The serial ports QSerialPortInfo reports, each with its stable
// /dev/serial/by-id name where the system has one. Pseudo-terminals are not
// among them: those are typed by path.
class QtPortCatalog : public PortCatalog {
public:
    std::vector<SystemPort> ports() override;
};

}  // namespace fenwyd
