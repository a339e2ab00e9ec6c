#include "simdrive.h"

#include "simpoweronblock.h"

#include <algorithm>
#include <cmath>

namespace {

// Registers the drive has beyond the tool's map.
constexpr quint16 RatedCurrent = 0x000D;    // 0.01 A, set by the power-on block
constexpr quint16 DefaultSmoothingConstant = 25;
constexpr quint16 DefaultCustomSettings = 0x0308;  // bit 3 always set; enhancement and compensation on

constexpr quint16 Input1 = 0x0001;
constexpr quint16 Input2 = 0x0002;
constexpr quint16 Input3 = 0x0004;
constexpr quint16 HomedBit = 0x0080;
constexpr quint16 CurrentAlarmMask = 0x000F;

// Lag of the actual behind the commanded position while moving, so the
// tracking error grows with speed (seconds).
constexpr double FollowingLagSeconds = 0.004;
// Motor speed at which the running current reaches the rated current (rpm).
constexpr double FullLoadRpm = 3000.0;

// Low byte then high byte per word, as the drive stores its version texts.
void storeText(QVector<quint16> &regs, quint16 address, const QString &text)
{
    const QByteArray bytes = text.toLatin1().left(4);
    for (int i = 0; i < 2; ++i) {
        const quint8 low = 2 * i < bytes.size() ? quint8(bytes[2 * i]) : 0;
        const quint8 high = 2 * i + 1 < bytes.size() ? quint8(bytes[2 * i + 1]) : 0;
        regs[address + i] = quint16(low | (high << 8));
    }
}

}  // namespace

SimDrive::SimDrive(const SimDriveConfig &config)
    : m_regs(RegisterCount, 0), m_refusedWriteAddress(config.refusedWriteAddress)
{
    storeText(m_regs, Reg::HardwareVersion, config.hardware);
    storeText(m_regs, Reg::FirmwareVersion, config.firmware);
    setReg(Reg::StationAddress, config.station);
    setReg(Reg::SmoothingConstant, DefaultSmoothingConstant);
    setReg(Reg::CustomSettings, DefaultCustomSettings);

    const QVector<quint16> block = factoryPowerOnBlock(config);
    std::copy(block.begin(), block.end(), m_regs.begin() + Reg::PowerOnBlockStart);
    // The identity, limits, thresholds and current limits come from the block.
    runPowerOnAssignments();
    refreshLiveState();

    m_factoryValues = m_regs;
    m_powerOnValues = m_regs;
}

quint8 SimDrive::station() const
{
    return static_cast<quint8>(reg(Reg::StationAddress) & 0x00FF);
}

quint8 SimDrive::readRegisters(quint16 address, int count, QVector<quint16> *values) const
{
    if (count < 1 || count > MaxReadCount)
        return SimException::IllegalValue;
    if (address + count > RegisterCount)
        return SimException::IllegalAddress;
    *values = m_regs.mid(address, count);
    return SimException::None;
}

quint8 SimDrive::writeRegisters(quint16 address, const QVector<quint16> &values)
{
    const quint8 error = validateWrite(address, values);
    if (error != SimException::None)
        return error;

    // Store everything first so that an effect sees the whole request
    // (a 32-bit nudge distance acts once both words are in).
    QVector<quint16> written;
    for (int i = 0; i < values.size(); ++i) {
        const quint16 a = quint16(address + i);
        if (a == Reg::AlarmWord)
            raiseAlarm(values[i] & CurrentAlarmMask);
        if (isBusReadOnly(a))
            continue;
        const quint16 previous = reg(a);
        setReg(a, values[i]);
        if (a == Reg::CommandInputs)
            applyCommandInputs(previous, values[i]);
        else
            written.append(a);
    }
    for (quint16 a : written)
        applyWriteEffect(a);
    refreshLiveState();
    return SimException::None;
}

quint8 SimDrive::validateWrite(quint16 address, const QVector<quint16> &values) const
{
    if (values.isEmpty() || values.size() > MaxWriteCount)
        return SimException::IllegalValue;
    if (address + values.size() > RegisterCount)
        return SimException::IllegalAddress;
    // A drive that will not take one register, as a locked or faulty one answers.
    if (m_refusedWriteAddress >= address && m_refusedWriteAddress < address + values.size())
        return SimException::DeviceFailure;
    const int stationIndex = Reg::StationAddress - address;
    if (stationIndex >= 0 && stationIndex < values.size()) {
        const quint16 station = values[stationIndex];
        if (station < 1 || station > 16)
            return SimException::IllegalValue;
    }
    return SimException::None;
}

