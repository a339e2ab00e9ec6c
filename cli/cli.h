#pragma once

#include <QStringList>

class QTextStream;

// Exit codes of vexa-cli.
namespace CliExit {
constexpr int Ok = 0;
constexpr int Failure = 1;        // a write or step the drive did not confirm
constexpr int Usage = 2;          // bad usage or a bad number
constexpr int NoReply = 3;        // no valid reply ("Timeout")
constexpr int PortUnavailable = 4;
constexpr int NotRecognised = 5;
constexpr int Differs = 6;        // a comparison found differences
constexpr int Refused = 7;        // the drive answered with an exception reply
}  // namespace CliExit

// Runs one vexa-cli command line (arguments without the program name).
// Results go to `out`, one clear line per failure to `err`.
int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err);
