#include "qt/qt_serial_port.h"

#include <QFileInfo>
#include <QSettings>

#include "qt/qt_platform.h"

namespace fenwyd {

namespace {
constexpr qint64 kReceiveBufferBytes = 1024;
constexpr int kWriteFlushMs = 100;

// QSerialPort reports a device that another program holds (a lock file,
// an exclusive open) and one this user may not open alike; the device's own
// permissions tell them apart.
PortOpenError OpenErrorOf(const QSerialPort& port, const QString& device) {
    PortOpenError e;
    e.text = port.errorString().toStdString();
    switch (port.error()) {
        case QSerialPort::DeviceNotFoundError: e.kind = PortOpenError::Kind::NotFound; break;
        case QSerialPort::PermissionError: {
#ifdef Q_OS_UNIX
            // A bare name ("ttyUSB0") is a device under /dev, as QSerialPort takes it.
            const QFileInfo info(
                device.startsWith(QLatin1Char('/')) ? device : QStringLiteral("/dev/") + device);
            const bool allowed = info.isReadable() && info.isWritable();
            e.kind = allowed ? PortOpenError::Kind::InUse : PortOpenError::Kind::PermissionDenied;
#else
            (void)device;
            e.kind = PortOpenError::Kind::InUse;  // Windows: access denied = open elsewhere
#endif
            break;
        }
        default: e.kind = PortOpenError::Kind::Other; break;
    }
    return e;
}
}  // namespace

QString PortDeviceName(int16_t portNo) {
#ifdef Q_OS_WIN
    const QString fallback = QStringLiteral("COM%1").arg(portNo);
#else
    const QString fallback = QStringLiteral("/dev/ttyS%1").arg(portNo - 1);
#endif
    QSettings s = UserSettings();
    const QString name = s.value(QStringLiteral("Ports/Comm%1").arg(portNo)).toString();
    return name.isEmpty() ? fallback : name;
}

qint32 PortBaudRate() {
    QSettings s = UserSettings();
    return ParseBaudRate(s.value(QStringLiteral("Ports/BaudRate")).toString().toStdString());
}

QtSerialPort::QtSerialPort() {
    QObject::connect(&port_, &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError e) { noteError(e); });
}

QtSerialPort::~QtSerialPort() { close(); }

bool QtSerialPort::open(int16_t portNo) {
    return openDevice((device_.isEmpty() ? PortDeviceName(portNo) : device_).toStdString(),
                      baud_ > 0 ? baud_ : PortBaudRate());
}

bool QtSerialPort::openDevice(const std::string& device, int32_t baudRate) {
    if (port_.isOpen()) port_.close();
    const QString name = QString::fromStdString(device);
    port_.setPortName(name);
    if (name.isEmpty()) {
        openError_ = {PortOpenError::Kind::NotFound, "No device named"};
        return false;
    }
    if (!port_.open(QIODevice::ReadWrite)) {
        openError_ = OpenErrorOf(port_, name);
        return false;
    }
    openError_ = {};
    lost_ = false;
    port_.setBaudRate(baudRate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.setReadBufferSize(0);  // the transaction empties it every few hundred ms
    port_.clear();
    return true;
}

void QtSerialPort::close() {
    if (port_.isOpen()) port_.close();
}

bool QtSerialPort::isOpen() const { return port_.isOpen(); }

int32_t QtSerialPort::baudRate() const { return port_.isOpen() ? port_.baudRate() : 0; }

void QtSerialPort::write(const std::string& bytes) {
    if (!port_.isOpen() || lost_) return;
    port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    // QSerialPort writes from the event loop; the transaction does not run
    // one while it waits, so push the bytes out now.
    if (port_.bytesToWrite() > 0) port_.waitForBytesWritten(kWriteFlushMs);
}

std::string QtSerialPort::readAll() {
    if (!port_.isOpen()) return {};
    // QSerialPort only fills its buffer from the event loop. After a wait in
    // which no events ran, pull in everything the system has received.
    while (!lost_ && port_.waitForReadyRead(0)) {
        if (port_.bytesAvailable() > kReceiveBufferBytes * 64) break;
    }
    const QByteArray data = port_.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

std::string QtSerialPort::deviceName(int16_t portNo) const {
    return (device_.isEmpty() ? PortDeviceName(portNo) : device_).toStdString();
}

void QtSerialPort::noteError(QSerialPort::SerialPortError error) {
    // A vanished device (adapter pulled out, pty hung up) is silence to the
    // transaction; the port is closed so it can be opened again.
    if (error == QSerialPort::ResourceError && !lost_) {
        lost_ = true;
        // Not from inside the port's own signal.
        QMetaObject::invokeMethod(
            &port_,
            [this] {
                if (lost_ && port_.isOpen()) port_.close();
            },
            Qt::QueuedConnection);
    }
}

}  // namespace fenwyd
