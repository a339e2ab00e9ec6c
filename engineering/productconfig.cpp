#include "productconfig.h"

#include "actuatorcatalogue.h"
#include "registertemplate.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// A lead the form cannot hold (none checked, or not positive) counts as 1 mm.
double usableLead(double lead)
{
    return lead > 0.0 && std::isfinite(lead) ? lead : 1.0;
}

quint16 clampWord(double value)
{
    return quint16(std::clamp(value, 0.0, 65535.0));
}

quint32 clampDword(double value)
{
    return quint32(std::clamp(value, 0.0, 4294967295.0));
}

int row(const char *key)
{
    return RegisterTemplate::rowIndex(QLatin1String(key));
}

bool patchable(const QVector<CmpTask> &tasks, int index, int bytesNeeded)
{
    return index >= 0 && index < tasks.size() && tasks[index].expected.size() >= bytesNeeded;
}

void putWord(QByteArray &bytes, int at, quint16 value)
{
    bytes[at] = char(value >> 8);
    bytes[at + 1] = char(value & 0xFF);
}

QString hex2(int byte)
{
    return QStringLiteral("%1").arg(byte & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

void applyLeadDefaults(ProductConfig &config, double lead)
{
    const double l = usableLead(lead);
    config.lead = l;
    config.ppr = int(std::floor(l * 1000.0 + 0.5));
    config.speed = int(30000.0 / l);
    config.posSpeed = 150000;
    config.pos1Speed = 150000;
    config.dynErrMm = l * 25.0 / 200.0;
    config.staErrMm = l * 20.0 / 200.0;
    config.posWarnMm = l * 15.0 / 200.0;
}

void applyStrokeDefaults(ProductConfig &config, int stroke)
{
    config.stroke = stroke;
    config.pos0 = 0;
    config.pos1Pos = stroke * 1000;
}

quint16 thresholdSteps(double mm, double lead)
{
    return clampWord(std::lround(mm * 200.0 / usableLead(lead) + 1e-9));
}

quint16 torqueModeWord(int mode, int force)
{
    return quint16(mode * 256 + (force & 0xFF));
}

quint16 execTorqueWord(bool forward, int offsetPulses)
{
    return quint16((forward ? 0 : 0x8000) + ((offsetPulses * 2) & 0x7FFE) + 1);
}

quint8 forceByte(int percent)
{
    return quint8(std::min(std::max(percent, 20), 70) * 255 / 150);
}

void setTaskWord(QVector<CmpTask> &tasks, int index, quint16 value)
{
    if (!patchable(tasks, index, 4))
        return;
    putWord(tasks[index].expected, 2, value);
}

void setTaskDword(QVector<CmpTask> &tasks, int index, quint32 value)
{
    if (!patchable(tasks, index, 6))
        return;
    putWord(tasks[index].expected, 2, quint16(value & 0xFFFF));
    putWord(tasks[index].expected, 4, quint16(value >> 16));
}

void setTaskByteChoice(QVector<CmpTask> &tasks, int index, bool flag, quint8 whenSet, quint8 otherwise)
{
    if (!patchable(tasks, index, 4))
        return;
    tasks[index].expected[3] = char(flag ? whenSet : otherwise);
}

void setTaskForceByte(QVector<CmpTask> &tasks, int index, int percent)
{
    if (!patchable(tasks, index, 4))
        return;
    tasks[index].expected[3] = char(forceByte(percent));
}

void patchExpectedData(QVector<CmpTask> &tasks, const ProductConfig &c)
{
    const double lead = usableLead(c.lead);
    const quint16 acceleration = 50;
    const quint32 pushSpeed = clampDword(std::floor(30000.0 / lead + 0.5));

    setTaskWord(tasks, row("current"), quint16(c.ratedCurrent));
    setTaskWord(tasks, row("currentPct"), 0x3232);
    setTaskDword(tasks, row("ppr"), quint32(c.ppr));
    setTaskDword(tasks, row("speed"), quint32(c.speed));
    setTaskDword(tasks, row("softCcw"), 0);
    setTaskDword(tasks, row("softCw"), quint32(c.stroke * 1000));
    setTaskWord(tasks, row("dynErr"), thresholdSteps(c.dynErrMm, lead));
    setTaskWord(tasks, row("staErr"), thresholdSteps(c.staErrMm, lead));
    setTaskWord(tasks, row("posWarn"), thresholdSteps(c.posWarnMm, lead));
    setTaskWord(tasks, row("ecModel"), quint16(c.familyCode));
    setTaskWord(tasks, row("ecSize"), quint16(c.size));
    setTaskWord(tasks, row("ecLead"), clampWord(std::floor(lead * 10.0 + 0.5)));
    setTaskWord(tasks, row("ecStroke"), quint16(c.stroke & 0xFFFF));
    setTaskWord(tasks, row("motorDir"), c.motorDirCcw ? 1 : 0);
    setTaskWord(tasks, row("accel"), acceleration);
    setTaskWord(tasks, row("decel"), acceleration);
    setTaskDword(tasks, row("tqSpeed"), clampDword(std::trunc(c.tqSpeed * 6000.0 / lead)));
    setTaskWord(tasks, row("tqMode"), torqueModeWord(c.tqMode, c.tqForce));
    setTaskWord(tasks, row("execTq"), execTorqueWord(c.execDirForward, c.execOffset));
    setTaskWord(tasks, row("pos0Acc"), quint16(c.accel));
    setTaskWord(tasks, row("pos0Dec"), quint16(c.decel));
    setTaskDword(tasks, row("pos0Spd"), quint32(c.posSpeed));
    setTaskDword(tasks, row("pos0Pls"), quint32(c.pos0));
    setTaskWord(tasks, row("pos1Acc"), quint16(c.pos1Accel));
    setTaskWord(tasks, row("pos1Dec"), quint16(c.pos1Decel));
    setTaskDword(tasks, row("pos1Spd"), quint32(c.pos1Speed));
    setTaskDword(tasks, row("pos1Pls"), quint32(c.pos1Pos));
    setTaskWord(tasks, row("pos0PushAcc"), acceleration);
    setTaskWord(tasks, row("pos0PushDec"), acceleration);
    setTaskWord(tasks, row("pos1PushAcc"), acceleration);
    setTaskWord(tasks, row("pos1PushDec"), acceleration);
    setTaskDword(tasks, row("pos0PushSpd"), pushSpeed);
    setTaskDword(tasks, row("pos1PushSpd"), pushSpeed);
    setTaskByteChoice(tasks, row("pos0PushEnable"), c.pos0PushEnable, 0xD0, 0xC0);
    setTaskByteChoice(tasks, row("pos1PushEnable"), c.pos1PushEnable, 0xA8, 0xA0);
    setTaskForceByte(tasks, row("pos0PushForce"), c.pos0PushTorque);
    setTaskForceByte(tasks, row("pos1PushForce"), c.pos1PushTorque);
}

QString registerListing(const QVector<CmpTask> &tasks)
{
    QString out;
    for (const CmpTask &task : tasks) {
        QStringList fields{QStringLiteral("01"), hex2(task.address >> 8), hex2(task.address),
                           hex2(task.wordCount >> 8), hex2(task.wordCount), hex2(task.byteCount)};
        for (char byte : task.expected)
            fields << hex2(quint8(byte));
        out += fields.join(QLatin1Char(' '));
        out += QLatin1Char('\n');
    }
    return out;
}

FileError saveRegisterListing(const QString &path, const QVector<CmpTask> &tasks)
{
    return FileOutput::writeWhole(path, registerListing(tasks).toLatin1(), FileOutput::Mode::Text);
}

const QVector<FamilyChoice> &familyChoices()
{
    static const QVector<FamilyChoice> families = {
        {0, "LXA(0)", "LXAZ"},   {1, "LXB(1)", "LXBZ"}, {2, "LXC2(2)", "LXC2Z"}, {3, "LXD2(3)", "LXD2Z"},
        {4, "LXE2(4)", "LXE2Z"}, {5, "LXF(5)", "LXFZ"}, {6, "LXG(6)", "LXGZ"},
    };
    return families;
}

QString familyNameForCode(int code)
{
    for (const FamilyChoice &family : familyChoices()) {
        if (family.code == code)
            return QLatin1String(family.catalogueName);
    }
    return QStringLiteral("LXAZ");
}

const QVector<int> &formSizes()
{
    static const QVector<int> sizes = {16, 20, 25, 32, 40, 50, 63, 80};
    return sizes;
}

const QVector<double> &formLeads()
{
    static const QVector<double> leads = {1.0, 1.5, 2.0, 5.0, 8.0, 10.0, 20.0};
    return leads;
}

const QVector<int> &formStrokes()
{
    static const QVector<int> strokes = {20, 30, 40, 50, 75, 100};
    return strokes;
}

QVector<int> sizeChoices(const ActuatorFamily &family)
{
    QVector<int> shown;
    for (int size : formSizes()) {
        if (family.findSpec(size))
            shown << size;
    }
    return shown;
}

int chooseSize(int current, const QVector<int> &shown)
{
    if (shown.contains(current) || shown.isEmpty())
        return current;
    return shown.first();
}

int ratedCurrentOf(const ActuatorSpec *entry)
{
    return entry ? entry->ratedCurrent : 100;
}

std::optional<QVector<double>> leadChoices(const ActuatorSpec *entry)
{
    if (!entry || entry->leads.isEmpty())
        return std::nullopt;
    QVector<double> shown;
    for (double lead : formLeads()) {
        if (entry->allowsLead(lead))
            shown << lead;
    }
    return shown;
}

StrokeChoices strokeChoices(const ActuatorSpec *entry)
{
    StrokeChoices choices;
    if (entry && entry->strokeIsRange) {
        choices.range = true;
        if (entry->strokeStep >= 1 && entry->strokeMin <= entry->strokeMax) {
            for (int s = entry->strokeMin; s <= entry->strokeMax; s += entry->strokeStep)
                choices.values << s;
        }
        return choices;
    }
    if (entry) {
        for (int stroke : formStrokes()) {
            if (entry->strokes.contains(stroke))
                choices.values << stroke;
        }
    }
    return choices;
}

int rangeStrokeIndex(const QVector<int> &items, int remembered)
{
    const int last = items.lastIndexOf(remembered);
    return last >= 0 ? last : 0;
}

int jogSpeedLimit(bool connected, const QString &familyName, int size, double lead)
{
    if (!connected || familyName.isEmpty())
        return ActuatorCatalogue::leadsEqual(lead, 1.0) ? 8 : 15;
    const ActuatorSpec *entry = ActuatorCatalogue::findSpec(familyName, size);
    return entry ? entry->maxJogSpeed : 15;
}
