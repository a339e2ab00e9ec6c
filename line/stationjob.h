#pragma once

// A parameter file applied to stations, or their parameters exported: one
// station at a time on one bus, each identified, checked against the file,
// kept in a snapshot before its first write, written, read back and saved,
// telling apart what it prints and keeping a record for the report.

#include "jobsink.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

struct JobSettings
{
    QStringList ports;       // in the order of the --port options (the window: its one port)
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
    int exit = JobExit::Ok;
    QString message;         // the station's failure lines, empty when it succeeded
    QJsonObject link;        // the link counters of its exchanges
    QString out;             // what it printed, to be shown in order
    QString err;
};

enum class JobKind { Apply, Export };

// How the stations of a bus print and log: each exchange when traced, the
// event log file a bus appends to (none when empty), the failure lines' prefix.
struct BusOutput
{
    bool trace = false;
    QString logPath;
    QString failPrefix;
};

// The stations of `settings` on `port`, one after another on this thread,
// each printing into its own record; `done` hears of each as it ends. Once
// `stop` says so, the stations not yet run are recorded as cancelled.
QVector<StationRecord> runStations(JobKind kind, const JobSettings &settings, const QString &port, const BusOutput &output,
                                   const std::function<void(const StationRecord &)> &done = {},
                                   const std::function<bool()> &stop = {});

// 0 when every station succeeded, else the first failing station's code.
int jobExitCode(const QVector<StationRecord> &records);

// "passed", or a word for what kept the station from passing.
QString resultWord(int exitCode);

// "LXGZ-40L05-100-BC_dev-pts-3_s2", safe in a file name on any system.
QString driveFileStem(const QString &model, const QString &port, int station);

Q_DECLARE_METATYPE(StationRecord)
