// vexa-drive-sim: serves simulated drives on a pseudo-terminal (or TCP on the
// loopback) until SIGINT or SIGTERM. The first line on stdout is the port to open.

#include "simbus.h"
#include "simwakepipe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

SimWakePipe terminationPipe;

void onTerminationSignal(int)
{
    // Only async-signal-safe calls here; the event loop does the rest.
    terminationPipe.raise();
}

bool installTerminationHandlers()
{
    if (!terminationPipe.open())
        return false;
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

void fail(const QString &message)
{
    std::fprintf(stderr, "vexa-drive-sim: %s\n", qPrintable(message));
}

// "station:family:size:rawLead:stroke:dir", dir 0/1 or BC/BA.
bool parseDrive(const QString &text, SimDriveConfig *config, QString *error)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 6) {
        *error = QStringLiteral("--drive %1: expected station:family:size:rawLead:stroke:dir").arg(text);
        return false;
    }
    quint16 numbers[5] = {};
    const int maximum[5] = {247, 255, 65535, 65535, 65535};
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        const uint value = parts[i].toUInt(&ok);
        if (!ok || value > uint(maximum[i]) || (i == 0 && value == 0)) {
            *error = QStringLiteral("--drive %1: \"%2\" is not a valid number here").arg(text, parts[i]);
            return false;
        }
        numbers[i] = quint16(value);
    }
    const QString dir = parts[5].toUpper();
    if (dir != QLatin1String("0") && dir != QLatin1String("1") && dir != QLatin1String("BC")
        && dir != QLatin1String("BA")) {
        *error = QStringLiteral("--drive %1: direction must be 0, 1, BC or BA").arg(text);
        return false;
    }
    config->station = quint8(numbers[0]);
    config->familyCode = numbers[1];
    config->size = numbers[2];
    config->rawLead = numbers[3];
    config->stroke = numbers[4];
    config->motorDirection = (dir == QLatin1String("1") || dir == QLatin1String("BA")) ? 1 : 0;
    return true;
}

struct FaultOptions
{
    QCommandLineOption silent{QStringLiteral("silent"), QStringLiteral("Answer nothing.")};
    QCommandLineOption silentAfter{QStringLiteral("silent-after"), QStringLiteral("Go silent after <n> replies."),
                                   QStringLiteral("n")};
    QCommandLineOption badCrc{QStringLiteral("bad-crc"), QStringLiteral("Corrupt the CRC of every reply.")};
    QCommandLineOption noise{QStringLiteral("noise"), QStringLiteral("Send <n> random bytes ahead of each reply."),
                             QStringLiteral("n")};
    QCommandLineOption split{QStringLiteral("split"), QStringLiteral("Send each reply in <n> pieces."),
                             QStringLiteral("n")};
    QCommandLineOption splitGap{QStringLiteral("split-gap"), QStringLiteral("Pause <ms> between pieces."),
                                QStringLiteral("ms")};
    QCommandLineOption exception{QStringLiteral("exception"),
                                 QStringLiteral("Answer every request with exception code 4.")};
    QCommandLineOption delay{QStringLiteral("delay"), QStringLiteral("Delay each reply by <ms>."),
                             QStringLiteral("ms")};
    QCommandLineOption asStation{QStringLiteral("as-station"),
                                 QStringLiteral("Replies carry slave address <n> instead."), QStringLiteral("n")};
    QCommandLineOption dropEvery{QStringLiteral("drop-every"), QStringLiteral("Drop one reply in every <n>."),
                                 QStringLiteral("n")};
    QCommandLineOption dropProbability{QStringLiteral("drop-probability"),
                                       QStringLiteral("Drop each reply with probability <p> (0 to 1)."),
                                       QStringLiteral("p")};
    QCommandLineOption staleEcho{QStringLiteral("stale-echo"),
                                 QStringLiteral("Answer each write with the echo of the write before it.")};
    QCommandLineOption echo{QStringLiteral("echo"),
                            QStringLiteral("Echo every request at once, ahead of any reply (an echoing adapter).")};
    QCommandLineOption late{QStringLiteral("late"),
                            QStringLiteral("Send replies <ms> late, past the master's timeout: every reply, or "
                                           "only those to reads of register <addr> (decimal or 0x hex)."),
                            QStringLiteral("ms[@addr]")};
    QCommandLineOption corruptProbability{QStringLiteral("corrupt-probability"),
                                          QStringLiteral("Corrupt each reply's CRC with probability <p> (0 to 1)."),
                                          QStringLiteral("p")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.addOptions({silent, silentAfter, badCrc, noise, split, splitGap, exception, delay, asStation,
                           dropEvery, dropProbability, corruptProbability, staleEcho, echo, late});
    }

