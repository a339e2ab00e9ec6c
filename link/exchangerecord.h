#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// One request and what became of it, decoded for a traffic listing. Built only
// while someone listens; passed by value across threads.
struct ExchangeRecord
{
    enum class Result { Ok, Timeout, BadCrc, Exception, PortLost };

    qint64 timeMs = 0;           // wall clock, ms since the epoch, when the request went out
    quint8 station = 0;
    quint8 function = 0;
    quint16 address = 0;
    quint16 count = 0;           // words read or written
    QVector<quint16> values;     // words read (from the reply) or written (from the request)
    double latencyMs = 0;        // request sent to reply accepted, or to giving up
    Result result = Result::Ok;
    quint8 exceptionCode = 0;
    bool echoRemoved = false;    // the adapter's echo of the request was taken out first

    // "ok", "timeout", "bad CRC", "Exception 02 (illegal data address)", "port lost".
    QString resultText() const;
    // "1234 (0x04D2) 0 (0x0000)".
    QString valuesText() const;
    // "ActualPosition" or "0x0123".
    QString registerText() const;
    // "12:00:01.234 st 1 fc 03 0x0004 ActualPosition x2 = 1234 (0x04D2) 0 (0x0000) 1.2 ms ok"
    QString line() const;
    static QStringList csvHeader();
    QStringList csvFields() const;
};
Q_DECLARE_METATYPE(ExchangeRecord)
