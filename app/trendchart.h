#pragma once

#include "devicestate.h"
#include "trendbuffer.h"

#include <QElapsedTimer>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

// Qt 5 keeps the chart classes in the namespace QtCharts, Qt 6 beside Qt's
// others; QtCharts:: names them in both.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
namespace QtCharts {
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
}  // namespace QtCharts
#else
QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
QT_END_NAMESPACE
namespace QtCharts {
using ::QChart;
using ::QChartView;
using ::QLineSeries;
using ::QValueAxis;
}  // namespace QtCharts
#endif

// An axis range on round ticks: every tick is a multiple of `step`, which is
// 1, 2 or 5 times a power of ten, and `decimals` shows each tick exactly.
struct AxisScale
{
    double lo = 0;
    double hi = 1;
    double step = 1;
    int ticks = 2;
    int decimals = 0;
};

// The smallest of 1, 2, 5 x 10^n that is at least `rough` (> 0).
double roundTickStep(double rough);
// A range covering lo..hi with a little room, at least `minimumSpan` wide, on at
// most `maxIntervals` intervals of a round step. With `nonNegative` (for quantities that
// cannot be negative) it does not go below zero unless `lo` does.
AxisScale roundAxisScale(double lo, double hi, double minimumSpan, bool nonNegative, int maxIntervals = 6);

// Live chart of position, motor current and tracking error against time.
// States are buffered as they arrive; the chart is redrawn at most every
// 100 ms, so a burst of states costs one redraw and polling is never slowed.
class TrendChart : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RedrawIntervalMs = 100;

    explicit TrendChart(QWidget *parent = nullptr);

    void retranslate(const QString &lang);
    void clear();

    // Window choices in seconds: 10, 60, 300.
    void setWindowSeconds(double seconds);
    double windowSeconds() const { return m_windowSeconds; }
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }

    const TrendBuffer &buffer() const { return m_buffer; }
    int redrawCount() const { return m_redraws; }
    QPushButton *recordButton() const { return m_record; }
    QTimer *redrawTimer() const { return m_redrawTimer; }
    QtCharts::QChartView *view() const { return m_view; }

    // Shown over the chart while a recording runs; empty hides it.
    void setRecordingPath(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

public Q_SLOTS:
    void addState(const DeviceState &state);

private:
    void redraw();
    void updatePauseText();
    void showReadoutAt(const QPointF &viewportPos);
    void toggleTrace(QtCharts::QLineSeries *series, QtCharts::QValueAxis *axis);

    TrendBuffer m_buffer;
    QElapsedTimer m_clock;
    double m_windowSeconds = 60.0;
    bool m_paused = false;
    bool m_dirty = false;
    int m_redraws = 0;
    QString m_lang = QStringLiteral("zh");

    QtCharts::QChart *m_chart;
    QtCharts::QChartView *m_view;
    QtCharts::QLineSeries *m_position;
    QtCharts::QLineSeries *m_current;
    QtCharts::QLineSeries *m_trackErr;
    QtCharts::QValueAxis *m_axisTime;
    QtCharts::QValueAxis *m_axisMm;
    QtCharts::QValueAxis *m_axisMa;
    QtCharts::QValueAxis *m_axisErr;
    QLabel *m_windowLabel;
    QComboBox *m_windowChoice;
    QPushButton *m_pause;
    QPushButton *m_record;
    QTimer *m_redrawTimer;
    QLabel *m_recording;
    QLabel *m_readout;
    QString m_recordingPath;
    // What the last redraw drew, for the readout, and the newest sample's time (0 on the time axis).
    QVector<TrendSample> m_drawn;
    double m_drawnNow = 0;
};
