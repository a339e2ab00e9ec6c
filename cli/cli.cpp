#include "cli.h"

#include "clicommands.h"

#include <QTextStream>

#include <functional>

namespace {

const char *const HelpText =
    "vexa-cli: talk to Vexa actuator drives over Modbus RTU (115200 8N1).\n"
    "\n"
    "Usage: vexa-cli <command> [options]\n"
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
    "              logic version; --json prints JSON lines instead.\n"
    "  identify    --port P --station N [--engineering]\n"
    "              Identifies the drive and prints it as JSON. --engineering also\n"
    "              accepts drives outside the actuator catalogue.\n"
    "  block compare --port P --station N --file LISTING\n"
    "              Reads the register runs of LISTING (lines of address, word\n"
    "              count, byte count and data in hex, as the compare table\n"
    "              imports them, or the window's Export TXT listing with its\n"
    "              leading station field) back from the drive and prints one\n"
    "              line per run: 0xADDR words match|mismatch|error. A line of\n"
    "              1 to 100 words whose byte count and data do not agree\n"
    "              refuses the file with its line number (exit 2). Exits 0\n"
    "              when all match, 6 when a run differs, 3 when a run could\n"
    "              not be read.\n"
    "  block write --port P --station N --file LISTING [--save]\n"
    "              Writes the runs, merged into requests of at most 100 words,\n"
    "              and prints one line per request. --save then stores the\n"
    "              drive's parameters, only when every request was confirmed.\n"
    "              Exits 1 when a request or the save was not confirmed.\n"
    "  params export --port P --station N --out FILE\n"
    "              Identifies the drive, reads its motion and protection\n"
    "              parameters and writes them to FILE in the parameter file\n"
    "              format of the window's Export (the window can import it).\n"
    "              An existing FILE is replaced only when the new one is complete.\n"
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
    "              when nothing differs, 6 when a value differs.\n"
    "  params apply --port P --station N --file FILE [--save]\n"
    "              Writes the values of FILE that differ from the drive, by\n"
    "              the rules of the window's Write (motion check, positions,\n"
    "              soft limits, thresholds, script copies), reads the drive\n"
    "              back and prints one line per written value: key, value,\n"
    "              outcome. Refuses FILE as params diff does. --save stores\n"
    "              the parameters in ROM, only when every value was written\n"
    "              and read back. Exits 0 when the drive now matches FILE, 1\n"
    "              when a write, its read-back or the save was not confirmed,\n"
    "              6 when a value could not be applied (a rule refused it or\n"
    "              FILE holds it with the wrong type).\n"
    "\n"
    "Numbers are decimal or 0x-prefixed hexadecimal. Stations are 1 to 247.\n"
    "\n"
    "Exit codes: 0 success, 1 a write the drive did not confirm or an output file\n"
    "            that could not be written, 2 bad usage, bad number or unusable\n"
    "            listing or parameter file, 3 no valid reply (Timeout), 4 port\n"
    "            cannot be opened, 5 drive not recognised, 6 the drive differs.\n";

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
    const QString name = arguments.first();
    const CliContext ctx{arguments.mid(1), out, err};
    if (!commands.contains(name))
        return ctx.usage(QStringLiteral("unknown command '%1'").arg(name));
    return commands.value(name)(ctx);
}
