#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <functional>
#include <memory>

// Identity and behaviour of one simulated drive.
struct SimDriveConfig
{
    quint8 station = 1;
    quint16 familyCode = 0;       // index into the actuator catalogue (0 = LXAZ)
    quint16 size = 16;
    quint16 rawLead = 1;          // 1..9 mm, above 9 tenths of a mm
    quint16 stroke = 50;
    quint16 motorDirection = 0;   // 0 = "BC", 1 = "BA"
    quint16 logicVersion = 0x4103;  // shows as A3
    QString firmware = QStringLiteral("V1.20");  // two registers: the first 4 characters
    QString hardware = QStringLiteral("H2");
    int refusedWriteAddress = -1;  // a bus write covering this register is refused with exception 0x04 (-1: none)
};

// Faults the bus injects into its replies; switchable at any time.
// A silent bus models an unreachable drive: requests are not carried out.
// A dropped reply models one lost on the wire: the request was carried out.
struct SimFaults
{
    bool silent = false;          // answer nothing
    int silentAfterReplies = -1;  // go silent after this many more replies (-1: never); counts down
    bool badCrc = false;          // corrupt the CRC of every reply
    int noiseBytes = 0;           // random bytes sent ahead of each reply
    int splitPieces = 0;          // send each reply in this many pieces (0/1: whole)
    int splitGapMs = 0;           // pause between pieces
    bool exceptionReplies = false;  // answer every request with exception code 4
    int replyDelayMs = 0;         // extra delay before each reply
    int answerAsStation = 0;      // non-zero: replies carry this slave address instead
    int dropEveryNth = 0;         // drop one reply in every N (0: never)
    double dropProbability = 0.0;   // chance that a reply is dropped
    double corruptProbability = 0.0;  // chance that a reply's CRC is corrupted
    bool staleWriteEchoes = false;  // a write is answered with the echo of the write before it (the first: none)
    bool echoRequests = false;    // the adapter echoes every request at once, ahead of any reply
    int lateReplyMs = 0;          // replies held back this long, past a master's timeout (0: none)
    int lateAddress = -1;         // only replies to reads starting here are late (-1: every reply)
};

// Emulated wire time: each reply leaves after the turnaround plus the time its
// bytes take on the wire (115200 baud 8N1: 10 bits a byte). Zero for both
// answers as fast as the machine can.
struct SimTiming
{
    double byteTimeUs = 10.0 * 1e6 / 115200.0;
    int turnaroundUs = 1000;
};

// One request as the bus received it (valid CRC only).
struct SimRequest
{
    quint8 station = 0;
    quint8 function = 0;
    quint16 address = 0;
    quint16 count = 0;            // words read or written (1 for 0x06)
    QVector<quint16> values;      // written values
    QByteArray raw;
    qint64 receivedAtMs = 0;      // since the bus was created
};

// A Modbus RTU slave bus on a pseudo-terminal (or TCP): QSerialPort (or any tool)
// opens portPath() like a real tty. Serves one or more drives from its own
// thread; every public member is thread-safe. Requests for a station that is
// not on the bus, and frames with a bad CRC, get no answer, as on a real bus.
//
// What a drive does (registers as in registers.h; details in simdrive.h):
// - registers 0x0000 to 0x02FF; others give exception 0x02, a read of more
//   than 125 words exception 0x03, a station outside 1..16 exception 0x03;
// - moves in ticks of 10 ms of the serving thread's clock, only with the servo
//   on (ServoOff = 0) and no alarm: jog (ManualCommand 1 / 0x0101 / 0) at the
//   manual speed within the soft limits; nudge on writing the high word of
//   NudgeDistance; homing (0x0100) to 0, then input bit 7; the jog, nudge and
//   homing commands need ManualMode = 3. CommandInputs bit 0 / 1 move to
//   position 1 / 2 at their speeds and set output Y0 / Y1 on arrival; bit 2
//   stops and resets the alarm, as does AlarmClear; a write to the alarm word
//   raises the alarm of its low nibble (1 to 15);
// - StationAddress: the echo carries the old address, the drive answers on
//   the new one at once; StoreCommand 1 keeps the current values for the next
//   powerCycle(), 0 restores the factory values (those it was created with,
//   station included) at once.
class SimBus
{
public:
    static constexpr int RequestLogLimit = 100000;  // oldest entries go first

    SimBus();
    ~SimBus();
    SimBus(const SimBus &) = delete;
    SimBus &operator=(const SimBus &) = delete;

    // Adds a drive; one already answering on the same station is replaced.
    void addDrive(const SimDriveConfig &config);
    void removeDrive(quint8 station);
    bool hasDrive(quint8 station) const;

    bool start();                 // opens a fresh pty and starts serving
    // Serves the bus as RTU frames over TCP on 127.0.0.1:port (0: any free
    // port) instead; portPath() is then "tcp://127.0.0.1:PORT". One client at a
    // time: a new connection replaces the previous one. closePort() closes the
    // connection and the listener, as a converter that goes away.
    bool startTcp(quint16 port);
    void stop();                  // stops serving and closes the pty
    // The adapter vanishes mid-session: the pty closes at once, its clients
    // see the port fail. The drives keep their state; start() serves again.
    void closePort();
    bool isRunning() const;
    QString errorString() const;  // why the last start() failed
    QString portPath() const;     // the slave side, e.g. /dev/pts/7, or the TCP address

    // Register access without bus side effects. Writing the alarm word
    // (0x00A3) raises an alarm: its low nibble is the current alarm code.
    // Station-based members act on the drive answering on that station now.
    quint16 registerValue(quint8 station, quint16 address) const;
    void setRegisterValue(quint8 station, quint16 address, quint16 value);
    // The drive on `station` trips with alarm `code` (see SimDrive::raiseAlarm);
    // station 0 trips every drive on the bus.
    void raiseAlarm(quint8 station, quint16 code);
    double positionMm(quint8 station) const;
    void setPositionMm(quint8 station, double mm);
    // Power off and on: the values saved with the store command (or the
    // factory values) come back and the power-on block runs.
    void powerCycle(quint8 station);

    void setFaults(const SimFaults &faults);
    SimFaults faults() const;
    void setTiming(const SimTiming &timing);
    SimTiming timing() const;

    QVector<SimRequest> requests() const;
    void clearRequests();
    int replyCount() const;
    // Called on the serving thread for every logged request.
    void setRequestObserver(std::function<void(const SimRequest &)> observer);

private:
    bool startServing(const QString &portPath);

    struct Impl;
    std::unique_ptr<Impl> d;
};

// An alarm the simulator raises by itself: "CODE" at once or "CODE@SECONDS"
// that long after serving starts. False, with the reason in error, for any
// other text or a code outside 1 to 15.
struct SimAlarmPlan
{
    quint16 code = 0;
    int afterMs = 0;
};
bool parseSimAlarmPlan(const QString &text, SimAlarmPlan *plan, QString *error);

// Late replies: "MS" (every reply MS ms late) or "MS@ADDR" (only replies to
// reads of ADDR, decimal or 0x hex). False, with the reason in error, for any
// other text.
bool parseSimLateReplies(const QString &text, SimFaults *faults, QString *error);

// The bus the app's demo mode serves: recognised drives at stations 1 and 3,
// an unrecognised one at station 5.
void configureDemoBus(SimBus &bus);
