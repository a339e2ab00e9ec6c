#include "cli.h"

#include "clicommands.h"
#include "eventlog.h"

#include <QTextStream>

#include <functional>

namespace {

const char *const HelpText =
    "vexa-cli: talk to Vexa actuator drives over Modbus RTU (115200 8N1).\n"
    "\n"
    "Usage: vexa-cli <command> [options]\n"
    "       vexa-cli <command> --help    (that command's help)\n"
    "       vexa-cli --version\n"
    "\n"
    "Commands:\n"
    "  read        --port P --station N --address A --count C [--stats]\n"
    "              Reads C holding registers (function 0x03) and prints one\n"
    "              line per word: 0xADDR 0xVALUE. --stats adds a last line\n"
    "              \"link: ...\" with the link counters.\n"
    "  write       --port P --station N --address A --value V\n"
    "              Writes one register (function 0x06).\n"
    "  write-multi --port P --station N --address A --values V1,V2,...\n"
    "              Writes consecutive registers (function 0x10).\n"
    "  poll        --port P --station N --count K\n"
    "              Polls the drive's live state and prints K states as JSON lines,\n"
    "              then one line {\"link\": {...}} with the link counters.\n"
    "  scan        --port P [--json]\n"
    "              Probes stations 1 to 16 and prints one line per drive found:\n"
    "              station, model (or Unrecognized Device), firmware, hardware,\n"
    "              logic version; --json prints JSON lines instead. Exits 3\n"
    "              when no drive answers, 4 when the port cannot be opened.\n"
    "  identify    --port P --station N [--engineering]\n"
    "              Identifies the drive and prints it as JSON. --engineering also\n"
    "              accepts drives outside the actuator catalogue; without it\n"
    "              such a drive exits 5.\n"
    "  block compare --port P --station N --file LISTING\n"
    "              Reads the register runs of LISTING (lines of address, word\n"
    "              count, byte count and data in hex, as the compare table\n"
    "              imports them, or the window's Export TXT listing with its\n"
    "              leading station field) back from the drive and prints one\n"
    "              line per run: 0xADDR words match|mismatch|error. A line of\n"
    "              1 to 100 words whose byte count and data do not agree, that\n"
    "              lies outside the power-on block 0x012C..0x0257, or that\n"
    "              overlaps another line refuses the file with its line number\n"
    "              (exit 2), as does a file that is not a regular text file of\n"
    "              at most 1 MB and 2048 lines, or holds no run. Exits 0\n"
    "              when all match, 6 when a run differs, 3 when a run could\n"
    "              not be read.\n"
    "  block write --port P --station N --file LISTING [--save]\n"
    "              Writes the runs, merged into requests of at most 100 words,\n"
    "              and prints one line per request. --save then stores the\n"
    "              drive's parameters, only when every request was confirmed.\n"
    "              Exits 1 when a request or the save was not confirmed.\n"
    "  params export --port P --station N --out FILE\n"
    "  params export --port P [--port P2 ...] --stations LIST --out-dir DIR\n"
    "              Identifies the drive, reads its motion and protection\n"
    "              parameters and writes them to FILE in the parameter file\n"
    "              format of the window's Export (the window can import it).\n"
    "              An existing FILE is replaced only when the new one is complete.\n"
    "              Several stations (LIST: numbers and ranges, 1-4,7) on one\n"
    "              or more buses write one file per drive into DIR, named\n"
    "              MODEL_PORT_sSTATION.json; each bus runs in its own thread.\n"
    "  params show FILE\n"
    "              Prints the product identity a parameter file records and a\n"
    "              table of its values.\n"
    "  params diff --port P --station N --file FILE\n"
    "              Reads the drive's parameters and prints one line per value\n"
    "              of FILE that differs: key, file value, drive value, unit.\n"
    "              Values are compared by the register value a write sends,\n"
    "              so a file value that writes the drive's value is equal.\n"
    "              Values FILE lacks are not compared. A FILE of another\n"
    "              family, size or stroke is refused as the window's import\n"
    "              refuses it (exit 2, the blocking lines on stderr). Exits 0\n"
    "              when nothing differs, 6 when a value differs or could not\n"
    "              be compared. A FILE without any parameter, or with a value\n"
    "              of the wrong type, is refused (exit 2).\n"
    "  params apply --port P --station N --file FILE [--save] [--allow-reversed]\n"
    "              [--dry-run]\n"
    "              Writes the values of FILE that differ from the drive, by\n"
    "              the rules of the window's Write (motion check, positions,\n"
    "              soft limits, thresholds, script copies), reads the drive\n"
    "              back and prints one line per written value: key, value,\n"
    "              outcome. Refuses FILE as params diff does, and also when it\n"
    "              does not record family, size, stroke and lead (exit 2);\n"
    "              a FILE for the other motor direction only with\n"
    "              --allow-reversed. --save stores the parameters in ROM, only\n"
    "              when every value was written and every row of FILE read\n"
    "              back. --dry-run only prints what would be written. Exits 0\n"
    "              when the drive now matches FILE, 1 when a write, its\n"
    "              read-back or the save was not confirmed, 6 when a value\n"
    "              could not be applied (a rule refused it or FILE holds it\n"
    "              with the wrong type; with --dry-run: a value differs), 7\n"
    "              when the drive refused a write.\n"
    "  params apply --port P [--port P2 ...] --stations LIST --file FILE [--save]\n"
    "              [--dry-run] [--report R.json] [--html R.html] [--lang zh|en]\n"
    "              [--operator NAME] [--snapshot-dir DIR] [--allow-reversed]\n"
    "              A line job: the same on every station of LIST (numbers and\n"
    "              ranges, 1-4,7) on every bus, each bus in its own thread, the\n"
    "              stations of a bus one after another. Before its first write\n"
    "              each drive's values go to a snapshot, an ordinary parameter\n"
    "              file MODEL_PORT_sSTATION_TIME.json in DIR (default: beside\n"
    "              the report, else the current folder); params apply --file\n"
    "              SNAPSHOT puts the drive back. --report writes JSON (version,\n"
    "              operator, default the login name, start, end, FILE and its\n"
    "              SHA-256, and per station port, model, versions, snapshot,\n"
    "              changes, saved, result, exit, link counters); --html a\n"
    "              printable sign-off page of it in --lang (default en).\n"
    "              A report, a page or a snapshot is taken also for a single\n"
    "              station when one of their options is given. Exits 0 when\n"
    "              every station succeeded, else with the code of the first\n"
    "              failing station, by --port order, then station.\n"
    "\n"
    "Ports: a serial device (/dev/ttyUSB0) or an RTU-over-TCP converter as\n"
    "tcp://HOST:PORT or HOST:PORT. Every command takes --trace: each exchange\n"
    "as one decoded line on stderr (time, station, function, register, count,\n"
    "values, latency, result). Write commands first read the station once: an\n"
    "adapter that echoes its requests is recognised and its echoes removed\n"
    "(read --stats then ends its link line with \"echo removal on\").\n"
    "\n"
    "Every command that writes takes --log FILE: it appends one JSON line per\n"
    "event to FILE (time, event, port, station, model, versions and the event's\n"
    "fields; a register write with its old and new value, read just before).\n"
    "Without --log nothing is written to disk.\n"
    "\n"
    "Numbers are decimal or 0x-prefixed hexadecimal. Stations are 1 to 247.\n"
    "\n"
    "Exit codes: 0 success, 1 a write the drive did not confirm or an output file\n"
    "            that could not be written, 2 bad usage, bad number or unusable\n"
    "            listing or parameter file, 3 no valid reply (Timeout), 4 port\n"
    "            cannot be opened, 5 drive not recognised, 6 the drive differs,\n"
    "            7 the drive refused the request (Modbus exception reply).\n";

bool asksForHelp(const QStringList &arguments)
{
    return arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"));
}

// The entries of the command list above that belong to `command` (and to its
// subcommand, when one is named), taken from the list so the two never differ.
QString commandHelp(const QString &command, const QString &subcommand)
{
    const QStringList lines = QString::fromLatin1(HelpText).split(QLatin1Char('\n'));
    const int first = lines.indexOf(QStringLiteral("Commands:")) + 1;
    QString help;
    bool inEntry = false;
    for (int i = first; i < lines.size() && !lines[i].isEmpty(); ++i) {
        const QString &line = lines[i];
        // An entry starts with its command two columns in; its description is indented further.
        if (!line.startsWith(QLatin1String("   "))) {
            const QStringList words = line.simplified().split(QLatin1Char(' '));
            inEntry = words.value(0) == command
                      && (subcommand.isEmpty() || subcommand.startsWith(QLatin1String("-")) || words.value(1) == subcommand);
            if (inEntry)
                help += QStringLiteral("Usage: vexa-cli %1\n").arg(line.simplified());
        } else if (inEntry) {
            help += QStringLiteral("    ") + line.trimmed() + QLatin1Char('\n');
        }
    }
    return help;
}

}  // namespace

