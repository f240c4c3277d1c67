#pragma once
#include <QSerialPort>
#include <QString>

#include "link/serial_port.h"

namespace fenwyd {

// The device a port number stands for and the line speed, from the per-user
// settings store (section "Ports": "Comm1".."Comm5", "BaudRate").
QString PortDeviceName(int16_t portNo);
qint32 PortBaudRate();

// The probe's serial line on a QSerialPort (MainComm).
class QtSerialPort : public SerialPort {
public:
    QtSerialPort();
    ~QtSerialPort() override;

    bool open(int16_t portNo) override;
    void close() override;
    bool isOpen() const override;
    void write(const std::string& bytes) override;
    std::string readAll() override;
    std::string deviceName(int16_t portNo) const override;
    bool deviceLost() const override { return lost_; }
    bool openDevice(const std::string& device, int32_t baudRate) override;
    PortOpenError lastOpenError() const override { return openError_; }
    int32_t baudRate() const override;

    QSerialPort& MainComm() { return port_; }

    // For the unattended logger: every port number stands for this device
    // (empty: the mapping), at this speed (0: the mapping's BaudRate).
    void setDevice(const QString& device) { device_ = device; }
    void setBaudRate(qint32 rate) { baud_ = rate; }

private:
    void noteError(QSerialPort::SerialPortError error);
    QSerialPort port_;
    bool lost_ = false;
    PortOpenError openError_;
    QString device_;
    qint32 baud_ = 0;
};

}  // namespace fenwyd
