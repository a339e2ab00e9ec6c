#pragma once

#include "motioncheck.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVector>

class ModbusWorker;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;

// The registration record of one parameter row.
struct ParamDef
{
    QString key;
    QString titleZh;
    QString titleEn;
    quint16 address = 0;
    bool singleWord = true;
    QLabel *title = nullptr;
    QLabel *hexLabel = nullptr;
    QLabel *curLabel = nullptr;
    QLabel *rawLabel = nullptr;
    QSlider *slider = nullptr;
    QSpinBox *spin = nullptr;
    QDoubleSpinBox *spinD = nullptr;
    QPushButton *btnRead = nullptr;
    QPushButton *btnWrite = nullptr;
    quint16 syncAddress = 0;  // register that receives a copy of every single-word write; 0 = none
};

// One row of the parameter table. The widgets belong to the window.
struct ParamEntry
{
    quint16 address = 0;
    bool singleWord = true;
    QPointer<QLabel> title;
    QPointer<QLabel> curLabel;
    QPointer<QLabel> rawLabel;
    QPointer<QLabel> hexLabel;
    QPointer<QSlider> slider;
    QPointer<QSpinBox> spin;
    QPointer<QDoubleSpinBox> spinD;  // wins over spin when both are present
    QPointer<QPushButton> btnRead;
    QPointer<QPushButton> btnWrite;
    quint16 syncAddress = 0;
};

// The table of the drive parameters shown on the Motion and Advanced tabs:
// binds each row's widgets, converts between register words and shown
// values, and reads and writes the drive through the worker, checking a
// value against the rest of the screen before it is written.
//
// Runs on the GUI thread. Its signals are meant for direct connections: a
// write waits for the receiver of triangularProfileWarning to answer through
// setConfirmTriangular before the emit returns.
class ParamManager : public QObject
{
    Q_OBJECT

public:
    static constexpr int ValidateDelayMs = 200;
    static constexpr int ReadTimeoutMs = 300;

    explicit ParamManager(ModbusWorker *worker, QObject *parent = nullptr);

    void registerParam(const ParamDef &def);
    // Shows a raw register value in the row of key; an unknown key is ignored.
    void updateDisplay(const QString &key, quint32 raw, double leadMm);
    void retranslate(const QString &lang);
    // Upper bounds that follow the connected drive, for rows with a decimal
    // box and a slider: speeds to 50 x lead mm/s, positions and soft limits
    // to the stroke; each slider to the bound x 100.
    void applyDriveRanges(double lead, int stroke);
    // The parameter's name for messages, in the current language.
    QString labelOf(const QString &key) const;
    // The motion check of group "pos0" or "pos1" from the values on screen.
    MotionValidationResult validateMotion(const QString &group) const;

    const QMap<QString, ParamEntry> &params() const { return m_params; }

    // The drive's value of each row: the raw value last read from the drive
    // or confirmed written to it. A row is dirty while its box holds a value
    // that a write would send differently (see ParamDiff).
    bool hasDriveValue(const QString &key) const { return m_driveValues.contains(key); }
    quint32 driveValue(const QString &key) const { return m_driveValues.value(key).raw; }
    bool isDirty(const QString &key) const { return m_dirtyRows.contains(key); }
    // The drive's value with its unit ("41.6667 mm/s"), exact to the register.
    QString driveValueText(const QString &key) const;
    // A register value of the row as its box shows it, without the unit.
    QString shownText(const QString &key, quint32 raw, double lead) const;
    // Another drive, or none: nothing is known of its values, no row is dirty.
    void forgetDriveValues();

    // The register value a Write of the row would send now: the exact value
    // the row was last given (read from the drive or loaded from a file) while
    // its box still shows it, else the box's value converted. False when the
    // box's value cannot be converted at this lead.
    bool rawToWrite(const QString &key, double lead, quint32 *raw) const;
    // A value to be written, given as its register value (a file's value
    // converted at the drive's lead): the box shows it and the row keeps it
    // exactly for the next Write. The box is set normally, so its change
    // handlers run; the drive's value and the labels stay.
    void loadRaw(const QString &key, quint32 raw, double lead);

