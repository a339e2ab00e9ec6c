#pragma once

#include "simbus.h"

#include "registers.h"

#include <QVector>
#include <QtGlobal>

// Modbus exception codes a simulated drive answers with.
namespace SimException {
constexpr quint8 None = 0x00;
constexpr quint8 IllegalAddress = 0x02;
constexpr quint8 IllegalValue = 0x03;
constexpr quint8 DeviceFailure = 0x04;
}  // namespace SimException

// One drive's register memory and behaviour. Registers 0x0000 to 0x02FF exist.
//
// Writes through writeRegisters() act like bus writes: servo, jog, nudge,
// homing, command inputs, alarm clear, station change and the store command.
// tick() advances the motion model; the live state registers (position,
// inputs, tracking error, motor current, outputs, actual speed) are derived
// from it. Bus writes to them and to the identity registers are acknowledged
// and ignored, as the registers are read-only. A bus write to the alarm word
// raises the alarm in its low nibble (raiseAlarm), so a demo or a test can
// make the drive fail on request.
//
// Power-on behaviour: at start the drive restores its power-on values and then
// runs the leading register assignments of its power-on block (0x012C on: a
// tag word naming the register, then its value; a tag with high byte 0x10 is
// followed by a 32-bit value). That is why a value written only to a working
// register is lost at the next power cycle unless its copy in the block
// changes too.
//
// Not thread-safe: SimBus serialises every call under its lock.
class SimDrive
{
public:
    static constexpr int RegisterCount = 0x0300;
    static constexpr int MaxReadCount = 125;
    static constexpr int MaxWriteCount = 123;

    explicit SimDrive(const SimDriveConfig &config);

    // The address the drive answers on now (register 0x0066).
    quint8 station() const;

    // Bus access; the result is an exception code, SimException::None on success.
    quint8 readRegisters(quint16 address, int count, QVector<quint16> *values) const;
    quint8 writeRegisters(quint16 address, const QVector<quint16> &values);

    // Advances motion by ms milliseconds.
    void tick(int ms);

    // Direct access for tests and tools: no bus side effects. Writing the
    // position registers moves the actuator there at once, bit 7 of the input
    // word sets the homed flag, and the alarm word (0x00A3) raises or clears
    // an alarm; other live state registers are recomputed on the next tick.
    quint16 registerValue(quint16 address) const;
    void setRegisterValue(quint16 address, quint16 value);

    // The drive trips with alarm `code` (1 to 15; others are ignored): motion
    // stops, the code becomes the current alarm and the newest history entry,
    // and the older entries move down one place.
    void raiseAlarm(quint16 code);

    double positionMm() const { return m_positionUm / 1000.0; }
    void setPositionMm(double mm);
    bool isMoving() const { return m_motion != Motion::Idle; }

    // Switches the drive off and on: power-on values come back, then the
    // power-on block's assignments run. Position is kept, homing is lost,
    // and a pending alarm is reset (its history stays).
    void powerCycle();

private:
    enum class Motion { Idle, JogPlus, JogMinus, Nudge, Homing, ToPosition1, ToPosition2 };

    quint16 reg(quint16 address) const { return m_regs[address]; }
    void setReg(quint16 address, quint16 value) { m_regs[address] = value; }
    qint32 reg32(quint16 address) const;
    void setReg32(quint16 address, qint64 value);

    static bool isLiveState(quint16 address);
    static bool isBusReadOnly(quint16 address);
    quint8 validateWrite(quint16 address, const QVector<quint16> &values) const;
    void applyWriteEffect(quint16 address);
    void applyCommandInputs(quint16 previous, quint16 now);
    void applyManualCommand(quint16 command);
    void runPowerOnAssignments();
    void restoreMemory(const QVector<quint16> &snapshot);

    bool servoOn() const;
    bool alarmActive() const { return (reg(Reg::AlarmWord) & 0x000F) != 0; }
    bool manualModeSelected() const;
    double leadMm() const;
    double softLimitLowUm() const;
    double softLimitHighUm() const;
    double clampToSoftLimits(double um) const;
    double speedUmPerSecond() const;

    void beginHoming();
    void startMove(Motion motion, double targetUm);
    void stopMotion();
    void finishMove();
    void refreshLiveState();

    QVector<quint16> m_regs;
    int m_refusedWriteAddress;
    QVector<quint16> m_factoryValues;
    QVector<quint16> m_powerOnValues;

    Motion m_motion = Motion::Idle;
    double m_positionUm = 0.0;
    double m_targetUm = 0.0;
    double m_velocityUmPerSecond = 0.0;  // signed, of the last tick
    bool m_homed = false;
    bool m_position1Reached = false;
    bool m_position2Reached = false;
    bool m_pushing = false;  // holding at a target reached in push mode
};
