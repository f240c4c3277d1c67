#include "qt/qt_port_catalog.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>
#include <algorithm>

namespace fenwyd {

namespace {
// udev's links named after the adapter (maker, product, serial number), which
// stay the same whichever USB socket it is plugged into.
QHash<QString, QString> StableNames() {
    QHash<QString, QString> byDevice;
#ifdef Q_OS_LINUX
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty() && !byDevice.contains(target)) {
            byDevice.insert(target, link.absoluteFilePath());
        }
    }
#endif
    return byDevice;
}
}  // namespace

std::vector<SystemPort> QtPortCatalog::ports() {
    const QHash<QString, QString> stable = StableNames();
    std::vector<SystemPort> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SystemPort p;
        p.device = info.systemLocation().toStdString();
        p.stableName = stable.value(info.systemLocation()).toStdString();
        p.description = info.description().toStdString();
        p.manufacturer = info.manufacturer().toStdString();
        p.serialNumber = info.serialNumber().toStdString();
        if (info.hasVendorIdentifier()) p.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier()) p.productId = info.productIdentifier();
        out.push_back(std::move(p));
    }
    // USB adapters (the likely probe) first, then by name, ttyS2 before ttyS10.
    QCollator byName;
    byName.setNumericMode(true);
    std::stable_sort(out.begin(), out.end(), [&byName](const SystemPort& a, const SystemPort& b) {
        const bool ua = a.vendorId != 0, ub = b.vendorId != 0;
        if (ua != ub) return ua;
        return byName.compare(QString::fromStdString(a.device), QString::fromStdString(b.device)) <
               0;
    });
    return out;
}

}  // namespace fenwyd
