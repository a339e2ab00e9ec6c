#pragma once

#include "motioncheck.h"
#include "parammodel.h"
#include "paramwriter.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;
class RegisterPort;

// The widgets of one parameter row of the Motion and Advanced tabs.
struct ParamRow
{
    QString key;
    QPointer<QLabel> title;
    QPointer<QLabel> curLabel;
    QPointer<QLabel> rawLabel;
    QPointer<QLabel> hexLabel;
    QPointer<QSlider> slider;
    QPointer<QSpinBox> spin;
    QPointer<QDoubleSpinBox> spinD;  // wins over spin when both are present
    QPointer<QPushButton> btnRead;
    QPointer<QPushButton> btnWrite;
};

// Binds the parameter rows' widgets to the parameter model: a box's value is
// the model's shown number, a value read from the drive goes into the labels
// and (unless the row holds an unwritten value) the box. Reads and writes go
// through a register port the caller holds, with polling paused; the rules a
// write must pass come back as a verdict the caller answers.
class ParamBinder : public QObject
{
    Q_OBJECT

public:
    static constexpr int ValidateDelayMs = 200;
    static constexpr int ReadTimeoutMs = 300;

    explicit ParamBinder(QObject *parent = nullptr);

    ParamModel &model() { return m_model; }
    const ParamModel &model() const { return m_model; }

    // The row's box and slider follow each other; address shown in its hex label.
    void bindRow(const ParamRow &row, quint16 address);
    const QMap<QString, ParamRow> &rows() const { return m_rows; }
    // Shows a raw register value in the row of key; an unknown key is ignored.
    void showDriveValue(const QString &key, quint32 raw, double lead);
    void retranslate(const QString &lang);
    // Upper bounds that follow the connected drive, for rows with a decimal
    // box and a slider: speeds to 50 x lead mm/s, positions and soft limits
    // to the stroke; each slider to the bound x 100.
    void applyDriveRanges(double lead, int stroke);
    QString labelOf(const QString &key) const;
    // The drive's value with its unit ("41.6667 mm/s"), exact to the register.
    QString driveValueText(const QString &key) const;
    // A register value of the row as its box shows it, without the unit.
    QString shownText(const QString &key, quint32 raw, double lead) const;
    // The row's value widgets and buttons (a push torque without push mode is not set).
    void setRowEnabled(const QString &key, bool enabled);
    // A file's value given as its register value: the box shows it and the row keeps it exactly.
    void loadRaw(const QString &key, quint32 raw, double lead);
    // The numbers on screen, as the write rules judge them.
    ParamWriter::Values shownValues() const;

    void setLang(const QString &lang) { m_lang = lang; }
    void setLead(double lead) { m_lead = lead; }
    void setStroke(int stroke) { m_stroke = stroke; }
    // No control sets a mounting yet; while it stays horizontal the lift force is not estimated.
    void setVerticalLoad(const MotionCheck::VerticalLoad &load) { m_verticalLoad = load; }

    // Every row from the drive; returns the reads that got no reply (their rows kept their values).
    int readAll(RegisterPort &port, double lead, int stroke);
    void readSingle(RegisterPort &port, const QString &key, double lead);

    // What a Write of the row would send, and the rules' verdict on it; a
    // refusal when the box's value cannot be converted at this lead.
    struct PreparedWrite
    {
        quint32 raw = 0;
        ParamWriter::Verdict verdict;
    };
    PreparedWrite prepareWrite(const QString &key, double lead) const;
    // Writes a prepared value and reads it back; failures reach validationError.
    void write(RegisterPort &port, const QString &key, quint32 raw, double lead);

Q_SIGNALS:
    void validationError(QString message);
    void pushModeRead(int group, bool on);
    void motionValidated(QString posGroup, MotionValidationResult result);
    // A row became dirty or clean.
    void rowDirtyChanged(QString key, bool dirty);
    // A value read from the drive went into the row (its box's signals blocked).
    void driveValueShown(QString key);
    // The drive confirmed a write of the row's value (not yet saved to ROM).
    void parameterWritten(QString key);
    // A write of the row went out, confirmed or not; the drive's value before
    // it, when one was known, and the value sent.
    void parameterWriteTried(QString key, bool oldKnown, quint32 oldRaw, quint32 newRaw, double lead, bool confirmed);

private:
    double boxValue(const ParamRow &row) const;
    void validateLater(const QString &key);
    void noteWritten(const QString &key, quint32 raw, double lead);
    bool chinese() const { return m_lang == QLatin1String("zh"); }

    ParamModel m_model;
    QMap<QString, ParamRow> m_rows;
    QString m_lang = QStringLiteral("zh");
    double m_lead = 2.0;
    int m_stroke = 30;
    QTimer *m_validateTimer0;
    QTimer *m_validateTimer1;
    MotionCheck::VerticalLoad m_verticalLoad;
};
