#pragma once
#include <cstdint>
#include <string>

namespace fenwyd {

constexpr int16_t kPortCount = 5;  // port numbers 1..5

// The serial line to the probe. The logic sees only this; the program uses a
// QSerialPort behind it and the tests a scripted port.
class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Opens port number 1..5 with the fixed line settings; false when the
    // port does not exist or cannot be opened.
    virtual bool open(int16_t portNo) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Writes the bytes as they are. Writing to a closed or vanished port
    // does nothing: to the transaction that is silence, not an error.
    virtual void write(const std::string& bytes) = 0;
    // Everything received so far, removed from the buffer; empty when nothing
    // arrived.
    virtual std::string readAll() = 0;
    // The system device behind a port number ("/dev/ttyS1", "COM2").
    virtual std::string deviceName(int16_t portNo) const = 0;
    // True once the device went away under an open port (a USB adapter
    // pulled out, a hung-up pseudo-terminal), until a later open succeeds.
    virtual bool deviceLost() const { return false; }
};

}  // namespace fenwyd
