#include "link/serial_port.h"

#include "common/textconv.h"

namespace fenwyd {

int32_t ParseBaudRate(const std::string& text) {
    long long rate = 0;
    if (!ParseInteger(text, 1, INT32_MAX, rate, Sign::NotAllowed)) return kDefaultBaudRate;
    return static_cast<int32_t>(rate);
}

}  // namespace fenwyd
