#include "link/port_catalog.h"

#include <cstdio>

namespace fenwyd {

namespace {
std::string Hex4(uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(v));
    return buf;
}
}  // namespace

std::string PortDetails(const SystemPort& port) {
    std::string out;
    auto add = [&out](const std::string& part) {
        if (part.empty()) return;
        if (!out.empty()) out += ", ";
        out += part;
    };
    add(port.description);
    // Drivers often repeat the maker in the description.
    if (port.description.find(port.manufacturer) == std::string::npos) add(port.manufacturer);
    if (!port.serialNumber.empty()) add("serial " + port.serialNumber);
    if (port.vendorId != 0 || port.productId != 0) {
        add("USB " + Hex4(port.vendorId) + ":" + Hex4(port.productId));
    }
    add(port.device);
    return out;
}

}  // namespace fenwyd
