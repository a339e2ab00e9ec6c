// Motion and Advanced tabs: rows whose box differs from the drive are marked,
// and values written to the drive but not yet saved to its ROM are announced
// and asked about before the drive is left.

#include "paramspage.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "eventlog.h"
#include "paramdiff.h"
#include "parambinder.h"

#include <QFrame>
#include <QLabel>
#include <QSpinBox>

namespace {

const char *const CleanStyleProperty = "cleanStyleSheet";
const char *const CleanTipProperty = "cleanToolTip";
const QString UnsavedBadgeStyle = QStringLiteral(
    "background-color:#f59e0b; color:#1f2937; font-weight:bold; border-radius:4px; padding:2px 8px;");

void rememberCleanLook(QWidget *widget)
{
    if (widget->property(CleanStyleProperty).isValid())
        return;
    widget->setProperty(CleanStyleProperty, widget->styleSheet());
    widget->setProperty(CleanTipProperty, widget->toolTip());
}

void restoreCleanLook(QWidget *widget)
{
    widget->setStyleSheet(widget->property(CleanStyleProperty).toString());
    widget->setToolTip(widget->property(CleanTipProperty).toString());
}

// A coloured edge on the row's card (a frame all round, a title on its left)
// and the drive's value in the tool tips of the card and the value box; clean
// gives both back their own look.
void markRow(QWidget *card, QWidget *box, bool dirty, const QString &tip)
{
    for (QWidget *widget : {card, box}) {
        rememberCleanLook(widget);
        if (!dirty) {
            restoreCleanLook(widget);
            continue;
        }
        widget->setToolTip(tip);
    }
    if (!dirty)
        return;
    const QString clean = card->property(CleanStyleProperty).toString();
    // By name, so the edge is the card's own and not its children's.
    const QString selector = QLatin1Char('#') + card->objectName();
    const QString base = clean.trimmed().isEmpty() || clean.contains(QLatin1Char('{'))
                             ? clean
                             : QStringLiteral("%1 { %2 }").arg(selector, clean);
    const QString edge = qobject_cast<QLabel *>(card)
                             // The long form: "border-left" alone is not drawn under the window's QWidget rule.
                             ? QStringLiteral("border-style: solid; border-width: 0 0 0 4px; border-color: #f59e0b;"
                                              " padding-left: 4px;")
                             : QStringLiteral("border: 2px solid #f59e0b; border-radius: 6px;");
    card->setStyleSheet(base + QStringLiteral(" %1 { %2 }").arg(selector, edge));
}

QWidget *valueBox(const ParamRow &row)
{
    return row.spinD ? static_cast<QWidget *>(row.spinD) : static_cast<QWidget *>(row.spin);
}

// frame_<key> where the row has one; else the frame its box sits in; else its title.
QWidget *rowCard(const QWidget *window, const QString &key, const ParamRow &row)
{
    if (auto *frame = window->findChild<QFrame *>(QStringLiteral("frame_") + key))
        return frame;
    QWidget *box = valueBox(row);
    // A label is a frame too, but never a row's card.
    auto *frame = box ? qobject_cast<QFrame *>(box->parentWidget()) : nullptr;
    if (frame && !qobject_cast<QLabel *>(frame))
        return frame;
    if (row.title)
        return row.title;
    return box;
}

}  // namespace

void ParamsPage::setupUnsavedTracking()
{
    lblUnsavedRom = new QLabel(ui->centralwidget);
    lblUnsavedRom->setObjectName(QStringLiteral("lblUnsavedRom"));
    lblUnsavedRom->setStyleSheet(UnsavedBadgeStyle);
    lblUnsavedRom->hide();
    // In the footer, so it shows on every tab; the header has no room for it.
    ui->horizontalLayout_3->insertWidget(ui->horizontalLayout_3->indexOf(ui->horizontalSpacer_footer) + 1,
                                         lblUnsavedRom);

    connect(binder, &ParamBinder::rowDirtyChanged, this, &ParamsPage::showRowDirty);
    connect(binder, &ParamBinder::parameterWritten, this, [this] { drive->setRomChangesPending(true); });
    connect(binder, &ParamBinder::parameterWriteTried, this,
            [this](const QString &key, bool oldKnown, quint32 oldRaw, quint32 newRaw, double lead, bool confirmed) {
                const QString unit = ParamDiff::unitOf(key);
                const QJsonValue old = oldKnown ? QJsonValue(EventLog::value(oldRaw, binder->shownText(key, oldRaw, lead), unit))
                                                : QJsonValue();
                const QJsonObject now = EventLog::value(newRaw, binder->shownText(key, newRaw, lead), unit);
                drive->events()->record(QStringLiteral("parameter write"), EventLog::writeFields(key, old, now, confirmed));
            });
    for (QSpinBox *box : {ui->spin_idleCurrent, ui->spin_runCurrent})
        connect(box, qOverload<int>(&QSpinBox::valueChanged), this, &ParamsPage::refreshCurrentLimitMarks);

    connect(drive, &ActiveDrive::romChangesPendingChanged, lblUnsavedRom, &QLabel::setVisible);
}

void ParamsPage::showRowDirty(const QString &key, bool dirty)
{
    const auto row = binder->rows().constFind(key);
    if (row == binder->rows().constEnd())
        return;
    QWidget *card = rowCard(window(), key, *row);
    QWidget *box = valueBox(*row);
    if (card && box)
        markRow(card, box, dirty,
                text(QStringLiteral("dirty_tip")).arg(binder->driveValueText(key)));
}

void ParamsPage::refreshCurrentLimitMarks()
{
    const struct
    {
        QLabel *title;
        QSpinBox *box;
        int driveByte;
    } rows[] = {
        {ui->lblTitle_idleCurrent, ui->spin_idleCurrent, driveCurrentWord & 0xFF},
        {ui->lblTitle_runCurrent, ui->spin_runCurrent, (driveCurrentWord >> 8) & 0xFF},
    };
    for (const auto &row : rows) {
        // The box holds the drive's byte within its range, as a read leaves it.
        const int shown = qBound(row.box->minimum(), row.driveByte, row.box->maximum());
        const bool dirty = driveCurrentWord >= 0 && row.box->value() != shown;
        markRow(row.title, row.box, dirty,
                text(QStringLiteral("dirty_tip")).arg(QStringLiteral("%1 %").arg(shown)));
    }
}

void ParamsPage::retranslateUnsavedMarks()
{
    lblUnsavedRom->setText(text(QStringLiteral("unsaved_rom")));
    for (auto it = binder->rows().constBegin(); it != binder->rows().constEnd(); ++it) {
        if (binder->model().isDirty(it.key()))
            showRowDirty(it.key(), true);
    }
    refreshCurrentLimitMarks();
}

bool ParamsPage::mayLeaveDrive()
{
    if (!drive->isConnected() || !drive->romChangesPending())
        return true;
    const QMessageBox::StandardButton answer = dialogs().message(
        QMessageBox::Warning, text(QStringLiteral("unsaved_title")),
        text(QStringLiteral("unsaved_question")),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard)
        return true;
    if (answer != QMessageBox::Save)
        return false;
    if (writeSaveCommand())
        return true;
    // Leaving now would lose the writes at the next power-off without a word.
    showSaveFailed();
    return false;
}
