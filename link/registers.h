#pragma once

#include <QtGlobal>

// Every holding register of the drive that this tool reads or writes.
// A "2W" register is the low word of a 32-bit value; the high word follows at +1.
namespace Reg {

constexpr quint16 HardwareVersion = 0x0000;      // 2 words, ASCII
constexpr quint16 FirmwareVersion = 0x0002;      // 2 words, ASCII
constexpr quint16 ActualPosition = 0x0004;       // 2W signed, 0.001 mm
constexpr quint16 InputStatus = 0x0006;          // X0 bit 0, X1 bit 1, X2 bit 2, homed bit 7
constexpr quint16 SmoothingConstant = 0x000A;    // smoothing ms = 1000 / constant
constexpr quint16 DynamicErrorThreshold = 0x000B;  // encoder steps, 200 per revolution
constexpr quint16 StaticErrorThreshold = 0x000C;
constexpr quint16 CurrentLimits = 0x000E;        // low byte idle %, high byte min running %
constexpr quint16 PositionWarningThreshold = 0x0010;
constexpr quint16 TrackingError = 0x0011;        // signed, 0.001 mm
constexpr quint16 CustomSettings = 0x0012;
constexpr quint16 MotorCurrent = 0x001A;         // mA
constexpr quint16 StationAddress = 0x0066;
constexpr quint16 MotorDirection = 0x006B;       // 0 CW ("BC"), 1 CCW ("BA")
constexpr quint16 CommandInputs = 0x006C;        // X0..X2 command bits
constexpr quint16 SoftLimitCCW = 0x006E;         // 2W signed, 0.001 mm
constexpr quint16 SoftLimitCW = 0x0070;          // 2W signed, 0.001 mm
constexpr quint16 ManualMode = 0x00A1;           // written 3 before manual motion
constexpr quint16 OutputStatus = 0x00A2;         // Y0 bit 0, Y1 bit 1, Y2 bit 2
constexpr quint16 AlarmWord = 0x00A3;            // current alarm + three history nibbles
constexpr quint16 AlarmClear = 0x00A4;
constexpr quint16 OutputFunction1 = 0x00A5;
constexpr quint16 OutputFunction2 = 0x00A6;
constexpr quint16 OutputFunction3 = 0x00A7;
constexpr quint16 OutputFunction4 = 0x00AD;
constexpr quint16 OutputFunction5 = 0x00AE;
constexpr quint16 OutputFunction6 = 0x00B9;
constexpr quint16 ManualCommand = 0x00C8;        // see ManualCommandValue
constexpr quint16 NudgeDistance = 0x00CE;        // 2W signed, 0.001 mm
constexpr quint16 ServoOff = 0x00D4;             // 0 on, 1 off
constexpr quint16 ActualSpeed = 0x00D6;          // 2W signed
constexpr quint16 ManualSpeed = 0x00D8;          // 2W unsigned, 0.01 rpm
constexpr quint16 StoreCommand = 0x00DC;         // 1 save, 0 factory restore

constexpr quint16 PowerOnBlockStart = 0x012C;    // 300 words, to 0x0257
constexpr int PowerOnBlockWords = 300;
constexpr quint16 ScriptSoftLimitCCW = 0x013B;   // 2 words
constexpr quint16 ScriptSoftLimitCW = 0x013E;    // 2 words
constexpr quint16 ScriptDynamicErrorThreshold = 0x0141;
constexpr quint16 ScriptStaticErrorThreshold = 0x0143;
constexpr quint16 ScriptPositionWarningThreshold = 0x0145;
constexpr quint16 HomeTorque = 0x0215;           // low byte percent x 1.7
constexpr quint16 Pos0Accel = 0x0223;
constexpr quint16 Pos0Decel = 0x0225;
constexpr quint16 Pos0Speed = 0x0227;            // 2W unsigned, 0.01 rpm
constexpr quint16 Pos0Position = 0x022A;         // 2W signed, 0.001 mm
constexpr quint16 Pos0MotionMode = 0x022E;       // push on 0x00D0, off 0x00C0
constexpr quint16 Pos1Accel = 0x0233;
constexpr quint16 Pos1Decel = 0x0235;
constexpr quint16 Pos1Speed = 0x0237;
constexpr quint16 Pos1Position = 0x023A;
constexpr quint16 Pos1MotionMode = 0x023E;       // push on 0x00A8, off 0x00A0
constexpr quint16 Pos0PushTorque = 0x0248;       // low byte percent x 1.7
constexpr quint16 Pos1PushTorque = 0x0254;

constexpr quint16 LogicVersion = 0x02BC;         // high byte letter, low byte number
constexpr quint16 FamilyCode = 0x02BD;
constexpr quint16 SizeCode = 0x02BE;
constexpr quint16 ScrewLead = 0x02BF;            // 1..9 mm, above 9 tenths of mm
constexpr quint16 Stroke = 0x02C0;

namespace ManualCommandValue {
constexpr quint16 Stop = 0x0000;
constexpr quint16 JogPlus = 0x0001;
constexpr quint16 JogMinus = 0x0101;
constexpr quint16 Homing = 0x0100;
}  // namespace ManualCommandValue

// Bits of CommandInputs.
namespace CommandInputBit {
constexpr quint16 MoveTo1 = 0x0001;  // X0: move to position 1
constexpr quint16 MoveTo2 = 0x0002;  // X1: move to position 2
constexpr quint16 Stop = 0x0004;     // X2: stop / alarm reset
}  // namespace CommandInputBit

// The register's name as written above ("ActualPosition"); null for an address without one.
const char *name(quint16 address);

constexpr quint16 ManualModeValue = 3;
constexpr quint32 DefaultManualSpeed = 30000;    // restored when a jog ends

namespace StoreValue {
constexpr quint16 FactoryRestore = 0;
constexpr quint16 SaveToRom = 1;
}  // namespace StoreValue

namespace PushMode {
constexpr quint16 Pos0On = 0x00D0;
constexpr quint16 Pos0Off = 0x00C0;
constexpr quint16 Pos1On = 0x00A8;
constexpr quint16 Pos1Off = 0x00A0;
}  // namespace PushMode

}  // namespace Reg
