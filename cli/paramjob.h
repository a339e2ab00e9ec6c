#pragma once

// A params apply or export over stations on one or more buses: each bus in
// its own thread on its own port, all buses at once, the stations of a bus
// one after another; each station's lines are shown in --port order afterwards.

#include "clicommands.h"
#include "stationjob.h"

// Runs every station and prints each station's lines in the order of the
// --port options, then by station.
QVector<StationRecord> runParamJob(const CliContext &ctx, JobKind kind, const JobSettings &settings);
