#include "parammodel.h"

#include "paramconversions.h"
#include "paramfile.h"

ParamModel::ParamModel(QObject *parent) : QObject(parent) {}

void ParamModel::addRow(const QString &key, bool decimalBox)
{
    m_rows[key].decimalBox = decimalBox;
}

void ParamModel::setShown(const QString &key, double shown)
{
    const auto row = m_rows.find(key);
    if (row == m_rows.end())
        return;
    row->shown = shown;
    refreshDirty(key);
}

double ParamModel::shown(const QString &key) const
{
    return m_rows.value(key).shown;
}

void ParamModel::setDriveValue(const QString &key, quint32 raw, double lead)
{
    const auto row = m_rows.find(key);
    if (row == m_rows.end())
        return;
    row->hasDrive = true;
    row->driveRaw = raw;
    row->driveLead = lead;
    refreshDirty(key);
}

bool ParamModel::hasDriveValue(const QString &key) const
{
    return m_rows.value(key).hasDrive;
}

quint32 ParamModel::driveValue(const QString &key) const
{
    return m_rows.value(key).driveRaw;
}

double ParamModel::driveLead(const QString &key) const
{
    return m_rows.value(key).driveLead;
}

void ParamModel::forgetDriveValues()
{
    for (auto row = m_rows.begin(); row != m_rows.end(); ++row) {
        row->hasDrive = false;
        row->hasHeld = false;
        row->fromFile = false;
        if (row->dirty) {
            row->dirty = false;
            Q_EMIT dirtyChanged(row.key(), false);
        }
    }
}

void ParamModel::hold(const QString &key, quint32 raw, double lead, double shown, bool fromFile)
{
    const auto row = m_rows.find(key);
    if (row == m_rows.end())
        return;
    row->shown = shown;
    row->hasHeld = true;
    row->heldRaw = raw;
    row->heldLead = lead;
    row->heldShown = shown;
    row->fromFile = fromFile;
    refreshDirty(key);
}

bool ParamModel::holdsUnwritten(const QString &key) const
{
    const auto row = m_rows.constFind(key);
    return row != m_rows.constEnd() && row->hasHeld && (row->fromFile || row->heldShown != row->shown);
}

bool ParamModel::rawToWrite(const QString &key, double lead, quint32 *raw) const
{
    const auto row = m_rows.constFind(key);
    if (row == m_rows.constEnd())
        return false;
    if (row->hasHeld && row->heldShown == row->shown && !ParamFile::differs(row->heldLead, lead)) {
        *raw = row->heldRaw;
        return true;
    }
    if (row->decimalBox)
        return ParamConv::rawFromDecimal(key, row->shown, lead, raw);
    *raw = ParamConv::rawFromInteger(key, static_cast<int>(row->shown));
    return true;
}

bool ParamModel::anyDirty() const
{
    for (const Row &row : m_rows) {
        if (row.dirty)
            return true;
    }
    return false;
}

void ParamModel::refreshDirty(const QString &key)
{
    const auto row = m_rows.find(key);
    bool dirty = false;
    if (row->hasDrive) {
        quint32 raw = 0;
        dirty = !rawToWrite(key, row->driveLead, &raw) || raw != row->driveRaw;
    }
    if (dirty == row->dirty)
        return;
    row->dirty = dirty;
    Q_EMIT dirtyChanged(key, dirty);
}
