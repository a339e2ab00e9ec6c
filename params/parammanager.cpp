#include "parammanager.h"

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

}  // namespace

ParamManager::ParamManager(ModbusWorker *worker, QObject *parent)
    : QObject(parent), m_worker(worker), m_validateTimer0(new QTimer(this)), m_validateTimer1(new QTimer(this))
{
    Q_ASSERT(worker);
    qRegisterMetaType<MotionValidationResult>("MotionValidationResult");
    for (QTimer *timer : {m_validateTimer0, m_validateTimer1}) {
        timer->setSingleShot(true);
        timer->setInterval(ValidateDelayMs);
    }
    connect(m_validateTimer0, &QTimer::timeout, this, [this] { Q_EMIT motionValidated(Pos0, validateMotion(Pos0)); });
    connect(m_validateTimer1, &QTimer::timeout, this, [this] { Q_EMIT motionValidated(Pos1, validateMotion(Pos1)); });
}

void ParamManager::registerParam(const ParamDef &def)
{
    if (def.title) {
        def.title->setProperty("zh", def.titleZh);
        def.title->setProperty("en", def.titleEn);
    }

    // Both directions stay connected: a set value that does not change the
    // other side emits nothing, so the pair settles after one round.
    if (def.spinD && def.slider) {
        QDoubleSpinBox *spinD = def.spinD;
        QSlider *slider = def.slider;
        slider->setRange(sliderPosition(spinD->minimum()), sliderPosition(spinD->maximum()));
        // The slider only sets the box when it stands elsewhere: a box finer
        // than the slider's 0.01 would otherwise be rounded by its own echo.
        connect(slider, &QSlider::valueChanged, spinD, [spinD](int n) {
            if (sliderPosition(spinD->value()) != n)
                spinD->setValue(n / 100.0);
        });
        connect(spinD, qOverload<double>(&QDoubleSpinBox::valueChanged), slider,
                [slider](double v) { slider->setValue(sliderPosition(v)); });
    } else if (def.spin && def.slider) {
        def.slider->setRange(def.spin->minimum(), def.spin->maximum());
        connect(def.slider, &QSlider::valueChanged, def.spin, &QSpinBox::setValue);
        connect(def.spin, qOverload<int>(&QSpinBox::valueChanged), def.slider, &QSlider::setValue);
    }

    if (def.hexLabel)
        def.hexLabel->setText(QStringLiteral("0x%1").arg(def.address, 4, 16, QLatin1Char('0')).toUpper());

    ParamEntry entry;
    entry.address = def.address;
    entry.singleWord = def.singleWord;
    entry.title = def.title;
    entry.curLabel = def.curLabel;
    entry.rawLabel = def.rawLabel;
    entry.hexLabel = def.hexLabel;
    entry.slider = def.slider;
    entry.spin = def.spin;
    entry.spinD = def.spinD;
    entry.btnRead = def.btnRead;
    entry.btnWrite = def.btnWrite;
    entry.syncAddress = def.syncAddress;
    m_params.insert(def.key, entry);

    const QString key = def.key;
    if (def.spinD)
        connect(def.spinD, qOverload<double>(&QDoubleSpinBox::valueChanged), this, [this, key] { refreshDirty(key); });
    else if (def.spin)
        connect(def.spin, qOverload<int>(&QSpinBox::valueChanged), this, [this, key] { refreshDirty(key); });

    // A position belongs to both moves, so its change re-checks both groups.
    const bool inGroup0 = isGroupMotionKey(def.key, Pos0) || def.key == QLatin1String("pos1Pos");
    const bool inGroup1 = isGroupMotionKey(def.key, Pos1) || def.key == QLatin1String("pos0Pos");
    if (!inGroup0 && !inGroup1)
        return;
    const auto restart = [this, inGroup0, inGroup1] {
        if (inGroup0)
            m_validateTimer0->start();
        if (inGroup1)
            m_validateTimer1->start();
    };
    if (def.spinD)
        connect(def.spinD, qOverload<double>(&QDoubleSpinBox::valueChanged), this, restart);
    else if (def.spin)
        connect(def.spin, qOverload<int>(&QSpinBox::valueChanged), this, restart);
}

namespace {

// A drive's value the box cannot hold (a push torque of 0 with push mode off)
// is shown as it is instead of the box's nearest value: the box marks it as
// outside its range, and its Write is refused until the operator edits it.
// The row keeps the raw value meanwhile (see rawToWrite).
void showOutsideRange(QAbstractSpinBox *box, double value, double minimum, double maximum, int decimals)
{
    if (value >= minimum && value <= maximum)
        return;
    if (auto *edit = box->findChild<QLineEdit *>())
        edit->setText(box->locale().toString(value, 'f', decimals).remove(box->locale().groupSeparator()));
}

}  // namespace

