#pragma once

#include <QString>
#include <QVector>

// Numbers on the command line: decimal or 0x-prefixed hexadecimal.
struct ParsedNumber
{
    bool ok = false;
    qint64 value = 0;
    QString error;  // why it was refused, for the one-line stderr message
};

ParsedNumber parseNumber(const QString &text, qint64 minimum, qint64 maximum);

// A comma-separated list of 16-bit words ("1,0x2A,300").
struct ParsedWords
{
    bool ok = false;
    QVector<quint16> words;
    QString error;
};

ParsedWords parseWordList(const QString &text, int maxCount);

// Stations as "1-4,7": numbers and ascending ranges within minimum..maximum,
// given back ascending and each once.
struct ParsedStations
{
    bool ok = false;
    QVector<int> stations;
    QString error;
};

ParsedStations parseStationList(const QString &text, int minimum, int maximum);
