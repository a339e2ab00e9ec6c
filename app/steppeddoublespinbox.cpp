#include "steppeddoublespinbox.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

SteppedDoubleSpinBox::SteppedDoubleSpinBox(QWidget *parent) : QDoubleSpinBox(parent) {}

void SteppedDoubleSpinBox::setStepList(const QVector<double> &steps)
{
    m_steps = steps;
    std::sort(m_steps.begin(), m_steps.end());
    if (!m_steps.isEmpty())
        setRange(m_steps.first(), m_steps.last());
}

int SteppedDoubleSpinBox::nearestIndex(double value) const
{
    // Entries 9999 or farther away never win, so index 0 stands for "none near".
    double best = 9999.0;
    int index = 0;
    for (int k = 0; k < m_steps.size(); ++k) {
        const double distance = std::fabs(m_steps.at(k) - value);
        if (distance < best) {
            best = distance;
            index = k;
        }
    }
    return index;
}

QString SteppedDoubleSpinBox::bareText(const QString &text) const
{
    QString bare = text;
    if (!suffix().isEmpty() && bare.endsWith(suffix()))
        bare.chop(suffix().size());
    if (!prefix().isEmpty() && bare.startsWith(prefix()))
        bare.remove(0, prefix().size());
    return bare.trimmed();
}

bool SteppedDoubleSpinBox::toNumber(const QString &bare, double *value) const
{
    bool ok = false;
    *value = locale().toDouble(bare, &ok);
    if (!ok)
        *value = bare.toDouble(&ok);
    return ok;
}

void SteppedDoubleSpinBox::stepBy(int steps)
{
    if (m_steps.isEmpty()) {
        QDoubleSpinBox::stepBy(steps);
        return;
    }
    const int last = m_steps.size() - 1;
    const int target = std::clamp(nearestIndex(value()) + steps, 0, last);
    setValue(m_steps.at(target));
}

QValidator::State SteppedDoubleSpinBox::validate(QString &text, int &pos) const
{
    if (m_steps.isEmpty())
        return QDoubleSpinBox::validate(text, pos);
    const QString bare = bareText(text);
    if (bare.isEmpty())
        return QValidator::Intermediate;
    double number = 0.0;
    return toNumber(bare, &number) ? QValidator::Acceptable : QValidator::Intermediate;
}

void SteppedDoubleSpinBox::fixup(QString &text) const
{
    if (m_steps.isEmpty()) {
        QDoubleSpinBox::fixup(text);
        return;
    }
    double number = 0.0;
    if (!toNumber(bareText(text), &number))
        return;
    const double entry = m_steps.at(nearestIndex(number));
    const int decimals = entry < 0.1 ? 2 : (entry < 1.0 ? 1 : 0);
    text = prefix() + locale().toString(entry, 'f', decimals) + suffix();
}

double SteppedDoubleSpinBox::valueFromText(const QString &text) const
{
    // The base class turns a number outside the range, or with more decimals than
    // shown, into the minimum. An accepted number is held to the nearest end of the
    // range instead, and rounded to what the box shows, so the value used is the one seen.
    double number = 0.0;
    if (m_steps.isEmpty() || !toNumber(bareText(text), &number))
        return QDoubleSpinBox::valueFromText(text);
    const double shown = QString::number(number, 'f', decimals()).toDouble();
    return std::clamp(shown, minimum(), maximum());
}
