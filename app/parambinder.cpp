#include "parambinder.h"

#include "paramconversions.h"
#include "paramdiff.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

using ParamConv::roundHalfUp;

namespace {

const QString Pos0 = QStringLiteral("pos0");
const QString Pos1 = QStringLiteral("pos1");

bool isGroupMotionKey(const QString &key, const QString &group)
{
    return key == group + QLatin1String("Accel") || key == group + QLatin1String("Decel")
           || key == group + QLatin1String("Speed") || key == group + QLatin1String("Pos");
}

bool isErrorThresholdKey(const QString &key)
{
    return key == QLatin1String("dynErr") || key == QLatin1String("staErr") || key == QLatin1String("posWarn");
}

int sliderPosition(double value)
{
    return static_cast<int>(roundHalfUp(value * 100.0));
}

// A drive's value the box cannot hold (a push torque of 0 with push mode off)
// is shown as it is instead of the box's nearest value: the box marks it as
// outside its range, and its Write is refused until the operator edits it.
// The model keeps the raw value meanwhile.
void showOutsideRange(QAbstractSpinBox *box, double value, double minimum, double maximum, int decimals)
{
    if (value >= minimum && value <= maximum)
        return;
    if (auto *edit = box->findChild<QLineEdit *>())
        edit->setText(box->locale().toString(value, 'f', decimals).remove(box->locale().groupSeparator()));
}

}  // namespace

ParamBinder::ParamBinder(QObject *parent)
    : QObject(parent), m_validateTimer0(new QTimer(this)), m_validateTimer1(new QTimer(this))
{
    qRegisterMetaType<MotionValidationResult>("MotionValidationResult");
    for (QTimer *timer : {m_validateTimer0, m_validateTimer1}) {
        timer->setSingleShot(true);
        timer->setInterval(ValidateDelayMs);
    }
    const auto validate = [this](const QString &group) {
        Q_EMIT motionValidated(group, ParamWriter::checkMove(group, shownValues(), m_lead, m_lang, m_verticalLoad));
    };
    connect(m_validateTimer0, &QTimer::timeout, this, [validate] { validate(Pos0); });
    connect(m_validateTimer1, &QTimer::timeout, this, [validate] { validate(Pos1); });
    connect(&m_model, &ParamModel::dirtyChanged, this, &ParamBinder::rowDirtyChanged);
}

void ParamBinder::bindRow(const ParamRow &row, quint16 address)
{
    // Both directions stay connected: a set value that does not change the
    // other side emits nothing, so the pair settles after one round.
    if (row.spinD && row.slider) {
        QDoubleSpinBox *spinD = row.spinD;
        QSlider *slider = row.slider;
        slider->setRange(sliderPosition(spinD->minimum()), sliderPosition(spinD->maximum()));
        // The slider only sets the box when it stands elsewhere: a box finer
        // than the slider's 0.01 would otherwise be rounded by its own echo.
        connect(slider, &QSlider::valueChanged, spinD, [spinD](int n) {
            if (sliderPosition(spinD->value()) != n)
                spinD->setValue(n / 100.0);
        });
        connect(spinD, qOverload<double>(&QDoubleSpinBox::valueChanged), slider,
                [slider](double v) { slider->setValue(sliderPosition(v)); });
    } else if (row.spin && row.slider) {
        row.slider->setRange(row.spin->minimum(), row.spin->maximum());
        connect(row.slider, &QSlider::valueChanged, row.spin, &QSpinBox::setValue);
        connect(row.spin, qOverload<int>(&QSpinBox::valueChanged), row.slider, &QSlider::setValue);
    }
    if (row.hexLabel)
        row.hexLabel->setText(QStringLiteral("0x%1").arg(address, 4, 16, QLatin1Char('0')).toUpper());

    const QString key = row.key;
    m_rows.insert(key, row);
    m_model.addRow(key, row.spinD != nullptr);
    m_model.setShown(key, boxValue(row));
    const auto edited = [this, key] {
        m_model.setShown(key, boxValue(m_rows.value(key)));
        validateLater(key);
    };
    if (row.spinD)
        connect(row.spinD, qOverload<double>(&QDoubleSpinBox::valueChanged), this, edited);
    else if (row.spin)
        connect(row.spin, qOverload<int>(&QSpinBox::valueChanged), this, edited);
}

void ParamBinder::validateLater(const QString &key)
{
    // A position belongs to both moves, so its change re-checks both groups.
    if (isGroupMotionKey(key, Pos0) || key == QLatin1String("pos1Pos"))
        m_validateTimer0->start();
    if (isGroupMotionKey(key, Pos1) || key == QLatin1String("pos0Pos"))
        m_validateTimer1->start();
}

double ParamBinder::boxValue(const ParamRow &row) const
{
    return row.spinD ? row.spinD->value() : row.spin ? row.spin->value() : 0.0;
}