void ParamManager::updateDisplay(const QString &key, quint32 raw, double leadMm)
{
    const auto it = m_params.constFind(key);
    if (it == m_params.constEnd())
        return;
    const ParamEntry &e = *it;

    if (e.rawLabel)
        e.rawLabel->setText(QStringLiteral("(%1)").arg(raw));

    // A row holding a value not yet written keeps it while unwritten values are kept.
    const bool keepBox = m_keepUnwritten && holdsUnwritten(key);
    // Blocked signals: a value read from the drive is not an edit and must
    // not restart the motion check or bounce through the slider binding.
    if (e.spinD) {
        const double v = ParamConv::decimalFromRaw(key, raw, leadMm);
        if (!keepBox) {
            const QSignalBlocker block(e.spinD);
            e.spinD->setValue(v);
            showOutsideRange(e.spinD, v, e.spinD->minimum(), e.spinD->maximum(), e.spinD->decimals());
        }
        if (e.slider && !keepBox) {
            const QSignalBlocker block(e.slider);
            e.slider->setValue(sliderPosition(v));
        }
        if (e.curLabel)
            e.curLabel->setText(QString::number(v, 'f', 2));
    } else if (e.spin) {
        const int n = ParamConv::integerFromRaw(key, raw);
        if (!keepBox) {
            const QSignalBlocker block(e.spin);
            e.spin->setValue(n);
            showOutsideRange(e.spin, ParamConv::roundHalfUp(ParamConv::numberFromRaw(key, raw, leadMm)), e.spin->minimum(),
                             e.spin->maximum(), 0);
        }
        if (e.slider && !keepBox) {
            const QSignalBlocker block(e.slider);
            e.slider->setValue(n);
        }
        if (e.curLabel)
            e.curLabel->setText(QString::number(n));
    }

    if (!keepBox)
        holdShown(key, raw, leadMm);
    noteDriveValue(key, raw, leadMm);

    if (!e.rawLabel)
        return;
    if (key == QLatin1String("smoothMs"))
        e.rawLabel->setText((isZh() ? QStringLiteral("(常數 %1)") : QStringLiteral("(const %1)")).arg(raw));
    else if (isErrorThresholdKey(key))
        e.rawLabel->setText(QStringLiteral("%1 steps").arg(raw));
}

QString ParamManager::driveValueText(const QString &key) const
{
    const auto known = m_driveValues.constFind(key);
    if (!m_params.contains(key) || known == m_driveValues.constEnd())
        return QString();
    return shownText(key, known->raw, known->lead) + QLatin1Char(' ') + ParamDiff::unitOf(key);
}

QString ParamManager::shownText(const QString &key, quint32 raw, double lead) const
{
    const auto row = m_params.constFind(key);
    const int decimals = row != m_params.constEnd() && row->spinD ? row->spinD->decimals() : 0;
    return ParamDiff::numberText(ParamConv::exactNumber(key, raw, lead), decimals);
}

void ParamManager::forgetDriveValues()
{
    m_driveValues.clear();
    m_held.clear();
    const QSet<QString> wereDirty = m_dirtyRows;
    m_dirtyRows.clear();
    for (const QString &key : wereDirty)
        Q_EMIT rowDirtyChanged(key, false);
}

void ParamManager::noteDriveValue(const QString &key, quint32 raw, double lead)
{
    if (!m_params.contains(key))
        return;
    m_driveValues.insert(key, {raw, lead});
    refreshDirty(key);
}

void ParamManager::refreshDirty(const QString &key)
{
    const auto row = m_params.constFind(key);
    const auto known = m_driveValues.constFind(key);
    if (row == m_params.constEnd())
        return;
    bool dirty = false;
    if (known != m_driveValues.constEnd() && (row->spinD || row->spin)) {
        // What a Write would send against the drive's register value.
        quint32 raw = 0;
        dirty = !rawToWrite(key, known->lead, &raw) || raw != known->raw;
    }
    if (dirty == m_dirtyRows.contains(key))
        return;
    if (dirty)
        m_dirtyRows.insert(key);
    else
        m_dirtyRows.remove(key);
    Q_EMIT rowDirtyChanged(key, dirty);
}

