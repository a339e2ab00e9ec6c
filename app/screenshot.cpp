// vexa-screenshot: opens the window on the demo bus, connects to station 1,
// moves the rod between its two positions so the trend has something to show,
// and saves the Monitor tab as a PNG. Used by scripts/screenshot.sh for the README.
//
// Usage: vexa-screenshot OUT.png [zh|en]

#include "demobus.h"
#include "fileoutput.h"
#include "mainwindow.h"
#include "trendchart.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QtCharts/QChartView>

#include <cstdio>
#include <functional>

namespace {

// Serves the event loop until `done` holds or `ms` have passed.
bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return done();
}

void serve(int ms)
{
    waitFor([] { return false; }, ms);
}

template <typename T>
T *part(const MainWindow &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

int fail(const char *what)
{
    std::fprintf(stderr, "vexa-screenshot: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return fail("usage: vexa-screenshot OUT.png [zh|en]");

    DemoBus demo;
    if (!demo.start())
        return fail("the simulated drive bus could not be started");
    MainWindow window;
    window.setDemoPort(demo.portPath());
    window.resize(1366, 900);
    window.show();
    part<QComboBox>(window, "cbLanguage")->setCurrentIndex(args.value(1) == QLatin1String("en") ? 1 : 0);

    auto *scan = part<QTableWidget>(window, "tableScan");
    part<QAbstractButton>(window, "btnScan")->click();
    if (!waitFor([scan] { return scan->rowCount() > 0; }, 20000))
        return fail("the scan found no drive");
    Q_EMIT scan->cellClicked(0, 0);
    part<QAbstractButton>(window, "btnConnect")->click();
    auto *tabs = part<QTabWidget>(window, "mainTabs");
    if (!waitFor([tabs] { return tabs->isTabEnabled(MainWindow::MonitorTab); }, 10000))
        return fail("the window did not connect");
    tabs->setCurrentIndex(MainWindow::MonitorTab);

    // Servo on, then to position 2 and back to position 1, for a trend with motion on it.
    part<QAbstractButton>(window, "btnServoOn")->click();
    serve(1500);
    part<QAbstractButton>(window, "btnSimX1")->click();
    serve(4000);
    part<QAbstractButton>(window, "btnSimX0")->click();
    serve(4000);

    // The pointer over the trend, near its newest samples, for the readout under it.
    QWidget *plot = window.findChild<TrendChart *>(QStringLiteral("trendChart"))->view()->viewport();
    QMouseEvent hover(QEvent::MouseMove, QPointF(plot->width() * 0.85, plot->height() * 0.6), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(plot, &hover);
    serve(200);

    QBuffer png;
    if (!png.open(QIODevice::WriteOnly) || !window.grab().save(&png, "PNG"))
        return fail("the picture could not be made");
    const FileError error = FileOutput::writeWhole(args.first(), png.data());
    if (error.failed())
        return fail(qPrintable(QStringLiteral("cannot write %1: %2").arg(args.first(), error.reason(QStringLiteral("en")))));
    std::printf("%s\n", qPrintable(args.first()));
    return 0;
}