bool SimDrive::isBusReadOnly(quint16 address)
{
    switch (address) {
    case Reg::HardwareVersion:
    case Reg::HardwareVersion + 1:
    case Reg::FirmwareVersion:
    case Reg::FirmwareVersion + 1:
    case Reg::MotorDirection:
    case Reg::AlarmWord:
    case Reg::LogicVersion:
    case Reg::FamilyCode:
    case Reg::SizeCode:
    case Reg::ScrewLead:
    case Reg::Stroke:
        return true;
    default:
        return isLiveState(address);
    }
}

bool SimDrive::isLiveState(quint16 address)
{
    switch (address) {
    case Reg::ActualPosition:
    case Reg::ActualPosition + 1:
    case Reg::InputStatus:
    case Reg::TrackingError:
    case Reg::MotorCurrent:
    case Reg::OutputStatus:
    case Reg::ActualSpeed:
    case Reg::ActualSpeed + 1:
        return true;
    default:
        return false;
    }
}

void SimDrive::applyWriteEffect(quint16 address)
{
    switch (address) {
    case Reg::ServoOff:
        if (!servoOn())
            stopMotion();
        break;
    case Reg::ManualCommand:
        applyManualCommand(reg(Reg::ManualCommand));
        break;
    case Reg::NudgeDistance + 1: {
        const qint32 distance = reg32(Reg::NudgeDistance);
        if (distance != 0 && manualModeSelected())
            startMove(Motion::Nudge, clampToSoftLimits(m_positionUm + distance));
        break;
    }
    case Reg::AlarmClear:
        setReg(Reg::AlarmWord, reg(Reg::AlarmWord) & ~CurrentAlarmMask);
        break;
    case Reg::StoreCommand:
        if (reg(Reg::StoreCommand) == Reg::StoreValue::SaveToRom) {
            m_powerOnValues = m_regs;
        } else if (reg(Reg::StoreCommand) == Reg::StoreValue::FactoryRestore) {
            stopMotion();
            m_powerOnValues = m_factoryValues;
            restoreMemory(m_factoryValues);
        }
        break;
    default:
        break;
    }
}

void SimDrive::applyCommandInputs(quint16 previous, quint16 now)
{
    const quint16 rising = now & ~previous;
    if (rising & Input3) {
        stopMotion();
        setReg(Reg::AlarmWord, reg(Reg::AlarmWord) & ~CurrentAlarmMask);
    } else if (rising & Input1) {
        // The homing command is armed by 0x00C8 = 256 in manual mode and
        // started by the Input 1 pulse that follows it.
        if (reg(Reg::ManualCommand) == Reg::ManualCommandValue::Homing && manualModeSelected())
            beginHoming();
        else
            startMove(Motion::ToPosition1, clampToSoftLimits(reg32(Reg::Pos0Position)));
    } else if (rising & Input2) {
        startMove(Motion::ToPosition2, clampToSoftLimits(reg32(Reg::Pos1Position)));
    }
}

void SimDrive::applyManualCommand(quint16 command)
{
    switch (command) {
    case Reg::ManualCommandValue::Stop:
        if (m_motion == Motion::JogPlus || m_motion == Motion::JogMinus
            || m_motion == Motion::Nudge || m_motion == Motion::Homing)
            stopMotion();
        break;
    case Reg::ManualCommandValue::JogPlus:
        if (manualModeSelected())
            startMove(Motion::JogPlus, 0.0);
        break;
    case Reg::ManualCommandValue::JogMinus:
        if (manualModeSelected())
            startMove(Motion::JogMinus, 0.0);
        break;
    case Reg::ManualCommandValue::Homing:
        if (manualModeSelected())
            beginHoming();
        break;
    default:
        break;
    }
}

void SimDrive::beginHoming()
{
    if (m_motion == Motion::Homing || !servoOn() || alarmActive())
        return;
    m_homed = false;
    startMove(Motion::Homing, 0.0);
}

