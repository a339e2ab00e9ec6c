#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The drive identified by the connection manager. The station is kept by the window.
struct DeviceInfo
{
    QString model;              // catalogue model code; empty when nothing matched
    QString family;             // catalogue family name
    qint32 size = 0;
    double lead = 1.0;          // mm per revolution
    qint32 stroke = 30;         // mm
    quint16 logicVersion = 0;   // high byte a letter, low byte a number
    QString fwVersion;
    QString hwVersion;
};
Q_DECLARE_METATYPE(DeviceInfo)

// What tells one drive from another: "model", "firmware", "hardware" and
// "logic" (version), those of them in which `found` is not `expected`.
QStringList identityDifferences(const DeviceInfo &expected, const DeviceInfo &found);

// One station that answered a bus scan.
struct ScanResult
{
    qint32 station = 0;
    QString model;              // empty when the drive is not in the catalogue
    QString fwVersion;
    QString hwVersion;
    quint16 logicVersion = 0;
};
Q_DECLARE_METATYPE(ScanResult)

// Needed once before either record travels through a queued connection.
void registerConnectionMetaTypes();
