#pragma once

#include "clioptions.h"

#include <QSerialPort>
#include <QTextStream>

#include <memory>

// What every command gets: its own arguments and the two output streams.
struct CliContext
{
    QStringList arguments;
    QTextStream &out;
    QTextStream &err;

    int usage(const QString &reason) const;
    int fail(int code, const QString &reason) const;
};

// Opens --port for a short exchange on this thread; null after reporting why.
std::unique_ptr<QSerialPort> openCliPort(const CliContext &ctx, const QString &portName);

int cmdRead(const CliContext &ctx);
int cmdWrite(const CliContext &ctx);
int cmdWriteMulti(const CliContext &ctx);
int cmdPoll(const CliContext &ctx);
int cmdScan(const CliContext &ctx);
int cmdIdentify(const CliContext &ctx);
// block compare | block write: the engineering register block against a listing file.
int cmdBlock(const CliContext &ctx);
// params export | show | diff | apply: the JSON parameter file the window exports and imports.
int cmdParams(const CliContext &ctx);
