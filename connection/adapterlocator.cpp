#include "adapterlocator.h"

#include "serialport.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace {

AdapterIdentity identityOf(const QSerialPortInfo &info)
{
    AdapterIdentity identity;
    identity.portName = info.portName();
    identity.serialNumber = info.serialNumber();
    identity.vendorId = info.hasVendorIdentifier() ? info.vendorIdentifier() : 0;
    identity.productId = info.hasProductIdentifier() ? info.productIdentifier() : 0;
    identity.description = info.description();
    return identity;
}

}  // namespace

namespace AdapterLocator {

AdapterIdentity identify(const QString &portName)
{
    AdapterIdentity identity;
    if (!DriveAddress::parse(portName).tcp) {
        const QSerialPortInfo info(portName);
        if (!info.isNull())
            identity = identityOf(info);
    }
    identity.portName = portName;
    return identity;
}

QString pick(const AdapterIdentity &wanted, const QVector<AdapterIdentity> &present)
{
    for (const AdapterIdentity &port : present) {
        if (port.portName == wanted.portName)
            return port.portName;
    }
    for (const AdapterIdentity &port : present) {
        if (!wanted.serialNumber.isEmpty()) {
            if (port.serialNumber == wanted.serialNumber)
                return port.portName;
        } else if (wanted.vendorId != 0 && port.serialNumber.isEmpty() && port.vendorId == wanted.vendorId
                   && port.productId == wanted.productId && port.description == wanted.description) {
            return port.portName;
        }
    }
    return QString();
}

QString locate(const AdapterIdentity &wanted)
{
    if (DriveAddress::parse(wanted.portName).tcp || QFileInfo::exists(wanted.portName))
        return wanted.portName;
    QVector<AdapterIdentity> present;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        present << identityOf(info);
    return pick(wanted, present);
}

}  // namespace AdapterLocator
