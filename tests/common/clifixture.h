#pragma once

// vexa-cli run in-process (runCli, the whole program but its main) against a
// simulated bus, with a temporary folder for the files it reads and writes.

#include "cli.h"
#include "linkrig.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>

struct CliRun
{
    int code = -1;
    QString out;
    QString err;
};

struct CliFixture
{
    SimBus bus;
    SimBus otherBus;  // started only by startOtherBus: a second bus for jobs over several buses
    QTemporaryDir dir;

    explicit CliFixture(const QVector<SimDriveConfig> &drives = {driveAt(1)})
    {
        for (const SimDriveConfig &c : drives)
            bus.addDrive(c);
        bus.setTiming(SimTiming{0.0, 0});  // no emulated wire time: commands run many exchanges
    }
    bool start() { return dir.isValid() && bus.start(); }
    bool startOtherBus(const QVector<SimDriveConfig> &drives)
    {
        for (const SimDriveConfig &c : drives)
            otherBus.addDrive(c);
        otherBus.setTiming(SimTiming{0.0, 0});
        return otherBus.start();
    }

    static CliRun run(const QStringList &arguments)
    {
        CliRun run;
        QTextStream out(&run.out);
        QTextStream err(&run.err);
        run.code = runCli(arguments, out, err);
        out.flush();
        err.flush();
        return run;
    }
    // command [action] --port <bus> --station <n>, ready for more options.
    QStringList at(const QStringList &command, int station = 1) const
    {
        return command + QStringList{"--port", bus.portPath(), "--station", QString::number(station)};
    }
    QStringList wire(int function = 0) const { return wireLog(bus.requests(), function); }
    QString path(const QString &name) const { return dir.filePath(name); }
    QString writeFile(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path(name) : QString();
    }
    // Every line of an event log file as JSON; a line that does not parse is an empty object.
    static QVector<QJsonObject> logRecords(const QByteArray &file)
    {
        QVector<QJsonObject> records;
        for (const QByteArray &line : file.split('\n')) {
            if (!line.isEmpty())
                records << QJsonDocument::fromJson(line).object();
        }
        return records;
    }
    QByteArray readFile(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
};
