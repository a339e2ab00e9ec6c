#pragma once

#include "numericentry.h"

#include <QVector>

// A double spin box whose arrows move through a list of values instead of a
// fixed single step. With an empty list it behaves like QDoubleSpinBox.
//
// Typing is free: any number within the range is accepted as typed, rounded to
// the shown decimals; one outside it stays typed and marked (GuardedBox). Only
// the arrows snap to the list.
class SteppedDoubleSpinBox : public GuardedDoubleSpinBox
{
    Q_OBJECT

public:
    explicit SteppedDoubleSpinBox(QWidget *parent = nullptr);

    // Sorted ascending; a non-empty list also becomes the box's range.
    void setStepList(const QVector<double> &steps);
    QVector<double> stepList() const { return m_steps; }

    QValidator::State validate(QString &text, int &pos) const override;
    void stepBy(int steps) override;

protected:
    double valueFromText(const QString &text) const override;

private:
    // Index of the list entry nearest to value; the first of equal distances wins.
    int nearestIndex(double value) const;
    // The text without prefix and suffix, trimmed.
    QString bareText(const QString &text) const;
    bool toNumber(const QString &bare, double *value) const;

    QVector<double> m_steps;
};
