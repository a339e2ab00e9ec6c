#include "steppeddoublespinbox.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

SteppedDoubleSpinBox::SteppedDoubleSpinBox(QWidget *parent) : GuardedDoubleSpinBox(parent) {}

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
        GuardedDoubleSpinBox::stepBy(steps);
        return;
    }
    const int last = m_steps.size() - 1;
    const int target = std::clamp(nearestIndex(value()) + steps, 0, last);
    setValue(m_steps.at(target));
}

QValidator::State SteppedDoubleSpinBox::validate(QString &text, int &pos) const
{
    if (m_steps.isEmpty())
        return GuardedDoubleSpinBox::validate(text, pos);
    double number = 0.0;
    if (!toNumber(bareText(text), &number))
        return QValidator::Intermediate;
    const double shown = QString::number(number, 'f', decimals()).toDouble();
    return shown >= minimum() && shown <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

double SteppedDoubleSpinBox::valueFromText(const QString &text) const
{
    // The base class turns a number with more decimals than shown into the
    // minimum. An accepted number (always within the range) is rounded to what
    // the box shows instead, so the value used is the one seen.
    double number = 0.0;
    if (m_steps.isEmpty() || !toNumber(bareText(text), &number))
        return GuardedDoubleSpinBox::valueFromText(text);
    const double shown = QString::number(number, 'f', decimals()).toDouble();
    return std::clamp(shown, minimum(), maximum());
}