void ParamBinder::showDriveValue(const QString &key, quint32 raw, double lead)
{
    const auto it = m_rows.constFind(key);
    if (it == m_rows.constEnd())
        return;
    const ParamRow &row = *it;
    if (row.rawLabel)
        row.rawLabel->setText(QStringLiteral("(%1)").arg(raw));

    // A row holding a value not yet written keeps it while unwritten values are kept.
    const bool replaceBox = m_model.replacesShown(key);
    // Blocked signals: a value read from the drive is not an edit and must
    // not restart the motion check or bounce through the slider binding.
    if (row.spinD) {
        const double v = ParamConv::decimalFromRaw(key, raw, lead);
        if (replaceBox) {
            const QSignalBlocker block(row.spinD);
            row.spinD->setValue(v);
            showOutsideRange(row.spinD, v, row.spinD->minimum(), row.spinD->maximum(), row.spinD->decimals());
            if (row.slider) {
                const QSignalBlocker blockSlider(row.slider);
                row.slider->setValue(sliderPosition(v));
            }
        }
        if (row.curLabel)
            row.curLabel->setText(QString::number(v, 'f', 2));
    } else if (row.spin) {
        const int n = ParamConv::integerFromRaw(key, raw);
        if (replaceBox) {
            const QSignalBlocker block(row.spin);
            row.spin->setValue(n);
            showOutsideRange(row.spin, ParamConv::roundHalfUp(ParamConv::numberFromRaw(key, raw, lead)),
                             row.spin->minimum(), row.spin->maximum(), 0);
            if (row.slider) {
                const QSignalBlocker blockSlider(row.slider);
                row.slider->setValue(n);
            }
        }
        if (row.curLabel)
            row.curLabel->setText(QString::number(n));
    }
    if (replaceBox)
        m_model.hold(key, raw, lead, boxValue(row), false);
    m_model.setDriveValue(key, raw, lead);
    Q_EMIT driveValueShown(key);

    if (!row.rawLabel)
        return;
    if (key == QLatin1String("smoothMs"))
        row.rawLabel->setText((chinese() ? QStringLiteral("(常數 %1)") : QStringLiteral("(const %1)")).arg(raw));
    else if (isErrorThresholdKey(key))
        row.rawLabel->setText(QStringLiteral("%1 steps").arg(raw));
}

QString ParamBinder::driveValueText(const QString &key) const
{
    if (!m_rows.contains(key) || !m_model.hasDriveValue(key))
        return QString();
    return shownText(key, m_model.driveValue(key), m_model.driveLead(key)) + QLatin1Char(' ') + ParamDiff::unitOf(key);
}

QString ParamBinder::shownText(const QString &key, quint32 raw, double lead) const
{
    const auto row = m_rows.constFind(key);
    const int decimals = row != m_rows.constEnd() && row->spinD ? row->spinD->decimals() : 0;
    return ParamDiff::numberText(ParamConv::exactNumber(key, raw, lead), decimals);
}

void ParamBinder::loadRaw(const QString &key, quint32 raw, double lead)
{
    const auto row = m_rows.constFind(key);
    if (row == m_rows.constEnd())
        return;
    if (row->spinD)
        row->spinD->setValue(ParamConv::decimalFromRaw(key, raw, lead));
    else if (row->spin)
        row->spin->setValue(ParamConv::integerFromRaw(key, raw));
    m_model.hold(key, raw, lead, boxValue(*row), true);
}

void ParamBinder::setRowEnabled(const QString &key, bool enabled)
{
    const auto row = m_rows.constFind(key);
    if (row == m_rows.constEnd())
        return;
    for (QWidget *widget : std::initializer_list<QWidget *>{row->curLabel, row->rawLabel, row->slider, row->spin,
                                                           row->spinD, row->btnRead, row->btnWrite}) {
        if (widget)
            widget->setEnabled(enabled);
    }
}

ParamWriter::Values ParamBinder::shownValues() const
{
    ParamWriter::Values values;
    for (auto it = m_rows.constBegin(); it != m_rows.constEnd(); ++it)
        values.insert(it.key(), m_model.shown(it.key()));
    return values;
}

void ParamBinder::retranslate(const QString &lang)
{
    const bool zh = lang == QLatin1String("zh");
    for (const ParamRow &row : qAsConst(m_rows)) {
        const ParamConv::ParamDefinition *def = ParamConv::findParamDefinition(row.key);
        if (row.title && def)
            row.title->setText(zh ? def->titleZh : def->titleEn);
        if (row.btnRead)
            row.btnRead->setText(zh ? QStringLiteral("讀取") : QStringLiteral("Read"));
        if (row.btnWrite)
            row.btnWrite->setText(zh ? QStringLiteral("寫入") : QStringLiteral("Write"));
    }
}

void ParamBinder::applyDriveRanges(double lead, int stroke)
{
    for (const ParamRow &row : qAsConst(m_rows)) {
        if (!row.spinD || !row.slider)
            continue;
        double maximum = 0.0;
        if (row.key.contains(QLatin1String("Speed")))
            maximum = MotionCheck::SpeedLimitRevPerS * lead;
        else if (row.key.contains(QLatin1String("Pos")) || row.key.startsWith(QLatin1String("softLimit")))
            maximum = stroke;
        else
            continue;
        row.spinD->setMaximum(maximum);
        row.slider->setMaximum(sliderPosition(maximum));
    }
}

QString ParamBinder::labelOf(const QString &key) const
{
    return ParamConv::labelOf(key, m_lang);
}
