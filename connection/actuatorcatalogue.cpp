#include "actuatorcatalogue.h"

#include <QChar>

#include <algorithm>
#include <cmath>

namespace {

const QString BC = QStringLiteral("BC");
const QString BA = QStringLiteral("BA");

ActuatorSpec listed(int size, QVector<double> leads, QVector<int> strokes, QStringList options, int ratedCurrent,
                    int maxJogSpeed)
{
    ActuatorSpec s;
    s.size = size;
    s.leads = std::move(leads);
    s.strokes = std::move(strokes);
    s.options = std::move(options);
    s.ratedCurrent = ratedCurrent;
    s.maxJogSpeed = maxJogSpeed;
    return s;
}

ActuatorSpec ranged(int size, QVector<double> leads, int strokeMin, int strokeMax, int strokeStep,
                    QStringList options, int ratedCurrent, int maxJogSpeed)
{
    ActuatorSpec s = listed(size, std::move(leads), {}, std::move(options), ratedCurrent, maxJogSpeed);
    s.strokeIsRange = true;
    s.strokeMin = strokeMin;
    s.strokeMax = strokeMax;
    s.strokeStep = strokeStep;
    return s;
}

ActuatorFamily family(const char *name, quint16 code, bool leadInModel, bool optionInModel,
                      QVector<ActuatorSpec> specs)
{
    ActuatorFamily f;
    f.name = QString::fromLatin1(name);
    f.code = code;
    f.leadInModel = leadInModel;
    f.optionInModel = optionInModel;
    f.specs = std::move(specs);
    return f;
}

QVector<ActuatorFamily> buildCatalogue()
{
    const QVector<int> s30to100{30, 50, 75, 100};
    return {
        family("LXAZ", 0, true, true,
               {listed(16, {1}, s30to100, {BC, BA}, 100, 10), listed(20, {2}, s30to100, {BC, BA}, 200, 15)}),
        family("LXBZ", 1, true, true,
               {listed(16, {1}, {30, 50, 75}, {BC}, 100, 10), listed(20, {2}, {30, 50, 75}, {BC}, 200, 15)}),
        family("LXC2Z", 2, true, false,
               {listed(16, {2}, s30to100, {BA}, 100, 15), listed(25, {2, 8}, s30to100, {BA}, 100, 15)}),
        family("LXD2Z", 3, true, false,
               {listed(16, {2}, s30to100, {BC}, 100, 15), listed(25, {2, 8}, s30to100, {BC}, 100, 15)}),
        family("LXE2Z", 4, true, false,
               {listed(16, {2}, {30, 50}, {BC}, 100, 15), listed(25, {2, 8}, {30, 50}, {BC}, 100, 15)}),
        family("LXFZ", 5, false, false,
               {listed(32, {1.5}, {20}, {BA}, 180, 10), listed(50, {1.5}, {30}, {BA}, 200, 10),
                listed(63, {2}, {30}, {BA}, 400, 15), listed(80, {2}, {40}, {BA}, 500, 15)}),
        family("LXGZ", 6, true, true,
               {ranged(32, {1, 2}, 100, 400, 50, {BC, BA}, 200, 50),
                ranged(40, {5, 10, 20}, 100, 600, 50, {BC, BA}, 200, 50),
                ranged(50, {5, 10, 20}, 100, 800, 50, {BC, BA}, 400, 50),
                ranged(63, {5, 10, 20}, 100, 1000, 50, {BC, BA}, 400, 50)}),
    };
}

}  // namespace

bool ActuatorSpec::allowsLead(double lead) const
{
    return std::any_of(leads.cbegin(), leads.cend(), [lead](double l) { return ActuatorCatalogue::leadsEqual(l, lead); });
}

bool ActuatorSpec::allowsStroke(int stroke) const
{
    if (!strokeIsRange)
        return strokes.contains(stroke);
    return strokeStep >= 1 && stroke >= strokeMin && stroke <= strokeMax && (stroke - strokeMin) % strokeStep == 0;
}

