#include "registers.h"

namespace Reg {

const char *name(quint16 address)
{
    struct Named
    {
        quint16 address;
        const char *name;
    };
    static const Named names[] = {
        {HardwareVersion, "HardwareVersion"}, {FirmwareVersion, "FirmwareVersion"},
        {ActualPosition, "ActualPosition"}, {InputStatus, "InputStatus"},
        {SmoothingConstant, "SmoothingConstant"}, {DynamicErrorThreshold, "DynamicErrorThreshold"},
        {StaticErrorThreshold, "StaticErrorThreshold"}, {CurrentLimits, "CurrentLimits"},
        {PositionWarningThreshold, "PositionWarningThreshold"}, {TrackingError, "TrackingError"},
        {CustomSettings, "CustomSettings"}, {MotorCurrent, "MotorCurrent"},
        {StationAddress, "StationAddress"}, {MotorDirection, "MotorDirection"},
        {CommandInputs, "CommandInputs"}, {SoftLimitCCW, "SoftLimitCCW"}, {SoftLimitCW, "SoftLimitCW"},
        {ManualMode, "ManualMode"}, {OutputStatus, "OutputStatus"}, {AlarmWord, "AlarmWord"},
        {AlarmClear, "AlarmClear"}, {OutputFunction1, "OutputFunction1"}, {OutputFunction2, "OutputFunction2"},
        {OutputFunction3, "OutputFunction3"}, {OutputFunction4, "OutputFunction4"},
        {OutputFunction5, "OutputFunction5"}, {OutputFunction6, "OutputFunction6"},
        {ManualCommand, "ManualCommand"}, {NudgeDistance, "NudgeDistance"}, {ServoOff, "ServoOff"},
        {ActualSpeed, "ActualSpeed"}, {ManualSpeed, "ManualSpeed"}, {StoreCommand, "StoreCommand"},
        {PowerOnBlockStart, "PowerOnBlockStart"}, {ScriptSoftLimitCCW, "ScriptSoftLimitCCW"},
        {ScriptSoftLimitCW, "ScriptSoftLimitCW"}, {ScriptDynamicErrorThreshold, "ScriptDynamicErrorThreshold"},
        {ScriptStaticErrorThreshold, "ScriptStaticErrorThreshold"},
        {ScriptPositionWarningThreshold, "ScriptPositionWarningThreshold"}, {HomeTorque, "HomeTorque"},
        {Pos0Accel, "Pos0Accel"}, {Pos0Decel, "Pos0Decel"}, {Pos0Speed, "Pos0Speed"},
        {Pos0Position, "Pos0Position"}, {Pos0MotionMode, "Pos0MotionMode"}, {Pos1Accel, "Pos1Accel"},
        {Pos1Decel, "Pos1Decel"}, {Pos1Speed, "Pos1Speed"}, {Pos1Position, "Pos1Position"},
        {Pos1MotionMode, "Pos1MotionMode"}, {Pos0PushTorque, "Pos0PushTorque"},
        {Pos1PushTorque, "Pos1PushTorque"}, {LogicVersion, "LogicVersion"}, {FamilyCode, "FamilyCode"},
        {SizeCode, "SizeCode"}, {ScrewLead, "ScrewLead"}, {Stroke, "Stroke"},
    };
    for (const Named &entry : names) {
        if (entry.address == address)
            return entry.name;
    }
    return nullptr;
}

}  // namespace Reg
