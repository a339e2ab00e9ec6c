#pragma once

// The drive side of the parameter commands: identify a drive, hold its port
// for the exchange, read what a parameter file records and compare a file with it.

#include "deviceinfo.h"
#include "jobsink.h"
#include "modbustransport.h"
#include "paramdiff.h"
#include "paramfile.h"
#include "paramsnapshot.h"

#include <QJsonObject>

#include <memory>

// A drive opened for a params command: identified, then its port held for the exchange.
struct DriveSession
{
    DeviceInfo info;
    std::unique_ptr<QIODevice> port;
    std::unique_ptr<ModbusTransport> link;
};

ParamFile::Identity identityOf(const DeviceInfo &info);
ParamSnapshot::Snapshot readSnapshot(ModbusTransport &link, quint8 station);

// Identifies the drive and opens its port. Ok, or the exit code after reporting why.
int openDrive(const JobSink &sink, const QString &portName, quint8 station, DriveSession *session);

// Every value a file records; Ok, or NoReply after naming what could not be read.
int readWhole(const JobSink &sink, DriveSession &session, quint8 station, ParamSnapshot::Snapshot *snapshot);

// What a file records of a complete snapshot of this drive, stamped now.
ParamFile::Content contentOf(const ParamSnapshot::Snapshot &snapshot, const DeviceInfo &info);

// What diff and apply both start from: the identified drive, its values and the file compared.
struct DriveComparison
{
    DriveSession session;
    ParamSnapshot::Snapshot drive;
    ParamDiff::Comparison comparison;
};

// The file against the identified drive as the window's import would take it:
// a file of another product is refused (Usage, with the blocking lines), other
// differences are noted; for writing, the file must also name its product and
// a reversed direction needs allowReversed. Ok with the comparison, or the exit code.
int compareWithDrive(const JobSink &sink, const QString &port, quint8 station, const QJsonObject &root,
                     const QString &path, bool writing, bool allowReversed, DriveComparison *out);
