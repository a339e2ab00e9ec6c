// Engineering tab, left half: the product configuration form and the expected
// register block it shapes in the compare table.

#include "productform.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "actuatorcatalogue.h"
#include "cmpmanager.h"
#include "customsettings.h"
#include "deviceinfo.h"
#include "paramconversions.h"
#include "productconfig.h"

#include <QDir>
#include <QGridLayout>
#include <QScopedValueRollback>
#include <QSignalBlocker>

#include <algorithm>
#include <utility>

namespace {

template <typename Value> using Choices = QVector<std::pair<QRadioButton *, Value>>;

Choices<int> familyButtons(const Ui::MainWindow *ui)
{
    return {{ui->rb_Model_LXA, 0},  {ui->rb_Model_LXB, 1}, {ui->rb_Model_LXC2, 2}, {ui->rb_Model_LXD2, 3},
            {ui->rb_Model_LXE2, 4}, {ui->rb_Model_LXF, 5}, {ui->rb_Model_LXG, 6}};
}

Choices<int> sizeButtons(const Ui::MainWindow *ui)
{
    return {{ui->rb_Size_16, 16}, {ui->rb_Size_20, 20}, {ui->rb_Size_25, 25}, {ui->rb_Size_32, 32},
            {ui->rb_Size_40, 40}, {ui->rb_Size_50, 50}, {ui->rb_Size_63, 63}, {ui->rb_Size_80, 80}};
}

Choices<double> leadButtons(const Ui::MainWindow *ui)
{
    return {{ui->rb_Lead_1, 1.0}, {ui->rb_Lead_1_5, 1.5}, {ui->rb_Lead_2, 2.0}, {ui->rb_Lead_5, 5.0},
            {ui->rb_Lead_8, 8.0}, {ui->rb_Lead_10, 10.0}, {ui->rb_Lead_20, 20.0}};
}

Choices<int> strokeButtons(const Ui::MainWindow *ui)
{
    return {{ui->rb_Stroke_20, 20}, {ui->rb_Stroke_30, 30}, {ui->rb_Stroke_40, 40},
            {ui->rb_Stroke_50, 50}, {ui->rb_Stroke_75, 75}, {ui->rb_Stroke_100, 100}};
}

// The value of the first checked button, in the order given.
template <typename Value> Value checkedValue(const Choices<Value> &choices, Value none)
{
    for (const auto &[button, value] : choices) {
        if (button->isChecked())
            return value;
    }
    return none;
}

// An exclusive group does not let its checked button go unchecked by itself.
void uncheck(QButtonGroup *group, QAbstractButton *button)
{
    group->setExclusive(false);
    button->setChecked(false);
    group->setExclusive(true);
}

// Hidden choices would leave holes in their grid: the shown ones close up in
// order, the hidden ones go behind them.
template <typename Value> void packChoices(QGridLayout *grid, const Choices<Value> &choices)
{
    const int columns = std::max(1, grid->columnCount());
    for (const auto &[button, value] : choices)
        grid->removeWidget(button);
    int slot = 0;
    for (bool hidden : {false, true}) {
        for (const auto &[button, value] : choices) {
            if (button->isHidden() == hidden) {
                grid->addWidget(button, slot / columns, slot % columns);
                ++slot;
            }
        }
    }
}

constexpr double FormThresholdMaxMm = 5.0;

}  // namespace

