#pragma once

#include <QtGlobal>

// The drive's custom setting word (Reg::CustomSettings) and the command
// smoothing constant (Reg::SmoothingConstant) as the maintenance commands
// write them.
namespace CustomSettings {

constexpr quint16 AlwaysSet = 0x0008;
constexpr quint16 DynamicEnhancement = 0x0100;
constexpr quint16 MidSpeedTorqueCompensation = 0x0200;
constexpr quint16 UsbMasked = 0x0800;
constexpr quint16 KeptBits = 0xF000;

// Bits 12 to 15 of the old word are kept, bit 3 set, the three options as
// chosen, every other bit cleared.
quint16 word(quint16 old, bool dynamicEnhancement, bool midSpeedTorqueCompensation, bool usbMasked);

// The constant k for a smoothing time: 1000 / ms rounded, within 1 to 1000.
int smoothingConstant(int ms);
// The smoothing time a constant really gives: 1000 / k rounded, within 1 to 1000.
int actualSmoothingMs(int constant);

}  // namespace CustomSettings
