#include "clioptions.h"

CliOptions::CliOptions(const QStringList &valueOptions, const QStringList &flags)
    : m_valueOptions(valueOptions.begin(), valueOptions.end()), m_flags(flags.begin(), flags.end())
{
}

bool CliOptions::parse(const QStringList &arguments)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (!arg.startsWith(QLatin1String("--"))) {
            m_positional << arg;
            continue;
        }
        const QString name = arg.mid(2);
        if (m_flags.contains(name)) {
            m_flagsSeen.insert(name);
        } else if (m_valueOptions.contains(name)) {
            if (i + 1 >= arguments.size()) {
                m_error = QStringLiteral("option --%1 needs a value").arg(name);
                return false;
            }
            m_values.insert(name, arguments[++i]);
            m_all[name] << m_values.value(name);
        } else {
            m_error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        }
    }
    return true;
}

bool CliOptions::number(const QString &name, qint64 minimum, qint64 maximum, qint64 &out)
{
    if (!m_values.contains(name)) {
        m_error = QStringLiteral("missing --%1").arg(name);
        return false;
    }
    const ParsedNumber n = parseNumber(m_values.value(name), minimum, maximum);
    if (!n.ok) {
        m_error = QStringLiteral("--%1: %2").arg(name, n.error);
        return false;
    }
    out = n.value;
    return true;
}
