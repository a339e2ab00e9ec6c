#pragma once

#include "cmptask.h"

#include <QString>
#include <QVector>

// A register listing file read for the compare table or vexa-cli: one check of
// the file itself (a regular file, within the limits below, text without NUL
// bytes), then of every line (see parseListing), before a run is used.
namespace ListingFile {

// The whole register block is a few hundred short lines; a file far beyond
// these is not a listing and would only stall the table or the memory.
constexpr qint64 MaxBytes = 1024 * 1024;
constexpr int MaxLines = 2048;

struct Contents
{
    QVector<CmpTask> tasks;  // empty when the file was refused
    QString error;           // why it was refused, in the language asked for; empty when read
};

// "zh" gives the reasons in Chinese, anything else in English. A file without
// a single run is refused too: there would be nothing to compare or write.
Contents read(const QString &path, const QString &language);

}  // namespace ListingFile
