#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// One row of the compare table: a run of consecutive drive registers and the
// contents the drive is expected to hold there.
struct CmpTask
{
    int rowIndex = 0;       // position of the source line (template row or non-empty file line)
    QString name;           // empty for file lines and unnamed template rows
    quint16 address = 0;
    quint16 wordCount = 0;
    quint8 byteCount = 0;   // the line's byte-count field, kept as written
    QByteArray expected;    // each word high byte first
    QByteArray device;      // last contents read from the drive; empty until read
    QString status;         // one of the CmpStatus texts
    QString line;           // the source line, unchanged

    // Expected data holds every word of the run.
    bool hasFullExpectedData() const { return expected.size() >= 2 * int(wordCount); }
};

namespace CmpStatus {
inline const QString Pending = QStringLiteral("pending");
inline const QString Match = QStringLiteral("match");
inline const QString Mismatch = QStringLiteral("mismatch");
inline const QString Error = QStringLiteral("error");
}  // namespace CmpStatus

// Tasks whose registers follow each other; one Modbus request covers the group.
struct CmpGroup
{
    quint16 address = 0;
    int wordCount = 0;
    QVector<int> taskIndices;  // into the task list the group was merged from
};
