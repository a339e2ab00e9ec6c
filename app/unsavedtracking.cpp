#include "unsavedtracking.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "eventlog.h"
#include "paramdiff.h"
#include "parambinder.h"
#include "registerport.h"
#include "registers.h"

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

}  // namespace

void markUnsavedRow(QWidget *card, QWidget *box, bool dirty, const QString &tip)
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

namespace {

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

UnsavedTracking::UnsavedTracking(WindowContext &context, ParamBinder *binder)
    : WindowPart(context), m_binder(binder), m_unsavedRom(new QLabel(ui->centralwidget))
{
    m_unsavedRom->setObjectName(QStringLiteral("lblUnsavedRom"));
    m_unsavedRom->setStyleSheet(UnsavedBadgeStyle);
    m_unsavedRom->hide();
    // In the footer, so it shows on every tab; the header has no room for it.
    ui->horizontalLayout_3->insertWidget(ui->horizontalLayout_3->indexOf(ui->horizontalSpacer_footer) + 1,
                                         m_unsavedRom);

    connect(binder, &ParamBinder::rowDirtyChanged, this, &UnsavedTracking::showRowDirty);
    connect(binder, &ParamBinder::parameterWritten, this, [this] { drive->setRomChangesPending(true); });
    connect(binder, &ParamBinder::parameterWriteTried, this,
            [this](const QString &key, bool oldKnown, quint32 oldRaw, quint32 newRaw, double lead, bool confirmed) {
                const QString unit = ParamDiff::unitOf(key);
                const QJsonValue old = oldKnown ? QJsonValue(EventLog::value(oldRaw, m_binder->shownText(key, oldRaw, lead), unit))
                                                : QJsonValue();
                const QJsonObject now = EventLog::value(newRaw, m_binder->shownText(key, newRaw, lead), unit);
                drive->events()->record(QStringLiteral("parameter write"), EventLog::writeFields(key, old, now, confirmed));
            });
    connect(drive, &ActiveDrive::romChangesPendingChanged, m_unsavedRom, &QLabel::setVisible);
}

void UnsavedTracking::showRowDirty(const QString &key, bool dirty)
{
    const auto row = m_binder->rows().constFind(key);
    if (row == m_binder->rows().constEnd())
        return;
    QWidget *card = rowCard(window(), key, *row);
    QWidget *box = valueBox(*row);
    if (card && box)
        markUnsavedRow(card, box, dirty, text(QStringLiteral("dirty_tip")).arg(m_binder->driveValueText(key)));
}

void UnsavedTracking::retranslate()
{
    m_unsavedRom->setText(text(QStringLiteral("unsaved_rom")));
    for (auto it = m_binder->rows().constBegin(); it != m_binder->rows().constEnd(); ++it) {
        if (m_binder->model().isDirty(it.key()))
            showRowDirty(it.key(), true);
    }
}

bool UnsavedTracking::mayLeaveDrive()
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
    if (saveToRom())
        return true;
    // Leaving now would lose the writes at the next power-off without a word.
    showSaveFailed();
    return false;
}

bool UnsavedTracking::saveToRom()
{
    bool saved = false;
    {
        const ActiveDrive::PollingPause pause(drive);
        saved = drive->registers().write(Reg::StoreCommand, Reg::StoreValue::SaveToRom);
    }
    drive->events()->record(QStringLiteral("save to ROM"), {{QStringLiteral("result"), EventLog::resultOf(saved)}});
    if (saved)
        drive->setRomChangesPending(false);
    return saved;
}

void UnsavedTracking::showSaveFailed()
{
    const bool zh = chinese();
    dialogs().message(QMessageBox::Warning, zh ? QStringLiteral("保存失敗") : QStringLiteral("Save Failed"),
                      text(QStringLiteral("err_connect_fail"))
                          + (zh ? QStringLiteral("設備未確認保存指令。")
                                : QStringLiteral("the device did not confirm the save command.")));
}
