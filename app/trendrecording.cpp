// Monitor tab: the live trend of position, current and tracking error, and the
// recorder that writes every state to a CSV file.

#include "trendrecording.h"
#include "ui_mainwindow.h"

#include "activedrive.h"
#include "actuatorcatalogue.h"
#include "staterecorder.h"
#include "trendchart.h"

#include <QDateTime>
#include <QDir>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardPaths>

namespace {

// The actuator illustration's pixels, and the width it is shown at beside the chart:
// narrow enough that the tab needs no sideways scrolling at the window's widest,
// also with a vertical scroll bar and a little wider text.
const QSize IllustrationSize(520, 170);
constexpr int IllustrationWidth = 320;

}  // namespace

TrendRecording::TrendRecording(WindowContext &context) : WindowPart(context)
{
    trendChart = new TrendChart(ui->tabOperation);
    stateRecorder = new StateRecorder(this);
    // The chart takes the illustration's place under the left column's
    // groups, where it gets the width its three axes need; the illustration
    // moves under the right column's controls, scaled to the column.
    const int at = ui->verticalLayout_leftCol->indexOf(ui->lblTitle_cylinder2);
    ui->verticalLayout_leftCol->removeWidget(ui->lblTitle_cylinder2);
    ui->verticalLayout_leftCol->insertWidget(at, trendChart, 1);
    ui->verticalSpacer_leftCol->changeSize(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    // The room under the columns goes to the chart, not to the tab's bottom spacer.
    ui->verticalSpacer_tab2->changeSize(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    ui->verticalLayout_tab2->setStretchFactor(ui->horizontalLayout_tab2_data, 1);
    ui->verticalLayout_4->insertWidget(ui->verticalLayout_4->indexOf(ui->verticalSpacer_rightCol),
                                       ui->lblTitle_cylinder2);
    ui->lblTitle_cylinder2->setScaledContents(true);
    ui->lblTitle_cylinder2->setFixedSize(IllustrationWidth,
                                         IllustrationWidth * IllustrationSize.height() / IllustrationSize.width());

    connect(trendChart->recordButton(), &QPushButton::toggled, this, &TrendRecording::onRecordToggled);
    connect(stateRecorder, &StateRecorder::failed, this, &TrendRecording::onRecordingFailed);
}

void TrendRecording::retranslate()
{
    trendChart->retranslate(lang());
}

void TrendRecording::addState(const DeviceState &state)
{
    trendChart->addState(state);
    stateRecorder->record(state);
}

void TrendRecording::clear()
{
    trendChart->clear();
}

void TrendRecording::driveDisconnected()
{
    if (stateRecorder->isRecording())
        stopRecording();
}

void TrendRecording::onRecordToggled(bool on)
{
    if (!on) {
        stopRecording();
        return;
    }
    if (!drive->isConnected()) {
        setRecordButtonChecked(false);
        return;
    }
    const QString model = drive->model();
    const ProductIdentity &product = drive->product();
    const QString proposed =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(StateRecorder::proposedFileName(model, QDateTime::currentDateTime()));
    const QString path = dialogs().saveFileName(text(QStringLiteral("rec_title")), proposed,
                                                 QStringLiteral("CSV Files (*.csv)"));
    if (path.isEmpty()) {
        setRecordButtonChecked(false);
        return;
    }

    RecordingInfo info;
    info.model = model;
    info.firmware = product.firmware;
    info.hardware = product.hardware;
    info.logicVersion = ActuatorCatalogue::logicVersionText(product.logicVersion);
    info.leadMm = product.lead;
    info.station = drive->station();
    info.appVersion = QStringLiteral(VEXA_APP_VERSION);
    FileError error;
    if (stateRecorder->start(path, info, &error)) {
        trendChart->setRecordingPath(QDir::toNativeSeparators(path));
        trendChart->retranslate(lang());
        return;
    }
    onRecordingFailed(error);
}

void TrendRecording::stopRecording()
{
    const bool wasRecording = stateRecorder->isRecording();
    const QString path = QDir::toNativeSeparators(stateRecorder->path());
    const FileError lost = stateRecorder->stop();
    setRecordButtonChecked(false);
    // Saved only when the file is still there holding the rows counted.
    if (lost.failed())
        onRecordingFailed(lost);
    else if (wasRecording)
        showStatus(text(QStringLiteral("status_rec_saved"))
                                     .arg(path)
                                     .arg(stateRecorder->rowsWritten()));
}

void TrendRecording::setRecordButtonChecked(bool checked)
{
    {
        const QSignalBlocker block(trendChart->recordButton());
        trendChart->recordButton()->setChecked(checked);
    }
    if (!checked)
        trendChart->setRecordingPath(QString());
    trendChart->retranslate(lang());
}

void TrendRecording::onRecordingFailed(const FileError &error)
{
    setRecordButtonChecked(false);
    dialogs().message(QMessageBox::Warning, text(QStringLiteral("rec_title")),
                       text(QStringLiteral("rec_failed")).arg(error.reason(lang())));
}