ProductForm::ProductForm(WindowContext &context, CmpManager *cmpManager)
    : WindowPart(context), m_cmpManager(cmpManager)
{
    // Every signal below is either the operator's change of the form, which
    // lets the form's block replace an imported listing, or a refresh.
    const auto update = [this] {
        releaseListingOnEdit();
        updateExpectedData();
    };
    for (const auto &[button, code] : familyButtons(ui))
        connect(button, &QRadioButton::toggled, this, update);
    for (const auto &[button, size] : sizeButtons(ui))
        connect(button, &QRadioButton::toggled, this, update);
    for (QRadioButton *button : {ui->rb_Dir_CW, ui->rb_Dir_CCW, ui->rb_ExecDir_0, ui->rb_ExecDir_1})
        connect(button, &QRadioButton::toggled, this, update);
    for (QCheckBox *box : {ui->gen_Pos0PushEnable, ui->gen_Pos1PushEnable})
        connect(box, &QCheckBox::toggled, this, update);
    for (QSpinBox *box : {ui->gen_PPR, ui->gen_Speed, ui->gen_TqMode, ui->gen_TqForce, ui->gen_TqSpeed,
                          ui->gen_ExecOffset, ui->gen_Accel, ui->gen_Decel, ui->gen_PosSpeed, ui->gen_Pos0,
                          ui->gen_Pos1Accel, ui->gen_Pos1Decel, ui->gen_Pos1Speed, ui->gen_Pos1Pos,
                          ui->gen_Pos0PushTorque, ui->gen_Pos1PushTorque})
        connect(box, qOverload<int>(&QSpinBox::valueChanged), this, update);

    const auto leadChanged = [this] {
        releaseListingOnEdit();
        onLeadChanged();
    };
    const auto strokeChanged = [this] {
        releaseListingOnEdit();
        onStrokeChanged();
    };
    for (const auto &[button, lead] : leadButtons(ui))
        connect(button, &QRadioButton::toggled, this, leadChanged);
    for (const auto &[button, stroke] : strokeButtons(ui))
        connect(button, &QRadioButton::toggled, this, strokeChanged);
    connect(ui->comboStrokeRange, qOverload<int>(&QComboBox::currentIndexChanged), this, strokeChanged);

    for (QDoubleSpinBox *box : {ui->spinDynErrMm, ui->spinStaErrMm, ui->spinPosWarnMm})
        connect(box, qOverload<double>(&QDoubleSpinBox::valueChanged), this, [this] {
            releaseListingOnEdit();
            refreshFormThresholdAngles();
            updateExpectedData();
        });

    connect(ui->btnExp, &QPushButton::clicked, this, &ProductForm::exportGenParams);
    connect(ui->gen_SmoothMs, qOverload<int>(&QSpinBox::valueChanged), this, &ProductForm::showSmoothingConstant);
    showSmoothingConstant();
}

void ProductForm::retranslate()
{
    showSmoothingConstant();
}

void ProductForm::showDrive(const DeviceInfo &info)
{
    refreshFormThresholdAngles();
    formFamily = info.family;
    formSize = info.size;
    formStroke = info.stroke;
    refreshChoices();
}

void ProductForm::applyDefaults()
{
    onLeadChanged();
    onStrokeChanged();
}

void ProductForm::refreshChoices()
{
    refreshLeadChoices();
    refreshStrokeChoices();
}

double ProductForm::checkedFormLead() const
{
    return checkedValue(leadButtons(ui), 0.0);
}

int ProductForm::checkedFormStroke() const
{
    return checkedValue(strokeButtons(ui), 50);
}

ProductConfig ProductForm::formConfig() const
{
    ProductConfig c;
    c.familyCode = checkedValue(familyButtons(ui), 0);
    c.size = checkedValue(sizeButtons(ui), 16);
    const double lead = checkedFormLead();
    c.lead = lead > 0.0 ? lead : 1.0;
    c.stroke = formStroke;
    // The family and size the block declares, so its current row matches them.
    c.ratedCurrent = ratedCurrentOf(ActuatorCatalogue::findSpec(familyNameForCode(c.familyCode), c.size));

    c.ppr = ui->gen_PPR->value();
    c.speed = ui->gen_Speed->value();
    c.dynErrMm = ui->spinDynErrMm->value();
    c.staErrMm = ui->spinStaErrMm->value();
    c.posWarnMm = ui->spinPosWarnMm->value();

    c.motorDirCcw = !ui->rb_Dir_CW->isChecked();
    c.tqMode = ui->gen_TqMode->value();
    c.tqForce = ui->gen_TqForce->value();
    c.tqSpeed = ui->gen_TqSpeed->value();
    c.execDirForward = ui->rb_ExecDir_0->isChecked();
    c.execOffset = ui->gen_ExecOffset->value();

    c.accel = ui->gen_Accel->value();
    c.decel = ui->gen_Decel->value();
    c.posSpeed = ui->gen_PosSpeed->value();
    c.pos0 = ui->gen_Pos0->value();
    c.pos1Accel = ui->gen_Pos1Accel->value();
    c.pos1Decel = ui->gen_Pos1Decel->value();
    c.pos1Speed = ui->gen_Pos1Speed->value();
    c.pos1Pos = ui->gen_Pos1Pos->value();

    c.pos0PushEnable = ui->gen_Pos0PushEnable->isChecked();
    c.pos1PushEnable = ui->gen_Pos1PushEnable->isChecked();
    c.pos0PushTorque = ui->gen_Pos0PushTorque->value();
    c.pos1PushTorque = ui->gen_Pos1PushTorque->value();
    return c;
}

bool ProductForm::entriesAccepted() const
{
    // The rows hold the form's last accepted values: a box still showing
    // something else would have them written as if it were typed.
    if (!m_cmpManager->listingName().isEmpty())
        return true;
    for (const QAbstractSpinBox *box : ui->groupBox_engLeft->findChildren<QAbstractSpinBox *>()) {
        if (!entryAccepted(box))
            return false;
    }
    return true;
}