    bool read(const QCommandLineParser &parser, SimFaults *faults, QString *error) const
    {
        auto count = [&](const QCommandLineOption &option, int maximum, int *target) {
            if (!parser.isSet(option))
                return true;
            bool ok = false;
            const int value = parser.value(option).toInt(&ok);
            if (!ok || value < 0 || value > maximum) {
                *error = QStringLiteral("--%1 needs a whole number from 0 to %2")
                             .arg(option.names().constFirst())
                             .arg(maximum);
                return false;
            }
            *target = value;
            return true;
        };
        auto probability = [&](const QCommandLineOption &option, double *target) {
            if (!parser.isSet(option))
                return true;
            bool ok = false;
            const double value = parser.value(option).toDouble(&ok);
            if (!ok || value < 0.0 || value > 1.0) {
                *error = QStringLiteral("--%1 needs a probability from 0 to 1").arg(option.names().constFirst());
                return false;
            }
            *target = value;
            return true;
        };
        faults->silent = parser.isSet(silent);
        faults->badCrc = parser.isSet(badCrc);
        faults->exceptionReplies = parser.isSet(exception);
        faults->staleWriteEchoes = parser.isSet(staleEcho);
        faults->echoRequests = parser.isSet(echo);
        if (parser.isSet(late) && !parseSimLateReplies(parser.value(late), faults, error))
            return false;
        return count(silentAfter, 1000000000, &faults->silentAfterReplies) && count(noise, 1024, &faults->noiseBytes)
            && count(split, 256, &faults->splitPieces) && count(splitGap, 60000, &faults->splitGapMs)
            && count(delay, 60000, &faults->replyDelayMs) && count(asStation, 255, &faults->answerAsStation)
            && count(dropEvery, 1000000000, &faults->dropEveryNth)
            && probability(dropProbability, &faults->dropProbability)
            && probability(corruptProbability, &faults->corruptProbability);
    }
};

// A link we made is removed on exit; anything else at that path is left alone.
class PortLink
{
public:
    bool create(const QString &linkPath, const QString &target, QString *error)
    {
        const QFileInfo existing(linkPath);
        if (existing.isSymLink()) {
            // A stale link from an earlier run that did not end cleanly.
            QFile::remove(linkPath);
        } else if (existing.exists()) {
            *error = QStringLiteral("--link %1: a file is already there; not replacing it").arg(linkPath);
            return false;
        }
        if (!QFile::link(target, linkPath)) {
            *error = QStringLiteral("--link %1: cannot create the link").arg(linkPath);
            return false;
        }
        m_path = linkPath;
        m_target = target;
        return true;
    }

