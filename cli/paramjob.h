#pragma once

// A params apply or export over stations on one or more buses: each bus in
// its own thread on its own port, all buses at once, the stations of a bus
// one after another. Each station is told apart in what it prints and keeps
// a record for the report.

#include "cli.h"
#include "clicommands.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

struct JobSettings
{
    QStringList ports;       // in the order of the --port options
    QVector<int> stations;   // ascending, the same on every bus
    // apply
    QString filePath;
    QJsonObject root;        // the file, loaded and checked
    bool save = false;
    bool allowReversed = false;
    bool dryRun = false;
    QString snapshotDir;     // empty: no snapshot is taken
    // export: one file to outPath, or one per drive into outDir
    QString outPath;
    QString outDir;
};

// What became of one station.
struct StationRecord
{
    QString port;
    int station = 0;
    QString model;           // empty when the drive was not identified
    QJsonObject versions;    // firmware, hardware, logic
    QString snapshot;        // the file taken before any write (export: the file written)
    QJsonArray changes;      // key, before, after, outcome
    bool saved = false;
    int exit = CliExit::Ok;
    QString message;         // the station's failure lines, empty when it succeeded
    QJsonObject link;        // the link counters of its exchanges
    QString out;             // what it printed, to be shown in order
    QString err;
};

enum class JobKind { Apply, Export };

// Runs every station and prints each station's lines in the order of the
// --port options, then by station.
QVector<StationRecord> runParamJob(const CliContext &ctx, JobKind kind, const JobSettings &settings);

// 0 when every station succeeded, else the first failing station's code.
int jobExitCode(const QVector<StationRecord> &records);

// "passed", or a word for what kept the station from passing.
QString resultWord(int exitCode);

// "LXGZ-40L05-100-BC_dev-pts-3_s2", safe in a file name on any system.
QString driveFileStem(const QString &model, const QString &port, int station);
