#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// What tells a USB serial adapter apart from the others, so that one that
// comes back under another device name (a hub reset) is found again.
struct AdapterIdentity
{
    QString portName;
    QString serialNumber;
    quint16 vendorId = 0;   // 0: not a USB adapter
    quint16 productId = 0;
    QString description;
};

namespace AdapterLocator {

// The adapter behind portName as the system describes it now; only the name
// for a TCP address or a device the system does not list (a pseudo-terminal).
AdapterIdentity identify(const QString &portName);

// The port to reopen for `wanted` among the `present` ones: its own name while
// it is present, else the adapter with its serial number, else (with no
// serial number) the one with its VID:PID and description; empty for none.
QString pick(const AdapterIdentity &wanted, const QVector<AdapterIdentity> &present);

// pick() over the ports present now; a TCP address and a device path that
// still exists are taken as they are.
QString locate(const AdapterIdentity &wanted);

}  // namespace AdapterLocator