    ~PortLink()
    {
        const QFileInfo info(m_path);
        if (!m_path.isEmpty() && info.isSymLink() && info.symLinkTarget() == m_target)
            QFile::remove(m_path);
    }

private:
    QString m_path;
    QString m_target;
};

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexa-drive-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated actuator drives on a Modbus RTU bus (pseudo-terminal, 115200 8N1).\n"
        "Prints the port path as its first line, then serves until SIGINT or SIGTERM.\n"
        "Without --demo or --drive it serves one LXAZ-16L01-50-BC drive at station 1."));
    parser.addHelpOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Serve the demo bus: drives at stations 1 and 3, an unknown "
                                                 "family at station 5."));
    const QCommandLineOption drive(QStringLiteral("drive"),
                                   QStringLiteral("Add a drive (repeatable); dir is 0/BC or 1/BA."),
                                   QStringLiteral("station:family:size:rawLead:stroke:dir"));
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Also make a symbolic link to the port at <path> (removed on exit)."),
                                  QStringLiteral("path"));
    const QCommandLineOption logRequests(QStringLiteral("log"), QStringLiteral("Print every request received."));
    const QCommandLineOption tcp(QStringLiteral("tcp"),
                                 QStringLiteral("Serve RTU frames over TCP on 127.0.0.1:<port> instead of a "
                                                "pseudo-terminal (0: any free port); the first line is then "
                                                "tcp://127.0.0.1:PORT."),
                                 QStringLiteral("port"));
    const QCommandLineOption alarm(QStringLiteral("alarm"),
                                   QStringLiteral("Raise alarm <code> (1 to 15) on every drive, at once or <s> "
                                                  "seconds after start; the window's Alarm Reset, Input 3 or a "
                                                  "write of 0x00A4 clears it."),
                                   QStringLiteral("code[@s]"));
    parser.addOptions({demo, drive, link, logRequests, tcp, alarm});
    const FaultOptions faultOptions;
    faultOptions.addTo(parser);
    parser.process(app);

    SimBus bus;
    QString error;
    if (parser.isSet(demo))
        configureDemoBus(bus);
    for (const QString &text : parser.values(drive)) {
        SimDriveConfig config;
        if (!parseDrive(text, &config, &error)) {
            fail(error);
            return 2;
        }
        bus.addDrive(config);
    }
    if (!parser.isSet(demo) && !parser.isSet(drive))
        bus.addDrive(SimDriveConfig{});

    SimFaults faults;
    if (!faultOptions.read(parser, &faults, &error)) {
        fail(error);
        return 2;
    }
    bus.setFaults(faults);
    SimAlarmPlan alarmPlan;
    if (parser.isSet(alarm) && !parseSimAlarmPlan(parser.value(alarm), &alarmPlan, &error)) {
        fail(error);
        return 2;
    }

    if (parser.isSet(logRequests)) {
        bus.setRequestObserver([](const SimRequest &request) {
            std::fprintf(stdout, "%8lld ms  %s\n", static_cast<long long>(request.receivedAtMs),
                         request.raw.toHex(' ').toUpper().constData());
            std::fflush(stdout);
        });
    }

    if (!installTerminationHandlers()) {
        fail(QStringLiteral("cannot install the signal handlers"));
        return 1;
    }
    QSocketNotifier terminate(terminationPipe.readFd(), QSocketNotifier::Read);
    QObject::connect(&terminate, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    if (parser.isSet(tcp)) {
        bool ok = false;
        const uint port = parser.value(tcp).toUInt(&ok);
        if (!ok || port > 65535) {
            fail(QStringLiteral("--tcp needs a port number from 0 to 65535"));
            return 2;
        }
        if (parser.isSet(link)) {
            fail(QStringLiteral("--link names a device file; it does not go with --tcp"));
            return 2;
        }
        if (!bus.startTcp(quint16(port))) {
            fail(bus.errorString());
            return 1;
        }
    } else if (!bus.start()) {
        fail(QStringLiteral("cannot open a pseudo-terminal: %1").arg(bus.errorString()));
        return 1;
    }
    PortLink portLink;
    if (parser.isSet(link) && !portLink.create(parser.value(link), bus.portPath(), &error)) {
        fail(error);
        return 1;
    }
    std::fprintf(stdout, "%s\n", qPrintable(bus.portPath()));
    std::fflush(stdout);
    if (alarmPlan.code != 0)
        QTimer::singleShot(alarmPlan.afterMs, &app, [&bus, alarmPlan] { bus.raiseAlarm(0, alarmPlan.code); });

    const int result = app.exec();
    bus.stop();
    return result;
}