void ProductForm::updateExpectedData()
{
    if (updatingExpectedData)
        return;
    const QScopedValueRollback<bool> busy(updatingExpectedData, true);

    if (ui->mainTabs->currentIndex() == EngineeringTab || !drive->isConnected()) {
        formFamily = familyNameForCode(checkedValue(familyButtons(ui), 0));
        formSize = checkedValue(sizeButtons(ui), 16);
        if (const ActuatorFamily *family = ActuatorCatalogue::findFamilyByName(formFamily)) {
            const QVector<int> shown = sizeChoices(*family);
            for (const auto &[button, size] : sizeButtons(ui))
                button->setVisible(shown.contains(size));
            packChoices(ui->gridLayout_size, sizeButtons(ui));
            const int size = chooseSize(formSize, shown);
            if (size != formSize) {
                for (const auto &[button, value] : sizeButtons(ui)) {
                    if (value == size)
                        button->setChecked(true);
                }
                formSize = size;
            }
            const int rated = ratedCurrentOf(ActuatorCatalogue::findSpec(formFamily, formSize));
            ui->lblRatedCurrent->setText(QStringLiteral("%1 A").arg(rated / 100.0, 0, 'f', 1));
        }
        // Without a drive the catalogue knows, the form stands in for it.
        drive->describeFamily(formFamily, formSize);
        refreshLeadChoices();
        refreshStrokeChoices();
    }
    m_cmpManager->applyProductConfig(formConfig());
}

void ProductForm::releaseListingOnEdit()
{
    // Refreshes and the form's own follow-up changes are not edits.
    if (!updatingExpectedData && !refreshingForm)
        m_cmpManager->releaseListing();
}

void ProductForm::refreshFormThresholdAngles()
{
    // The angles read at the product identity's lead (the connected drive's).
    const double lead = drive->product().lead;
    const auto steps = [lead](const QDoubleSpinBox *box) { return lead > 0 ? thresholdSteps(box->value(), lead) : -1; };
    showThresholdAngle(ui->lbl_DynErrThreshold, steps(ui->spinDynErrMm));
    showThresholdAngle(ui->lbl_StaErrThreshold, steps(ui->spinStaErrMm));
    showThresholdAngle(ui->lbl_PosWarnThreshold, steps(ui->spinPosWarnMm));
}

void ProductForm::onLeadChanged()
{
    const double lead = checkedFormLead();
    if (lead <= 0.0)
        return;

    ProductConfig defaults;
    applyLeadDefaults(defaults, lead);
    {
        const QSignalBlocker ppr(ui->gen_PPR), speed(ui->gen_Speed), pos0Speed(ui->gen_PosSpeed),
            pos1Speed(ui->gen_Pos1Speed);
        ui->gen_PPR->setValue(defaults.ppr);
        ui->gen_Speed->setValue(defaults.speed);
        ui->gen_PosSpeed->setValue(defaults.posSpeed);
        ui->gen_Pos1Speed->setValue(defaults.pos1Speed);
    }
    // The thresholds as exact steps of this lead (0.125 mm at lead 1 is 25 steps, not 0.13 mm).
    applyFormThresholdStep(lead);
    {
        const QSignalBlocker dyn(ui->spinDynErrMm), sta(ui->spinStaErrMm), warn(ui->spinPosWarnMm);
        ui->spinDynErrMm->setValue(defaults.dynErrMm);
        ui->spinStaErrMm->setValue(defaults.staErrMm);
        ui->spinPosWarnMm->setValue(defaults.posWarnMm);
    }
    refreshFormThresholdAngles();

    // A drive the catalogue knows keeps its own lead, conversions, jog limit
    // and threshold boxes: the form only describes the block.
    drive->describeLead(lead);
    updateExpectedData();
}

void ProductForm::onStrokeChanged()
{
    int stroke = checkedFormStroke();
    if (ui->strokeStack->currentIndex() == 1) {
        bool ok = false;
        const int ranged = ui->comboStrokeRange->currentData().toInt(&ok);
        if (ok && ranged >= 1)
            stroke = ranged;
    }
    formStroke = stroke;
    drive->describeStroke(stroke);

    ProductConfig defaults;
    applyStrokeDefaults(defaults, stroke);
    {
        const QSignalBlocker pos0(ui->gen_Pos0), pos1(ui->gen_Pos1Pos);
        ui->gen_Pos0->setValue(defaults.pos0);
        ui->gen_Pos1Pos->setValue(defaults.pos1Pos);
    }
    ui->lbl_SoftLimitCCW->setText(QStringLiteral("0"));
    ui->lbl_SoftLimitCW->setText(QString::number(qint64(stroke) * 1000));
    updateExpectedData();
}

