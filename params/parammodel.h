#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

// What the window knows of each parameter, without a widget: the drive's
// register value, the value held for the next Write (read, loaded from a file
// or edited) and whether that Write would change the drive.
//
// A value given as a register value is kept exactly: while the shown number
// is the one it was given with, a Write sends that register value, whatever
// the box rounds the number to and even when it lies outside the box's range.
// Only an edit (a new shown number) converts anew.
class ParamModel : public QObject
{
    Q_OBJECT

public:
    explicit ParamModel(QObject *parent = nullptr);

    // A row shown in a box with decimals (mm, mm/s) or a whole-number box.
    void addRow(const QString &key, bool decimalBox);
    bool hasRow(const QString &key) const { return m_rows.contains(key); }
    QStringList keys() const { return m_rows.keys(); }

    // The number the row's box shows now; an edit when it differs from the held one.
    void setShown(const QString &key, double shown);
    double shown(const QString &key) const;

    // A value read from the drive or confirmed written to it.
    void setDriveValue(const QString &key, quint32 raw, double lead);
    bool hasDriveValue(const QString &key) const;
    quint32 driveValue(const QString &key) const;
    double driveLead(const QString &key) const;
    // Another drive, or none: nothing is known of its values, no row is dirty.
    void forgetDriveValues();

    // The row's box was given raw (at lead) and shows `shown` now; fromFile
    // marks a value loaded from a file, which stays unwritten until written.
    void hold(const QString &key, quint32 raw, double lead, double shown, bool fromFile);
    // The box holds a value loaded from a file or edited since, not the drive's.
    bool holdsUnwritten(const QString &key) const;
    // While set, a value read from the drive replaces only rows that hold no unwritten value.
    void setKeepUnwritten(bool keep) { m_keepUnwritten = keep; }
    bool replacesShown(const QString &key) const { return !(m_keepUnwritten && holdsUnwritten(key)); }

    // The register value a Write of the row sends now at lead: the held value
    // while the box still shows it, else the shown number converted. False
    // when the shown number cannot be converted at this lead.
    bool rawToWrite(const QString &key, double lead, quint32 *raw) const;

    // A Write would send something other than the drive's value.
    bool isDirty(const QString &key) const { return m_rows.value(key).dirty; }
    bool anyDirty() const;

Q_SIGNALS:
    void dirtyChanged(const QString &key, bool dirty);

private:
    struct Row
    {
        bool decimalBox = false;
        double shown = 0.0;
        bool hasDrive = false;
        quint32 driveRaw = 0;
        double driveLead = 0.0;
        bool hasHeld = false;
        quint32 heldRaw = 0;
        double heldLead = 0.0;
        double heldShown = 0.0;
        bool fromFile = false;
        bool dirty = false;
    };
    void refreshDirty(const QString &key);

    QMap<QString, Row> m_rows;
    bool m_keepUnwritten = false;
};
