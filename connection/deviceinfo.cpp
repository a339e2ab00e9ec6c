#include "deviceinfo.h"

void registerConnectionMetaTypes()
{
    qRegisterMetaType<DeviceInfo>("DeviceInfo");
    qRegisterMetaType<ScanResult>("ScanResult");
}