void SimDrive::startMove(Motion motion, double targetUm)
{
    // Homing runs to its end; only stop commands interrupt it.
    if (!servoOn() || alarmActive() || m_motion == Motion::Homing)
        return;
    m_motion = motion;
    m_targetUm = targetUm;
    m_position1Reached = false;
    m_position2Reached = false;
    m_pushing = false;
}

void SimDrive::stopMotion()
{
    m_motion = Motion::Idle;
    m_velocityUmPerSecond = 0.0;
    m_pushing = false;
}

void SimDrive::finishMove()
{
    switch (m_motion) {
    case Motion::Homing:
        m_homed = true;
        break;
    case Motion::ToPosition1:
        m_position1Reached = true;
        m_pushing = reg(Reg::Pos0MotionMode) == Reg::PushMode::Pos0On;
        break;
    case Motion::ToPosition2:
        m_position2Reached = true;
        m_pushing = reg(Reg::Pos1MotionMode) == Reg::PushMode::Pos1On;
        break;
    default:
        break;
    }
    m_motion = Motion::Idle;
}

void SimDrive::tick(int ms)
{
    m_velocityUmPerSecond = 0.0;
    if (m_motion != Motion::Idle && (!servoOn() || alarmActive()))
        stopMotion();
    if (m_motion != Motion::Idle && ms > 0) {
        const double seconds = ms / 1000.0;
        double target = m_targetUm;
        // A jog never pulls the rod back from beyond a limit that was just lowered.
        if (m_motion == Motion::JogPlus)
            target = std::max(m_positionUm, softLimitHighUm());
        else if (m_motion == Motion::JogMinus)
            target = std::min(m_positionUm, softLimitLowUm());

        const double step = speedUmPerSecond() * seconds;
        const double distance = target - m_positionUm;
        if (std::abs(distance) <= step) {
            m_positionUm = target;
            m_velocityUmPerSecond = distance / seconds;
            if (m_motion != Motion::JogPlus && m_motion != Motion::JogMinus)
                finishMove();
        } else {
            m_positionUm += std::copysign(step, distance);
            m_velocityUmPerSecond = std::copysign(step, distance) / seconds;
        }
    }
    refreshLiveState();
}

void SimDrive::refreshLiveState()
{
    setReg32(Reg::ActualPosition, std::llround(m_positionUm));
    setReg(Reg::InputStatus, (reg(Reg::CommandInputs) & (Input1 | Input2 | Input3)) | (m_homed ? HomedBit : 0));

    const double lagUm = std::clamp(m_velocityUmPerSecond * FollowingLagSeconds, -32767.0, 32767.0);
    setReg(Reg::TrackingError, static_cast<quint16>(static_cast<qint16>(std::lround(lagUm))));

    const double lead = leadMm();
    const double rpm = lead > 0 ? std::abs(m_velocityUmPerSecond) * 60.0 / (lead * 1000.0) : 0.0;
    setReg32(Reg::ActualSpeed, std::llround(std::copysign(rpm * 100.0, m_velocityUmPerSecond)));

    const double ratedMa = reg(RatedCurrent) * 10.0;
    const quint16 limits = reg(Reg::CurrentLimits);
    double percent = 0.0;
    if (!servoOn()) {
        percent = 0.0;
    } else if (rpm > 0.0) {
        const double runPercent = limits >> 8;
        percent = runPercent + (100.0 - runPercent) * std::min(1.0, rpm / FullLoadRpm);
    } else if (m_pushing) {
        const quint16 torqueReg = m_position1Reached ? Reg::Pos0PushTorque : Reg::Pos1PushTorque;
        percent = (reg(torqueReg) & 0x00FF) / 1.7;
    } else {
        percent = limits & 0x00FF;
    }
    setReg(Reg::MotorCurrent, static_cast<quint16>(std::clamp(std::lround(ratedMa * percent / 100.0), 0L, 65535L)));

    quint16 outputs = 0;
    if (m_position1Reached)
        outputs |= 0x0001;
    if (m_position2Reached)
        outputs |= 0x0002;
    if (alarmActive())
        outputs |= 0x0004;
    setReg(Reg::OutputStatus, outputs);
}

quint16 SimDrive::registerValue(quint16 address) const
{
    return address < RegisterCount ? reg(address) : 0;
}

