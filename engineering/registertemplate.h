#pragma once

#include "cmptask.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

// The power-on block the drive is shipped with: 128 register runs covering the
// 300 registers from Reg::PowerOnBlockStart. Rows with a key are patched from
// the product configuration; the others go to the drive as listed.
namespace RegisterTemplate {

struct Row
{
    quint16 address;
    quint16 wordCount;
    const char *data;  // hex bytes, each word high byte first
    const char *name;  // display name (UTF-8), may be empty
    const char *key;   // patch key, may be empty

    quint8 byteCount() const { return quint8(2 * wordCount); }
    // "01 2C 00 02 04 00 0D 00 64": address, word count, byte count, data.
    QString line() const;
    QString displayName() const { return QString::fromUtf8(name); }
};

constexpr int RowCount = 128;

const QVector<Row> &rows();

// Index of the first row with this key, -1 when no row has it.
int rowIndex(const QString &key);

// One pending task per row, in row order, carrying the row's name.
QVector<CmpTask> tasks();

}  // namespace RegisterTemplate