void ParamManager::holdShown(const QString &key, quint32 raw, double lead, bool fromFile)
{
    const auto row = m_params.constFind(key);
    if (row == m_params.constEnd())
        return;
    const double shown = row->spinD ? row->spinD->value() : row->spin ? row->spin->value() : 0.0;
    m_held.insert(key, {raw, lead, shown, fromFile});
}

bool ParamManager::holdsUnwritten(const QString &key) const
{
    const auto row = m_params.constFind(key);
    const auto held = m_held.constFind(key);
    if (row == m_params.constEnd() || held == m_held.constEnd())
        return false;
    const double shown = row->spinD ? row->spinD->value() : row->spin ? row->spin->value() : 0.0;
    return held->fromFile || held->shown != shown;
}

bool ParamManager::rawToWrite(const QString &key, double lead, quint32 *raw) const
{
    const auto row = m_params.constFind(key);
    if (row == m_params.constEnd())
        return false;
    const double shown = row->spinD ? row->spinD->value() : row->spin ? row->spin->value() : 0.0;
    const auto held = m_held.constFind(key);
    if (held != m_held.constEnd() && held->shown == shown && !ParamFile::differs(held->lead, lead)) {
        *raw = held->raw;
        return true;
    }
    if (row->spinD)
        return ParamConv::rawFromDecimal(key, shown, lead, raw);
    *raw = row->spin ? ParamConv::rawFromInteger(key, static_cast<int>(shown)) : 0;
    return true;
}

void ParamManager::loadRaw(const QString &key, quint32 raw, double lead)
{
    const auto row = m_params.constFind(key);
    if (row == m_params.constEnd())
        return;
    if (row->spinD)
        row->spinD->setValue(ParamConv::decimalFromRaw(key, raw, lead));
    else if (row->spin)
        row->spin->setValue(ParamConv::integerFromRaw(key, raw));
    holdShown(key, raw, lead, true);
    refreshDirty(key);
}

void ParamManager::retranslate(const QString &lang)
{
    const bool zh = lang == QLatin1String("zh");
    for (const ParamEntry &e : qAsConst(m_params)) {
        if (e.title)
            e.title->setText(e.title->property(zh ? "zh" : "en").toString());
        if (e.btnRead)
            e.btnRead->setText(zh ? QStringLiteral("讀取") : QStringLiteral("Read"));
        if (e.btnWrite)
            e.btnWrite->setText(zh ? QStringLiteral("寫入") : QStringLiteral("Write"));
    }
}

void ParamManager::applyDriveRanges(double lead, int stroke)
{
    for (auto it = m_params.constBegin(); it != m_params.constEnd(); ++it) {
        const ParamEntry &e = *it;
        if (!e.spinD || !e.slider)
            continue;
        const QString &key = it.key();
        double maximum = 0.0;
        if (key.contains(QLatin1String("Speed")))
            maximum = MotionCheck::SpeedLimitRevPerS * lead;
        else if (key.contains(QLatin1String("Pos")) || key.startsWith(QLatin1String("softLimit")))
            maximum = stroke;
        else
            continue;
        e.spinD->setMaximum(maximum);
        e.slider->setMaximum(sliderPosition(maximum));
    }
}

QString ParamManager::labelOf(const QString &key) const
{
    return ParamConv::labelOf(key, m_lang);
}

MotionValidationResult ParamManager::validateMotion(const QString &group) const
{
    MotionCheck::MotionInputs in;
    in.group = group;
    in.speed = rowValue(group + QLatin1String("Speed"));
    in.accelMs = static_cast<int>(rowValue(group + QLatin1String("Accel")));
    in.decelMs = static_cast<int>(rowValue(group + QLatin1String("Decel")));
    in.pos0 = rowValue(QStringLiteral("pos0Pos"));
    in.pos1 = rowValue(QStringLiteral("pos1Pos"));
    in.lead = m_lead;
    in.lang = m_lang;
    in.load = m_verticalLoad;
    return MotionCheck::checkMotion(in);
}

double ParamManager::rowValue(const QString &key) const
{
    const auto it = m_params.constFind(key);
    if (it == m_params.constEnd())
        return 0.0;
    if (it->spinD)
        return it->spinD->value();
    if (it->spin)
        return it->spin->value();
    return 0.0;
}

double ParamManager::decimalValue(const QString &key) const
{
    const auto it = m_params.constFind(key);
    return it != m_params.constEnd() && it->spinD ? it->spinD->value() : 0.0;
}

bool ParamManager::isZh() const
{
    return m_lang == QLatin1String("zh");
}
