#include "customsettings.h"

#include <algorithm>
#include <cmath>

namespace CustomSettings {

quint16 word(quint16 old, bool dynamicEnhancement, bool midSpeedTorqueCompensation, bool usbMasked)
{
    quint16 value = (old & KeptBits) | AlwaysSet;
    if (dynamicEnhancement)
        value |= DynamicEnhancement;
    if (midSpeedTorqueCompensation)
        value |= MidSpeedTorqueCompensation;
    if (usbMasked)
        value |= UsbMasked;
    return value;
}

int smoothingConstant(int ms)
{
    if (ms < 1)
        return 1000;
    if (ms > 1000)
        return 1;
    return std::clamp(int(std::floor(1000.0 / ms + 0.5)), 1, 1000);
}

int actualSmoothingMs(int constant)
{
    return std::clamp(int(std::floor(1000.0 / std::max(constant, 1) + 0.5)), 1, 1000);
}

}  // namespace CustomSettings
