#pragma once
#include <cstdint>
#include <string>

namespace fenwyd {

constexpr int16_t kPortCount = 5;  // port numbers 1..5

// The probe runs its line at one of two speeds; 9600 unless set otherwise.
constexpr int32_t kDefaultBaudRate = 9600;
constexpr int32_t kProbeBaudRates[] = {2400, 9600};

// A stored line speed ("Ports/BaudRate"): a positive whole number, else the
// default.
int32_t ParseBaudRate(const std::string& text);

// Why a device could not be opened, sorted so that the operator can be told
// what to do about it; text is the system's own wording.
struct PortOpenError {
    enum class Kind { None, NotFound, PermissionDenied, InUse, Other };
    Kind kind = Kind::None;
    std::string text;
};

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

    // Opens a device by its system name at the given speed, to try a device
    // before it is given a port number. Not every line can.
    virtual bool openDevice(const std::string& /*device*/, int32_t /*baudRate*/) { return false; }
    // Why the last open failed; Kind::None after a successful one.
    virtual PortOpenError lastOpenError() const { return {}; }
    // The speed of the open line; 0 when closed or not known.
    virtual int32_t baudRate() const { return 0; }
};

}  // namespace fenwyd