    // While set, a read shows the drive's value in the labels only of rows
    // whose box holds a value loaded from a file or edited, until it is written.
    void setKeepUnwritten(bool keep) { m_keepUnwritten = keep; }

    QString lang() const { return m_lang; }
    void setLang(const QString &lang) { m_lang = lang; }
    double lead() const { return m_lead; }
    void setLead(double lead) { m_lead = lead; }
    int stroke() const { return m_stroke; }
    void setStroke(int stroke) { m_stroke = stroke; }
    bool confirmTriangular() const { return m_confirmTriangular; }
    void setConfirmTriangular(bool confirm) { m_confirmTriangular = confirm; }
    QTimer *validateTimer0() const { return m_validateTimer0; }
    QTimer *validateTimer1() const { return m_validateTimer1; }

    // No control sets a mounting yet; while it stays horizontal the lift
    // force is not estimated and liftForceWarning is never emitted.
    MotionCheck::VerticalLoad verticalLoad() const { return m_verticalLoad; }
    void setVerticalLoad(const MotionCheck::VerticalLoad &load) { m_verticalLoad = load; }

public Q_SLOTS:
    void readAll(uchar station, double lead, int stroke);
    // Reads of the last readAll that got no reply; their rows kept their values.
    int readAllFailures() const { return m_readAllFailures; }
    void readSingle(QString key, uchar station, double lead);
    void writeSingle(QString key, uchar station, double lead);

Q_SIGNALS:
    void pauseWorker(bool paused);
    void validationError(QString message);
    void pos0PushModeRead(bool on);
    void pos1PushModeRead(bool on);
    void motionValidated(QString posGroup, MotionValidationResult result);
    void triangularProfileWarning(QString message);
    void liftForceWarning(QString message);
    // A row became dirty or clean.
    void rowDirtyChanged(QString key, bool dirty);
    // The drive confirmed a write of the row's value (not yet saved to ROM).
    void parameterWritten(QString key);
    // A write of the row went out, confirmed or not; the drive's value before
    // it, when one was known, and the value sent.
    void parameterWriteTried(QString key, bool oldKnown, quint32 oldRaw, quint32 newRaw, double lead, bool confirmed);

private:
    // Value of a row's box: its decimal box, else its integer box, else 0.
    double rowValue(const QString &key) const;
    double decimalValue(const QString &key) const;
    bool isZh() const;

    bool readBlock(uchar station, quint16 address, int count, QVector<quint16> *words);
    // The checks that may stop a write; false when the write must not go on.
    bool passesMotionChecks(const QString &key, quint32 raw);
    bool passesScreenRules(const QString &key);
    void writeToDrive(const QString &key, const ParamEntry &entry, quint32 raw, uchar station, double lead);
    void reportUnconfirmedWrite(const QString &key);
    void noteDriveValue(const QString &key, quint32 raw, double lead);
    void noteWritten(const QString &key, quint32 raw, double lead);
    void refreshDirty(const QString &key);

    ModbusWorker *m_worker;
    QMap<QString, ParamEntry> m_params;
    QString m_lang = QStringLiteral("zh");
    double m_lead = 2.0;
    int m_stroke = 30;
    bool m_confirmTriangular = true;
    bool m_keepUnwritten = false;
    QTimer *m_validateTimer0;
    QTimer *m_validateTimer1;
    MotionCheck::VerticalLoad m_verticalLoad;
    struct DriveValue
    {
        quint32 raw = 0;
        double lead = 0.0;  // the lead the value was shown at
    };
    QMap<QString, DriveValue> m_driveValues;
    struct HeldValue
    {
        quint32 raw = 0;
        double lead = 0.0;
        double shown = 0.0;  // the box's value right after it was given raw
        bool fromFile = false;
    };
    QMap<QString, HeldValue> m_held;
    void holdShown(const QString &key, quint32 raw, double lead, bool fromFile = false);
    // The box holds a value loaded from a file or edited since, not the drive's.
    bool holdsUnwritten(const QString &key) const;
    QSet<QString> m_dirtyRows;
    int m_readAllFailures = 0;
};
