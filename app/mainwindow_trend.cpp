// Monitor tab: the live trend of position, current and tracking error, and the
// recorder that writes every state to a CSV file.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "actuatorcatalogue.h"
#include "connectionmanager.h"
#include "dialogs.h"
#include "dictionary.h"
#include "staterecorder.h"
#include "trendchart.h"

#include <QDateTime>
#include <QDir>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QStatusBar>

namespace {

// The actuator illustration's pixels, and the width it is shown at beside the chart:
// narrow enough that the tab needs no sideways scrolling at the window's widest,
// also with a vertical scroll bar and a little wider text.
const QSize IllustrationSize(520, 170);
constexpr int IllustrationWidth = 320;

}  // namespace

void MainWindow::setupTrend()
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

    connect(trendChart->recordButton(), &QPushButton::toggled, this, &MainWindow::onRecordToggled);
    connect(stateRecorder, &StateRecorder::failed, this, &MainWindow::onRecordingFailed);
}

void MainWindow::onRecordToggled(bool on)
{
    if (!on) {
        stopRecording();
        return;
    }
    if (!isConnected) {
        setRecordButtonChecked(false);
        return;
    }
    const QString model = connectionManager->deviceInfo().model;
    const QString proposed =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(StateRecorder::proposedFileName(model, QDateTime::currentDateTime()));
    const QString path = m_dialogs->saveFileName(translateKey(QStringLiteral("rec_title"), currentLang), proposed,
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
    info.station = stationId;
    info.appVersion = QStringLiteral(VEXA_APP_VERSION);
    QString error;
    if (stateRecorder->start(path, info, &error)) {
        trendChart->setRecordingPath(QDir::toNativeSeparators(path));
        trendChart->retranslate(currentLang);
        return;
    }
    // A header that could not be written has already been reported through failed().
    if (trendChart->recordButton()->isChecked())
        onRecordingFailed(error);
}

void MainWindow::stopRecording()
{
    const bool wasRecording = stateRecorder->isRecording();
    const QString path = QDir::toNativeSeparators(stateRecorder->path());
    stateRecorder->stop();
    setRecordButtonChecked(false);
    if (wasRecording)
        statusBar()->showMessage(translateKey(QStringLiteral("status_rec_saved"), currentLang)
                                     .arg(path)
                                     .arg(stateRecorder->rowsWritten()));
}

void MainWindow::setRecordButtonChecked(bool checked)
{
    {
        const QSignalBlocker block(trendChart->recordButton());
        trendChart->recordButton()->setChecked(checked);
    }
    if (!checked)
        trendChart->setRecordingPath(QString());
    trendChart->retranslate(currentLang);
}

void MainWindow::onRecordingFailed(const QString &reason)
{
    setRecordButtonChecked(false);
    m_dialogs->message(QMessageBox::Warning, translateKey(QStringLiteral("rec_title"), currentLang),
                       translateKey(QStringLiteral("rec_failed"), currentLang).arg(reason));
}
