#include "trendchart.h"

#include "dictionary.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

using namespace QtCharts;

namespace {

const double WindowChoices[] = {10.0, 60.0, 300.0};

// Fits an axis to the values with a little room, never collapsing to a line.
void fitAxis(QValueAxis *axis, double lo, double hi, double minimumSpan)
{
    if (hi - lo < minimumSpan) {
        const double mid = (hi + lo) / 2;
        lo = mid - minimumSpan / 2;
        hi = mid + minimumSpan / 2;
    }
    const double margin = (hi - lo) * 0.08;
    axis->setRange(lo - margin, hi + margin);
}

QLineSeries *addSeries(QChart *chart, const QColor &colour)
{
    auto *series = new QLineSeries(chart);
    QPen pen(colour);
    pen.setWidthF(1.6);
    series->setPen(pen);
    series->setUseOpenGL(false);
    chart->addSeries(series);
    return series;
}

QValueAxis *addAxis(QChart *chart, Qt::Alignment side, const QColor &colour, QLineSeries *series)
{
    auto *axis = new QValueAxis(chart);
    axis->setLabelsColor(colour);
    axis->setLabelFormat(QStringLiteral("%.2f"));
    axis->setTickCount(5);
    chart->addAxis(axis, side);
    series->attachAxis(axis);
    return axis;
}

}  // namespace

TrendChart::TrendChart(QWidget *parent)
    : QWidget(parent),
      m_chart(new QChart),
      m_view(new QChartView(m_chart, this)),
      m_windowLabel(new QLabel(this)),
      m_windowChoice(new QComboBox(this)),
      m_pause(new QPushButton(this)),
      m_record(new QPushButton(this)),
      m_redrawTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("trendChart"));
    m_windowChoice->setObjectName(QStringLiteral("cbTrendWindow"));
    m_pause->setObjectName(QStringLiteral("btnTrendPause"));
    m_record->setObjectName(QStringLiteral("btnTrendRecord"));
    m_record->setCheckable(true);
    m_view->setObjectName(QStringLiteral("trendView"));

    m_chart->legend()->setAlignment(Qt::AlignTop);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setMinimumHeight(200);

    m_position = addSeries(m_chart, QColor("#2563eb"));
    m_current = addSeries(m_chart, QColor("#d97706"));
    m_trackErr = addSeries(m_chart, QColor("#dc2626"));
    m_axisTime = new QValueAxis(m_chart);
    m_axisTime->setLabelFormat(QStringLiteral("%.0f s"));
    m_chart->addAxis(m_axisTime, Qt::AlignBottom);
    for (QLineSeries *s : {m_position, m_current, m_trackErr})
        s->attachAxis(m_axisTime);
    m_axisMm = addAxis(m_chart, Qt::AlignLeft, QColor("#2563eb"), m_position);
    m_axisMa = addAxis(m_chart, Qt::AlignRight, QColor("#d97706"), m_current);
    m_axisMa->setLabelFormat(QStringLiteral("%.0f"));
    m_axisErr = addAxis(m_chart, Qt::AlignRight, QColor("#dc2626"), m_trackErr);
    m_axisErr->setLabelFormat(QStringLiteral("%.3f"));

    for (double seconds : WindowChoices)
        m_windowChoice->addItem(seconds < 60 ? QStringLiteral("%1 s").arg(seconds)
                                             : QStringLiteral("%1 min").arg(seconds / 60),
                                seconds);
    m_windowChoice->setCurrentIndex(1);

    auto *controls = new QHBoxLayout;
    controls->addWidget(m_windowLabel);
    controls->addWidget(m_windowChoice);
    controls->addStretch(1);
    controls->addWidget(m_pause);
    controls->addWidget(m_record);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(controls);
    layout->addWidget(m_view, 1);

    connect(m_windowChoice, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { setWindowSeconds(m_windowChoice->itemData(index).toDouble()); });
    connect(m_pause, &QPushButton::clicked, this, [this] { setPaused(!m_paused); });
    m_redrawTimer->setInterval(RedrawIntervalMs);
    connect(m_redrawTimer, &QTimer::timeout, this, [this] {
        if (m_dirty && !m_paused)
            redraw();
    });
    m_redrawTimer->start();
    m_clock.start();
    retranslate(m_lang);
    fitAxis(m_axisTime, -m_windowSeconds, 0, 1);
}

void TrendChart::retranslate(const QString &lang)
{
    m_lang = lang;
    m_position->setName(translateKey(QStringLiteral("trend_position"), lang));
    m_current->setName(translateKey(QStringLiteral("trend_current"), lang));
    m_trackErr->setName(translateKey(QStringLiteral("trend_trackErr"), lang));
    m_windowLabel->setText(translateKey(QStringLiteral("trend_window"), lang));
    m_record->setText(translateKey(m_record->isChecked() ? QStringLiteral("trend_recordStop")
                                                         : QStringLiteral("trend_record"),
                                   lang));
    m_record->setToolTip(translateKey(QStringLiteral("trend_record_tip"), lang));
    updatePauseText();
}

void TrendChart::updatePauseText()
{
    m_pause->setText(translateKey(m_paused ? QStringLiteral("trend_resume") : QStringLiteral("trend_pause"), m_lang));
}

void TrendChart::clear()
{
    m_buffer.clear();
    m_clock.restart();
    m_dirty = true;
}

void TrendChart::setWindowSeconds(double seconds)
{
    m_windowSeconds = seconds;
    const int index = m_windowChoice->findData(seconds);
    if (index >= 0 && index != m_windowChoice->currentIndex())
        m_windowChoice->setCurrentIndex(index);
    m_dirty = true;
}

void TrendChart::setPaused(bool paused)
{
    m_paused = paused;
    updatePauseText();
}

void TrendChart::addState(const DeviceState &state)
{
    m_buffer.append(m_clock.elapsed() / 1000.0, state);
    m_dirty = true;
}

void TrendChart::redraw()
{
    m_dirty = false;
    ++m_redraws;
    const QVector<TrendSample> samples = m_buffer.window(m_windowSeconds);
    QVector<QPointF> position, current, trackErr;
    position.reserve(samples.size());
    current.reserve(samples.size());
    trackErr.reserve(samples.size());
    // Time runs to 0 at the newest sample, so the chart scrolls.
    const double now = samples.isEmpty() ? 0 : samples.last().seconds;
    double loMm = 0, hiMm = 0, loMa = 0, hiMa = 0, loErr = 0, hiErr = 0;
    for (int i = 0; i < samples.size(); ++i) {
        const TrendSample &s = samples[i];
        const double t = s.seconds - now;
        position.append({t, s.positionMm});
        current.append({t, s.currentMa});
        trackErr.append({t, s.trackErrMm});
        if (i == 0) {
            loMm = hiMm = s.positionMm;
            loMa = hiMa = s.currentMa;
            loErr = hiErr = s.trackErrMm;
        }
        loMm = std::min(loMm, s.positionMm);
        hiMm = std::max(hiMm, s.positionMm);
        loMa = std::min(loMa, s.currentMa);
        hiMa = std::max(hiMa, s.currentMa);
        loErr = std::min(loErr, s.trackErrMm);
        hiErr = std::max(hiErr, s.trackErrMm);
    }
    m_position->replace(position);
    m_current->replace(current);
    m_trackErr->replace(trackErr);
    m_axisTime->setRange(-m_windowSeconds, 0);
    fitAxis(m_axisMm, loMm, hiMm, 1.0);
    fitAxis(m_axisMa, loMa, hiMa, 50.0);
    fitAxis(m_axisErr, loErr, hiErr, 0.02);
}
