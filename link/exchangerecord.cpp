#include "exchangerecord.h"

#include "modbusframe.h"
#include "registers.h"

#include <QDateTime>

namespace {

QString hex4(quint16 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).rightJustified(4, QLatin1Char('0')).toUpper();
}

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz"));
}

}  // namespace

QString ExchangeRecord::resultText() const
{
    QString text;
    switch (result) {
    case Result::Ok: text = QStringLiteral("ok"); break;
    case Result::Timeout: text = QStringLiteral("timeout"); break;
    case Result::BadCrc: text = QStringLiteral("bad CRC"); break;
    case Result::Exception: text = ModbusFrame::exceptionText(exceptionCode); break;
    case Result::PortLost: text = QStringLiteral("port lost"); break;
    }
    return echoRemoved ? text + QStringLiteral(", echo removed") : text;
}

QString ExchangeRecord::valuesText() const
{
    QStringList parts;
    parts.reserve(values.size());
    for (quint16 value : values)
        parts << QStringLiteral("%1 (%2)").arg(value).arg(hex4(value));
    return parts.join(QLatin1Char(' '));
}

QString ExchangeRecord::registerText() const
{
    const char *name = Reg::name(address);
    return name ? QString::fromLatin1(name) : hex4(address);
}

QString ExchangeRecord::line() const
{
    QString text = QStringLiteral("%1 st %2 fc %3 %4 %5 x%6")
                       .arg(timeText(timeMs))
                       .arg(station)
                       .arg(function, 2, 16, QLatin1Char('0'))
                       .arg(hex4(address), registerText())
                       .arg(count);
    if (!values.isEmpty())
        text += QStringLiteral(" = ") + valuesText();
    return text + QStringLiteral(" %1 ms %2").arg(latencyMs, 0, 'f', 1).arg(resultText());
}

QStringList ExchangeRecord::csvHeader()
{
    return {QStringLiteral("time"),  QStringLiteral("station"), QStringLiteral("function"),
            QStringLiteral("address"), QStringLiteral("register"), QStringLiteral("count"),
            QStringLiteral("values"), QStringLiteral("latency_ms"), QStringLiteral("result")};
}

QStringList ExchangeRecord::csvFields() const
{
    return {timeText(timeMs),
            QString::number(station),
            QStringLiteral("0x%1").arg(function, 2, 16, QLatin1Char('0')),
            hex4(address),
            registerText(),
            QString::number(count),
            valuesText(),
            QString::number(latencyMs, 'f', 2),
            resultText()};
}
