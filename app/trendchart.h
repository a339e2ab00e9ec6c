#pragma once

#include "devicestate.h"
#include "trendbuffer.h"

#include <QElapsedTimer>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace QtCharts {
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
}  // namespace QtCharts

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

public Q_SLOTS:
    void addState(const DeviceState &state);

private:
    void redraw();
    void updatePauseText();

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
};