void ProductForm::applyFormThresholdStep(double lead)
{
    if (!(lead > 0))
        return;
    const double step = ParamConv::stepsToErrorMm(1, lead);
    for (QDoubleSpinBox *box : {ui->spinDynErrMm, ui->spinStaErrMm, ui->spinPosWarnMm}) {
        const QSignalBlocker block(box);
        box->setDecimals(ParamConv::thresholdDecimals(lead));
        box->setRange(step, FormThresholdMaxMm);
        box->setSingleStep(step);
    }
}

void ProductForm::refreshLeadChoices()
{
    const QScopedValueRollback<bool> refreshing(refreshingForm, true);
    const std::optional<QVector<double>> shown = leadChoices(ActuatorCatalogue::findSpec(formFamily, formSize));
    if (!shown)
        return;
    for (const auto &[button, lead] : leadButtons(ui)) {
        button->setVisible(std::any_of(shown->cbegin(), shown->cend(),
                                       [lead = lead](double offered) { return ActuatorCatalogue::leadsEqual(offered, lead); }));
    }
    packChoices(ui->gridLayout_lead, leadButtons(ui));
    // A lead the product cannot have is replaced by the first offered one. Only
    // the choice hides a button: a form that is merely off screen keeps its lead.
    QAbstractButton *checked = ui->grpLead->checkedButton();
    if (!checked || !checked->isHidden())
        return;
    uncheck(ui->grpLead, checked);
    const QList<QAbstractButton *> buttons = ui->grpLead->buttons();
    for (QAbstractButton *button : buttons) {
        if (!button->isHidden()) {
            button->setChecked(true);
            return;
        }
    }
}

void ProductForm::refreshStrokeChoices()
{
    const QScopedValueRollback<bool> refreshing(refreshingForm, true);
    const StrokeChoices choices = strokeChoices(ActuatorCatalogue::findSpec(formFamily, formSize));
    if (choices.range) {
        ui->strokeStack->setCurrentIndex(1);
        const int remembered = ui->comboStrokeRange->currentData().toInt();
        {
            const QSignalBlocker blocker(ui->comboStrokeRange);
            ui->comboStrokeRange->clear();
            for (int stroke : choices.values)
                ui->comboStrokeRange->addItem(QStringLiteral("%1 mm").arg(stroke), stroke);
            // The stroke in use stays on show; the remembered one only stands in for it.
            const bool offered = choices.values.contains(formStroke);
            ui->comboStrokeRange->setCurrentIndex(
                rangeStrokeIndex(choices.values, offered ? formStroke : remembered));
        }
        // A stroke the product cannot have gives way to the one on show.
        if (!choices.values.isEmpty() && ui->comboStrokeRange->currentData().toInt() != formStroke)
            onStrokeChanged();
        return;
    }

    ui->strokeStack->setCurrentIndex(0);
    for (const auto &[button, stroke] : strokeButtons(ui))
        button->setVisible(choices.values.contains(stroke));
    packChoices(ui->gridLayout_stroke, strokeButtons(ui));
    if (choices.values.isEmpty())
        return;
    // The button of the stroke in use is the one checked; when the product
    // cannot have that stroke, the first offered one replaces it.
    const int shownStroke = choices.values.contains(formStroke) ? formStroke : choices.values.first();
    for (const auto &[button, stroke] : strokeButtons(ui)) {
        if (stroke != shownStroke)
            continue;
        if (!button->isChecked())
            button->setChecked(true);
        else if (formStroke != shownStroke)
            onStrokeChanged();
    }
}

void ProductForm::showSmoothingConstant()
{
    const int constant = CustomSettings::smoothingConstant(ui->gen_SmoothMs->value());
    const int actual = CustomSettings::actualSmoothingMs(constant);
    ui->lblGenSmoothConst->setText((chinese() ? QStringLiteral("→ 常數 %1（實際 %2 ms）")
                                                                      : QStringLiteral("→ const %1 (actual %2 ms)"))
                                       .arg(constant)
                                       .arg(actual));
}

void ProductForm::exportGenParams()
{
    const QString path = dialogs().saveFileName(QStringLiteral("Save Params"), QStringLiteral("modbus_params.txt"),
                                                 QStringLiteral("Text Files (*.txt)"));
    if (path.isEmpty())
        return;
    const FileError error = saveRegisterListing(path, m_cmpManager->tasks());
    if (!error.failed()) {
        showStatus(
            text(QStringLiteral("status_exported")).arg(QDir::toNativeSeparators(path)));
        return;
    }
    const bool zh = chinese();
    dialogs().message(QMessageBox::Critical, zh ? QStringLiteral("匯出失敗") : QStringLiteral("Export Failed"),
                       (zh ? QStringLiteral("無法寫入 %1：\n%2") : QStringLiteral("Cannot write %1:\n%2"))
                           .arg(QDir::toNativeSeparators(path), error.reason(lang())));
}
