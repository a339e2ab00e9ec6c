#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// One bore size of an actuator family: what may be ordered and how fast it may jog.
struct ActuatorSpec
{
    int size = 0;
    QVector<double> leads;      // mm per revolution
    bool strokeIsRange = false;
    QVector<int> strokes;       // mm, when the stroke is not a range
    int strokeMin = 0;          // mm, when the stroke is a range
    int strokeMax = 0;
    int strokeStep = 0;
    QStringList options;        // motor direction: "BC", "BA"
    int ratedCurrent = 0;       // 0.01 A
    int maxJogSpeed = 0;        // mm/s

    bool allowsLead(double lead) const;
    bool allowsStroke(int stroke) const;
    // Every stroke that may be ordered, ascending for a range; empty for a malformed range.
    QVector<int> strokeChoices() const;
};

struct ActuatorFamily
{
    QString name;
    quint16 code = 0;           // value of the family code register
    bool leadInModel = false;
    bool optionInModel = false;
    QVector<ActuatorSpec> specs;

    const ActuatorSpec *findSpec(int size) const;
};

// The built-in, read-only table of actuator families and the pure helpers that
// turn identification registers into model codes and display texts.
namespace ActuatorCatalogue {

// Built on first use and kept until the program ends.
const QVector<ActuatorFamily> &families();

const ActuatorFamily *findFamilyByCode(quint16 code);
const ActuatorFamily *findFamilyByName(const QString &name);
const ActuatorSpec *findSpec(const QString &familyName, int size);

// ident: family code, size, raw lead, stroke; options: motor direction word.
// Empty when any of them does not match the catalogue.
QString buildModelCode(const QVector<quint16> &ident, const QVector<quint16> &options);

// Equality of two leads within a relative 1e-12, the comparison the catalogue uses.
bool leadsEqual(double a, double b);

// Screw lead register: 1 to 9 are millimetres, above 9 tenths of a millimetre.
double leadFromRaw(quint16 raw);

// Lead as written after "L" in a model code: "01", "10", "20", "2.5".
QString leadText(double lead);

// Motor direction word: 0 "BC", 1 "BA", anything else empty.
QString optionText(quint16 word);

// ASCII text of version registers: low byte then high byte of each word, zero bytes skipped.
QString registerText(const QVector<quint16> &words);

// Logic version register as shown in the scan table: 0x4103 "A3", 0 "—", otherwise "?".
QString logicVersionText(quint16 logicVersion);

// Scan table station cell: 10 gives "0X000A (10)".
QString scanStationText(int station);

// Selected station label: 3 gives "SELECTED ID: 0X03 (3)".
QString selectedStationText(int station);

}  // namespace ActuatorCatalogue
