#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

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
    QString firmware = QStringLiteral("V1.20");
    QString hardware = QStringLiteral("H2");
};

// Faults the bus injects into its replies; switchable at any time.
struct SimFaults
{
    bool silent = false;          // answer nothing
    int silentAfterReplies = -1;  // go silent after this many more replies (-1: never)
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
    qint64 receivedAtMs = 0;      // since the bus started
};

// A Modbus RTU slave bus on a pseudo-terminal: QSerialPort (or any tool)
// opens portPath() like a real tty. Serves one or more drives from its own
// thread; every public member is thread-safe.
class SimBus
{
public:
    SimBus();
    ~SimBus();
    SimBus(const SimBus &) = delete;
    SimBus &operator=(const SimBus &) = delete;

    void addDrive(const SimDriveConfig &config);
    void removeDrive(quint8 station);

    bool start();                 // opens the pty and starts serving
    void stop();
    QString portPath() const;     // the slave side, e.g. /dev/pts/7

    quint16 registerValue(quint8 station, quint16 address) const;
    void setRegisterValue(quint8 station, quint16 address, quint16 value);
    double positionMm(quint8 station) const;

    void setFaults(const SimFaults &faults);
    SimFaults faults() const;

    QVector<SimRequest> requests() const;
    void clearRequests();
    int replyCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The bus the app's demo mode serves: recognised drives at stations 1 and 3,
// an unrecognised one at station 5.
void configureDemoBus(SimBus &bus);
