#pragma once

#include "cmptask.h"
#include "fileoutput.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

#include <optional>

struct ActuatorFamily;
struct ActuatorSpec;

// Every input of the product-configuration form that shapes the expected
// register block. Defaults are the form's start values (family LXA, size 16,
// lead 1 mm, stroke 30 mm).
struct ProductConfig
{
    int familyCode = 0;          // 0..6 of the checked family button
    int size = 16;               // mm, the checked size button
    double lead = 1.0;           // mm, the checked lead button (1.0 when none is checked)
    int stroke = 30;             // mm, the product identity's stroke
    int ratedCurrent = 100;      // 0.01 A, of the catalogue entry for family and size

    int ppr = 1000;              // pulses per revolution
    int speed = 30000;           // 0.01 rpm
    double dynErrMm = 0.125;
    double staErrMm = 0.1;
    double posWarnMm = 0.075;

    bool motorDirCcw = false;    // rb_Dir_CCW checked
    int tqMode = 1;              // 0..2, high byte of the torque word
    int tqForce = 85;            // 34..170, low byte of the torque word
    int tqSpeed = 5;             // mm/s
    bool execDirForward = false; // rb_ExecDir_0 checked
    int execOffset = 500;        // pulses

    int accel = 200;             // position 0, ms
    int decel = 200;
    int posSpeed = 150000;       // position 0, 0.01 rpm
    int pos0 = 0;                // position 0, pulses
    int pos1Accel = 200;
    int pos1Decel = 200;
    int pos1Speed = 150000;
    int pos1Pos = 30000;

    bool pos0PushEnable = false;
    bool pos1PushEnable = false;
    int pos0PushTorque = 30;     // percent
    int pos1PushTorque = 30;
};

// The form's values that follow a lead choice: pulses, speeds and thresholds.
void applyLeadDefaults(ProductConfig &config, double lead);
// The form's values that follow a stroke choice: the stroke and both positions.
void applyStrokeDefaults(ProductConfig &config, int stroke);

// Threshold in encoder steps (200 per revolution), rounded half away from zero.
quint16 thresholdSteps(double mm, double lead);
quint16 torqueModeWord(int mode, int force);
quint16 execTorqueWord(bool forward, int offsetPulses);
// Push torque percent as the drive's force byte, clamped to 20..70 percent.
quint8 forceByte(int percent);

// Patches of one compare task, by row index. Out-of-range indices and tasks
// whose expected data is too short for the patch are left alone; device data
// and status never change.
void setTaskWord(QVector<CmpTask> &tasks, int index, quint16 value);
void setTaskDword(QVector<CmpTask> &tasks, int index, quint32 value);
void setTaskByteChoice(QVector<CmpTask> &tasks, int index, bool flag, quint8 whenSet, quint8 otherwise);
void setTaskForceByte(QVector<CmpTask> &tasks, int index, int percent);

// Writes the configuration into the template rows it governs, addressed by
// their template row index, in the order the form's patches are defined.
void patchExpectedData(QVector<CmpTask> &tasks, const ProductConfig &config);

// The register listing: one "01 AA AA WW WW BB DD ..." line per task.
QString registerListing(const QVector<CmpTask> &tasks);
// Writes the listing whole or not at all; the error says why it could not.
FileError saveRegisterListing(const QString &path, const QVector<CmpTask> &tasks);

// The form's choices and the catalogue.
struct FamilyChoice
{
    int code;
    const char *caption;        // "LXA(0)"
    const char *catalogueName;  // "LXAZ"
};
const QVector<FamilyChoice> &familyChoices();
// Catalogue name of a family button; "LXAZ" for an unknown code.
QString familyNameForCode(int code);
const QVector<int> &formSizes();
const QVector<double> &formLeads();
const QVector<int> &formStrokes();

// Size buttons to show for a family: those of its specs, in form order.
QVector<int> sizeChoices(const ActuatorFamily &family);
// The size to keep: the current one when shown, else the first shown, else unchanged.
int chooseSize(int current, const QVector<int> &shown);
// Rated current in 0.01 A, 100 without a catalogue entry.
int ratedCurrentOf(const ActuatorSpec *entry);
// Lead buttons to show; none when the lead choices are to stay as they are.
std::optional<QVector<double>> leadChoices(const ActuatorSpec *entry);

struct StrokeChoices
{
    bool range = false;   // the combo box page instead of the buttons
    QVector<int> values;  // combo items, or the stroke buttons to show
};
StrokeChoices strokeChoices(const ActuatorSpec *entry);
// The combo item to select after a refill: the last with the remembered stroke, else 0.
int rangeStrokeIndex(const QVector<int> &items, int remembered);

// Jog speed limit (mm/s) that follows a lead change.
int jogSpeedLimit(bool connected, const QString &familyName, int size, double lead);
