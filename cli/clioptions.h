#pragma once

#include "numberparse.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// "--name value" options and "--flag" switches of one command, checked against
// what the command accepts. A repeated option keeps its last value for value();
// values() gives every one in command-line order.
class CliOptions
{
public:
    CliOptions(const QStringList &valueOptions, const QStringList &flags);

    bool parse(const QStringList &arguments);  // false: error() says why
    QString error() const { return m_error; }

    bool has(const QString &name) const { return m_values.contains(name) || m_flagsSeen.contains(name); }
    QString value(const QString &name) const { return m_values.value(name); }
    QStringList values(const QString &name) const { return m_all.value(name); }
    QStringList positional() const { return m_positional; }

    // A required number option within range; on failure error() says why.
    bool number(const QString &name, qint64 minimum, qint64 maximum, qint64 &out);

private:
    QSet<QString> m_valueOptions;
    QSet<QString> m_flags;
    QHash<QString, QString> m_values;
    QHash<QString, QStringList> m_all;
    QSet<QString> m_flagsSeen;
    QStringList m_positional;
    QString m_error;
};