QVector<int> ActuatorSpec::strokeChoices() const
{
    if (!strokeIsRange)
        return strokes;
    QVector<int> choices;
    if (strokeStep < 1 || strokeMin > strokeMax)
        return choices;
    for (int s = strokeMin; s <= strokeMax; s += strokeStep)
        choices.append(s);
    return choices;
}

const ActuatorSpec *ActuatorFamily::findSpec(int size) const
{
    for (const ActuatorSpec &spec : specs) {
        if (spec.size == size)
            return &spec;
    }
    return nullptr;
}

namespace ActuatorCatalogue {

const QVector<ActuatorFamily> &families()
{
    static const QVector<ActuatorFamily> catalogue = buildCatalogue();
    return catalogue;
}

const ActuatorFamily *findFamilyByCode(quint16 code)
{
    for (const ActuatorFamily &f : families()) {
        if (f.code == code)
            return &f;
    }
    return nullptr;
}

const ActuatorFamily *findFamilyByName(const QString &name)
{
    for (const ActuatorFamily &f : families()) {
        if (f.name == name)
            return &f;
    }
    return nullptr;
}

const ActuatorSpec *findSpec(const QString &familyName, int size)
{
    const ActuatorFamily *f = findFamilyByName(familyName);
    return f ? f->findSpec(size) : nullptr;
}

QString buildModelCode(const QVector<quint16> &ident, const QVector<quint16> &options)
{
    if (ident.size() < 4 || options.isEmpty())
        return {};
    const ActuatorFamily *f = findFamilyByCode(ident.at(0));
    if (!f)
        return {};
    const int size = ident.at(1);
    const double lead = leadFromRaw(ident.at(2));
    const int stroke = ident.at(3);
    const ActuatorSpec *spec = f->findSpec(size);
    if (!spec || !spec->allowsLead(lead) || !spec->allowsStroke(stroke))
        return {};
    const QString option = optionText(options.at(0));
    if (option.isEmpty() || !spec->options.contains(option))
        return {};

    QString code = f->name + QLatin1Char('-') + QString::number(size);
    if (f->leadInModel)
        code += QLatin1Char('L') + leadText(lead);
    code += QLatin1Char('-') + QString::number(stroke);
    if (f->optionInModel)
        code += QLatin1Char('-') + option;
    return code;
}

bool leadsEqual(double a, double b)
{
    return std::fabs(a - b) * 1e12 <= std::min(std::fabs(a), std::fabs(b));
}

double leadFromRaw(quint16 raw)
{
    return raw > 9 ? raw / 10.0 : static_cast<double>(raw);
}

QString leadText(double lead)
{
    const double nearest = std::round(lead);
    if (leadsEqual(nearest, lead))
        return QStringLiteral("%1").arg(static_cast<qint64>(nearest), 2, 10, QLatin1Char('0'));
    return QString::number(lead, 'g', 3);
}

QString optionText(quint16 word)
{
    switch (word) {
    case 0:
        return BC;
    case 1:
        return BA;
    default:
        return {};
    }
}

QString registerText(const QVector<quint16> &words)
{
    QString text;
    for (quint16 w : words) {
        for (const int byte : {w & 0xFF, w >> 8}) {
            if (byte != 0)
                text += QChar::fromLatin1(static_cast<char>(byte));
        }
    }
    return text;
}

QString logicVersionText(quint16 logicVersion)
{
    if (logicVersion == 0)
        return QStringLiteral("—");
    const int letter = logicVersion >> 8;
    if (letter < 'A' || letter > 'Z')
        return QStringLiteral("?");
    return QStringLiteral("%1%2").arg(QChar::fromLatin1(static_cast<char>(letter))).arg(logicVersion & 0xFF);
}

QString scanStationText(int station)
{
    return QStringLiteral("0x%1 (%2)")
        .arg(station, 4, 16, QLatin1Char('0'))
        .toUpper()
        .arg(station);
}

QString selectedStationText(int station)
{
    return QStringLiteral("Selected ID: 0x%1 (%2)")
        .arg(station, 2, 16, QLatin1Char('0'))
        .toUpper()
        .arg(station);
}

}  // namespace ActuatorCatalogue
