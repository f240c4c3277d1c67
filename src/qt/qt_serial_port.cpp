#include "qt/qt_serial_port.h"

#include <QSettings>

#include "qt/qt_platform.h"

namespace fenwyd {

namespace {
constexpr qint32 kDefaultBaudRate = 9600;
constexpr qint64 kReceiveBufferBytes = 1024;
constexpr int kWriteFlushMs = 100;
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
    bool ok = false;
    const qint32 rate = s.value(QStringLiteral("Ports/BaudRate"), kDefaultBaudRate).toInt(&ok);
    return ok && rate > 0 ? rate : kDefaultBaudRate;
}

QtSerialPort::QtSerialPort() {
    QObject::connect(&port_, &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError e) { noteError(e); });
}

QtSerialPort::~QtSerialPort() { close(); }

bool QtSerialPort::open(int16_t portNo) {
    if (port_.isOpen()) port_.close();
    port_.setPortName(device_.isEmpty() ? PortDeviceName(portNo) : device_);
    if (!port_.open(QIODevice::ReadWrite)) {
        openError_ = port_.errorString();
        return false;
    }
    lost_ = false;
    port_.setBaudRate(baud_ > 0 ? baud_ : PortBaudRate());
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