int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (arguments.isEmpty() || arguments.first() == QLatin1String("--help")
        || arguments.first() == QLatin1String("-h") || arguments.first() == QLatin1String("help")) {
        out << HelpText;
        out.flush();
        return arguments.isEmpty() ? CliExit::Usage : CliExit::Ok;
    }
    const QHash<QString, std::function<int(const CliContext &)>> commands{
        {QStringLiteral("read"), cmdRead},
        {QStringLiteral("write"), cmdWrite},
        {QStringLiteral("write-multi"), cmdWriteMulti},
        {QStringLiteral("poll"), cmdPoll},
        {QStringLiteral("scan"), cmdScan},
        {QStringLiteral("identify"), cmdIdentify},
        {QStringLiteral("block"), cmdBlock},
        {QStringLiteral("params"), cmdParams},
    };
    if (arguments.first() == QLatin1String("--version")) {
        out << "vexa-cli " << VEXA_APP_VERSION << '\n';
        out.flush();
        return CliExit::Ok;
    }
    const QString name = arguments.first();
    QStringList rest = arguments.mid(1);
    const bool trace = rest.removeAll(QStringLiteral("--trace")) > 0;
    EventLog events;
    const int logAt = rest.indexOf(QStringLiteral("--log"));
    const QString logPath = logAt >= 0 ? rest.value(logAt + 1) : QString();
    if (logAt >= 0)
        rest.erase(rest.begin() + logAt, rest.begin() + qMin(logAt + 2, rest.size()));
    const CliContext ctx{rest, out, err, trace, logAt >= 0 ? &events : nullptr, logPath};
    if (!commands.contains(name))
        return ctx.usage(QStringLiteral("unknown command '%1'").arg(name));
    if (logAt >= 0 && logPath.isEmpty())
        return ctx.usage(QStringLiteral("--log needs a file"));
    // A record that cannot be kept is said at once; the command itself goes on.
    QObject::connect(&events, &EventLog::writeFailed, [&ctx](const QString &path, const FileError &error) {
        ctx.err << "vexa-cli: cannot append to the event log " << path << ": " << error.reason(QStringLiteral("en")) << '\n';
        ctx.err.flush();
    });
    if (logAt >= 0 && !asksForHelp(ctx.arguments)) {
        const FileError error = events.setFile(logPath);
        if (error.failed())
            return ctx.fail(CliExit::Failure,
                            QStringLiteral("cannot open the event log %1: %2").arg(logPath, error.reason(QStringLiteral("en"))));
    }
    if (asksForHelp(ctx.arguments)) {
        const QString help = commandHelp(name, ctx.arguments.value(0));
        if (help.isEmpty())
            return ctx.usage(QStringLiteral("unknown command '%1 %2'").arg(name, ctx.arguments.value(0)));
        out << help;
        out.flush();
        return CliExit::Ok;
    }
    return commands.value(name)(ctx);
}