void SimDrive::setRegisterValue(quint16 address, quint16 value)
{
    if (address >= RegisterCount)
        return;
    if (address == Reg::ActualPosition || address == Reg::ActualPosition + 1) {
        setReg(address, value);
        m_positionUm = reg32(Reg::ActualPosition);
    } else if (address == Reg::InputStatus) {
        m_homed = value & HomedBit;
    } else {
        setReg(address, value);
    }
    if (alarmActive())
        stopMotion();
    refreshLiveState();
}

void SimDrive::raiseAlarm(quint16 code)
{
    if (code == 0 || code > CurrentAlarmMask)
        return;
    // Nibbles, low to high: current alarm, then the history, newest first.
    const quint16 olderHistory = (reg(Reg::AlarmWord) << 4) & 0xFF00;
    setReg(Reg::AlarmWord, quint16(olderHistory | (code << 4) | code));
    stopMotion();
    refreshLiveState();
}

void SimDrive::setPositionMm(double mm)
{
    m_positionUm = mm * 1000.0;
    refreshLiveState();
}

void SimDrive::powerCycle()
{
    stopMotion();
    const quint16 alarmHistory = reg(Reg::AlarmWord) & ~CurrentAlarmMask;
    restoreMemory(m_powerOnValues);
    setReg(Reg::AlarmWord, alarmHistory);
    runPowerOnAssignments();
    m_homed = false;
    m_position1Reached = false;
    m_position2Reached = false;
    refreshLiveState();
}

void SimDrive::restoreMemory(const QVector<quint16> &snapshot)
{
    const quint16 alarm = reg(Reg::AlarmWord);
    for (int a = 0; a < RegisterCount; ++a) {
        if (!isLiveState(quint16(a)))
            m_regs[a] = snapshot[a];
    }
    setReg(Reg::AlarmWord, alarm);
}

void SimDrive::runPowerOnAssignments()
{
    const QVector<quint16> block = m_regs.mid(Reg::PowerOnBlockStart, Reg::PowerOnBlockWords);
    for (const PowerOnAssignment &a : powerOnAssignments(block)) {
        const int words = a.twoWords ? 2 : 1;
        for (int i = 0; i < words; ++i) {
            const int target = a.target + i;
            if (target < RegisterCount && !isLiveState(quint16(target)))
                m_regs[target] = block[a.valueIndex + i];
        }
    }
}

qint32 SimDrive::reg32(quint16 address) const
{
    return static_cast<qint32>(quint32(reg(address)) | (quint32(reg(address + 1)) << 16));
}

void SimDrive::setReg32(quint16 address, qint64 value)
{
    const quint32 bits = static_cast<quint32>(value);
    setReg(address, static_cast<quint16>(bits & 0xFFFF));
    setReg(address + 1, static_cast<quint16>(bits >> 16));
}

bool SimDrive::servoOn() const
{
    return (reg(Reg::ServoOff) & 0x00FF) == 0;
}

bool SimDrive::manualModeSelected() const
{
    return reg(Reg::ManualMode) == Reg::ManualModeValue;
}

double SimDrive::leadMm() const
{
    const quint16 raw = reg(Reg::ScrewLead);
    return raw <= 9 ? raw : raw / 10.0;
}

double SimDrive::softLimitLowUm() const
{
    return std::min(reg32(Reg::SoftLimitCCW), reg32(Reg::SoftLimitCW));
}

double SimDrive::softLimitHighUm() const
{
    return std::max(reg32(Reg::SoftLimitCCW), reg32(Reg::SoftLimitCW));
}

double SimDrive::clampToSoftLimits(double um) const
{
    return std::clamp(um, softLimitLowUm(), softLimitHighUm());
}

double SimDrive::speedUmPerSecond() const
{
    quint16 speedRegister = Reg::ManualSpeed;
    if (m_motion == Motion::ToPosition1)
        speedRegister = Reg::Pos0Speed;
    else if (m_motion == Motion::ToPosition2)
        speedRegister = Reg::Pos1Speed;
    const quint32 raw = quint32(reg(speedRegister)) | (quint32(reg(speedRegister + 1)) << 16);
    // 0.01 rpm: mm/s = raw x lead / 6000, so um/s = raw x lead / 6.
    return raw * leadMm() / 6.0;
}
