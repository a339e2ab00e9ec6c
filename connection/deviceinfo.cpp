#include "deviceinfo.h"

void registerConnectionMetaTypes()
{
    qRegisterMetaType<DeviceInfo>("DeviceInfo");
    qRegisterMetaType<ScanResult>("ScanResult");
}

QStringList identityDifferences(const DeviceInfo &expected, const DeviceInfo &found)
{
    QStringList fields;
    if (found.model != expected.model)
        fields << QStringLiteral("model");
    if (found.fwVersion != expected.fwVersion)
        fields << QStringLiteral("firmware");
    if (found.hwVersion != expected.hwVersion)
        fields << QStringLiteral("hardware");
    if (found.logicVersion != expected.logicVersion)
        fields << QStringLiteral("logic");
    return fields;
}
