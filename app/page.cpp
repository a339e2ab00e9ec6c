#include "page.h"

#include "activedrive.h"
#include "dictionary.h"
#include "numericentry.h"

#include <QFormLayout>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

namespace {

const QString LampOff = QStringLiteral("background-color:#d1d5db;border-radius:8px;border:1px solid #9ca3af;");
const QString LampAlarm = QStringLiteral("background-color:#ef4444;border-radius:8px;border:1px solid #b91c1c;");
const QString LampWaiting = QStringLiteral("background-color:#f59e0b;border-radius:8px;border:1px solid #b45309;");
const QString LampOn = QStringLiteral("background-color:#10b981;border-radius:8px;border:1px solid #047857;");

constexpr double DegreesPerStep = 1.8;
// Thresholds below this angle are shown in red.
constexpr double SmallAngleDeg = 5.0;

// The label of the form row that holds box, directly or in a row's layout; empty when none.
QString formLabelOf(const QAbstractSpinBox *box)
{
    const QWidget *holder = box->parentWidget();
    if (!holder)
        return QString();
    auto *field = const_cast<QAbstractSpinBox *>(box);
    for (const QFormLayout *form : holder->findChildren<QFormLayout *>()) {
        for (int row = 0; row < form->rowCount(); ++row) {
            QLayoutItem *item = form->itemAt(row, QFormLayout::FieldRole);
            QLayoutItem *label = form->itemAt(row, QFormLayout::LabelRole);
            const bool holds = item && (item->widget() == field || (item->layout() && item->layout()->indexOf(field) >= 0));
            if (holds && label && qobject_cast<QLabel *>(label->widget()))
                return static_cast<QLabel *>(label->widget())->text();
        }
    }
    return QString();
}

}  // namespace

QSettings appSettings()
{
    return QSettings(QStringLiteral("Torvane"), QStringLiteral("TorvaneVexaElectricActuator"));
}

WindowPart::WindowPart(WindowContext &context)
    : QObject(context.window), ui(context.ui), drive(context.drive), m_context(context)
{
}

void Page::tabChanged(int)
{
}

bool Page::mayLeaveDrive()
{
    return true;
}

ModbusWorker *WindowPart::worker() const
{
    return drive->worker();
}

QString WindowPart::text(const QString &key) const
{
    return translateKey(key, m_context.lang);
}

void WindowPart::showStatus(const QString &message) const
{
    m_context.window->statusBar()->showMessage(message);
}

void WindowPart::setLed(QLabel *label, bool on, bool alarm)
{
    label->setStyleSheet(!on ? LampOff : (alarm ? LampAlarm : LampOn));
}

void WindowPart::setLedWaiting(QLabel *label)
{
    label->setStyleSheet(LampWaiting);
}

void WindowPart::showThresholdAngle(QLabel *label, qint64 steps)
{
    if (steps < 0) {
        label->setText(QStringLiteral("---"));
        label->setStyleSheet(QStringLiteral("color:#94a3b8;"));
        return;
    }
    const double angle = static_cast<quint16>(steps) * DegreesPerStep;
    label->setText(QStringLiteral(" = %1°").arg(angle, 0, 'f', 1));
    label->setStyleSheet(angle < SmallAngleDeg ? QStringLiteral("color:#dc2626;font-weight:bold;") : QString());
}

bool WindowPart::entryAccepted(const QAbstractSpinBox *box, QString parameter) const
{
    if (!box || box->hasAcceptableInput())
        return true;
    if (parameter.isEmpty())
        parameter = formLabelOf(box);
    if (parameter.isEmpty())
        parameter = box->objectName();
    // Names end in a colon on some labels; the message adds its own.
    parameter = parameter.trimmed();
    while (parameter.endsWith(QLatin1Char(':')) || parameter.endsWith(QChar(0xFF1A)))
        parameter.chop(1);
    showStatus(text(QStringLiteral("entry_refused")).arg(parameter, NumericEntry::rangeText(box, lang())));
    return false;
}

bool WindowPart::askYesNo(const QString &title, const QString &question) const
{
    return dialogs().message(QMessageBox::Question, title, question, QMessageBox::Yes | QMessageBox::No,
                             QMessageBox::No)
           == QMessageBox::Yes;
}

void WindowPart::showWriteFailed(const QString &zh, const QString &en) const
{
    dialogs().message(QMessageBox::Warning, chinese() ? QStringLiteral("寫入失敗") : QStringLiteral("Write Failed"),
                      chinese() ? zh : en);
}
