#pragma once

#include "fileoutput.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class QIODevice;

// The JSON parameter file: what an export writes and the checks and rules an
// import applies. Plain functions over plain values, so the window and vexa-cli
// read and write the same files. Texts for the operator are Chinese when the
// language code is exactly "zh", English otherwise.
namespace ParamFile {

constexpr int FormatVersion = 1;

// What a file dialog offers when it asks for a parameter file.
inline const QString DialogFilter = QStringLiteral("JSON Files (*.json);;All Files (*)");

// The two current limits share register 0x000E (low byte idle, high byte
// minimum running current); they are in the file but not parameter rows.
constexpr int IdleCurrentMin = 30;  // percent
constexpr int IdleCurrentMax = 70;
constexpr int RunCurrentMin = 30;
constexpr int RunCurrentMax = 100;

// A product identity: the drive a file was exported from, or the connected
// drive a file is loaded into.
struct Identity
{
    QString family;
    int size = 0;
    double lead = 0.0;         // mm per revolution; 0 when a file does not say
    int stroke = 0;            // mm
    QString direction;         // the model code after its last "-"
    QString modelStr;          // the model code
    quint16 logicVersion = 0;
    QString firmware;
    QString hardware;
};

// The direction text of a model code: the part after its last "-", the whole
// code when it has none.
QString directionOf(const QString &modelCode);

// What an export writes, values in the units the screen shows, each with the
// decimals that give back the drive's register value (a torque code between
// two whole percents keeps its fraction).
struct Content
{
    Identity identity;
    QMap<QString, double> values;  // keys of integerKeys() and decimalKeys()
    bool pos0PushEnable = false;
    bool pos1PushEnable = false;
    QDateTime exportTime;
    QString swVersion;
};

// Keys of whole numbers (a fraction only where the drive holds one), and of
// numbers with decimals. "posWarn" came later: older files lack it.
const QStringList &integerKeys();
const QStringList &decimalKeys();
// Every value key, in the order an import applies them.
const QStringList &applyOrder();
bool isIntegerKey(const QString &key);

// Two numbers differ beyond a relative 1e-12 (the test for leads and clamps).
bool differs(double a, double b);

QJsonObject toJson(const Content &content);
// The indented JSON text of a file (keys in alphabetical order).
QByteArray toFileText(const Content &content);

// An export is about 1 KB; a file far larger is not a parameter file and is
// refused before it is read whole (a device node would never end).
constexpr qint64 MaxFileBytes = 1024 * 1024;
// Reads an opened file whole; false, with text holding only its start, when
// it holds more than MaxFileBytes.
bool readLimited(QIODevice &file, QByteArray *text);
QString tooLargeMessage(const QString &path, const QString &lang);

// Replaces the file at path by text only when all of it was written: on any
// failure an existing file stays as it was and the error says why.
FileError saveFile(const QString &path, const QByteArray &text);

// A file's text turned into its root object, or the reason it cannot be
// loaded: not JSON, not an object, or a format newer than this program knows.
struct Parsed
{
    bool ok = false;
    QJsonObject root;
    QString error;
};
Parsed parse(const QByteArray &text, const QString &lang);

// The identity a file records; missing numbers are 0, missing texts empty.
Identity identityOf(const QJsonObject &root);
QString exportTimeOf(const QJsonObject &root);

// Differences between a file and the connected drive. Blocking ones refuse
// the file; the others need the operator's consent. Each line names the
// file's value first and the drive's second.
struct Compatibility
{
    QStringList blocking;
    QStringList other;     // includes the direction line
    QString reversed;      // the direction line when the directions differ; empty otherwise
};
// The designed rule of an import to the screen: only a file that records a
// lead above 0 is checked; others (older files) pass unchecked.
Compatibility checkCompatibility(const QJsonObject &root, const Identity &drive, const QString &lang);
// Every recorded field compared, whether the file records a lead or not.
Compatibility compareIdentity(const QJsonObject &root, const Identity &drive, const QString &lang);

// The rule for writing a file into a drive: the file must name the product
// it is for. The identity fields it lacks ("family", "size", "stroke",
// "lead"); empty when it records all four.
QStringList missingIdentity(const QJsonObject &root);
// compareIdentity, with a line for the missing fields first among the
// blocking ones; the direction is left in `reversed` only (the caller decides).
Compatibility checkWriteCompatibility(const QJsonObject &root, const Identity &drive, const QString &lang);

// Why the values of a file cannot be used: it holds no parameter key at all,
// or a parameter key whose value has the wrong type (named). Empty when fine.
QString contentProblem(const QJsonObject &root, const QString &lang);

// A parameter file read from path and checked: a regular file within
// MaxFileBytes, JSON of a known format, holding parameters (contentProblem).
// The reason, naming the file, in error when it cannot be used.
Parsed load(const QString &path, const QString &lang);

QString blockedMessage(const Compatibility &compatibility, const QString &fileModel, const QString &lang);
QString mismatchQuestion(const Compatibility &compatibility, const QString &lang);

// One value of a file on its way into a value box with the given range.
struct Loaded
{
    enum class Outcome { Missing, TypeError, Applied };
    Outcome outcome = Outcome::Missing;
    double value = 0.0;  // what the box is set to, when applied
    QString clampLine;   // "key (file→applied)" when the applied value differs from the file's
};
// Any number, fractions kept (a parameter row converts it to its register value).
Loaded loadDecimal(const QJsonObject &root, const QString &key, double minimum, double maximum);
// A number with a fraction is rounded to the nearest integer, then clamped;
// either change gives a clamp line.
Loaded loadInteger(const QJsonObject &root, const QString &key, int minimum, int maximum);
// Applied values are 1 (true) or 0 (false).
Loaded loadBoolean(const QJsonObject &root, const QString &key);

// The warning listing skipped keys and adjusted values; empty when there are none.
QString importWarning(const QStringList &typeErrors, const QStringList &clampLines, const QString &lang);
// The warning for a loaded Position 1 that is not below Position 2.
QString positionOrderWarning(double pos0, double pos1, const QString &lang);
QString importedMessage(const QString &fileModel, const QString &exportTime, const QString &lang);

}  // namespace ParamFile
