#pragma once

#include "jobsink.h"

#include <QStringList>

class QTextStream;

// Exit codes of vexa-cli: those of a station job (never Cancelled here).
namespace CliExit = JobExit;

// Runs one vexa-cli command line (arguments without the program name).
// Results go to `out`, one clear line per failure to `err`.
int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err);
