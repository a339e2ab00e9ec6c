#include "trendchart.h"

#include "dictionary.h"

#include <QComboBox>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

using namespace QtCharts;

namespace {

const double WindowChoices[] = {10.0, 60.0, 300.0};

constexpr int MaxIntervals = 6;
// Room left around the values so a trace never runs along the plot's edge.
constexpr double RoomFraction = 0.04;
const char *const DimmedLabel = "#94a3b8";

void applyScale(QValueAxis *axis, const AxisScale &scale, const QString &unit = QString())
{
    axis->setRange(scale.lo, scale.hi);
    axis->setTickCount(scale.ticks);
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(scale.decimals) + unit);
}

}  // namespace

double roundTickStep(double rough)
{
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0}) {
        // A hair of tolerance, so a step that is already round stays as it is.
        if (factor * power >= rough * (1 - 1e-9))
            return factor * power;
    }
    return 10 * power;
}

AxisScale roundAxisScale(double lo, double hi, double minimumSpan, bool nonNegative, int maxIntervals)
{
    const bool floorAtZero = nonNegative && lo >= 0;
    if (hi - lo < minimumSpan) {
        const double mid = (hi + lo) / 2;
        lo = mid - minimumSpan / 2;
        hi = mid + minimumSpan / 2;
    }
    const double room = (hi - lo) * RoomFraction;
    lo -= room;
    hi += room;
    if (floorAtZero && lo < 0) {
        hi -= lo;
        lo = 0;
    }
    AxisScale scale;
    scale.step = roundTickStep((hi - lo) / std::max(1, maxIntervals));
    scale.lo = std::floor(lo / scale.step + 1e-9) * scale.step;
    scale.hi = std::ceil(hi / scale.step - 1e-9) * scale.step;
    scale.ticks = int(std::lround((scale.hi - scale.lo) / scale.step)) + 1;
    scale.decimals = std::max(0, int(std::ceil(-std::log10(scale.step) - 1e-9)));
    return scale;
}

namespace {

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
      m_redrawTimer(new QTimer(this)),
      m_recording(new QLabel(this)),
      m_readout(new QLabel(this))
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
    m_chart->addAxis(m_axisTime, Qt::AlignBottom);
    for (QLineSeries *s : {m_position, m_current, m_trackErr})
        s->attachAxis(m_axisTime);
    m_axisMm = addAxis(m_chart, Qt::AlignLeft, QColor("#2563eb"), m_position);
    m_axisMa = addAxis(m_chart, Qt::AlignRight, QColor("#d97706"), m_current);
    m_axisErr = addAxis(m_chart, Qt::AlignRight, QColor("#dc2626"), m_trackErr);

    // A click on a legend entry shows or hides its trace and the trace's axis.
    const struct
    {
        QLineSeries *series;
        QValueAxis *axis;
    } traces[] = {{m_position, m_axisMm}, {m_current, m_axisMa}, {m_trackErr, m_axisErr}};
    for (const auto &trace : traces) {
        for (QLegendMarker *marker : m_chart->legend()->markers(trace.series))
            connect(marker, &QLegendMarker::clicked, this,
                    [this, trace] { toggleTrace(trace.series, trace.axis); });
    }
    m_view->viewport()->setMouseTracking(true);
    m_view->viewport()->installEventFilter(this);
    m_recording->setObjectName(QStringLiteral("lblTrendRecording"));
    m_recording->setStyleSheet(QStringLiteral("color:#dc2626;"));
    m_recording->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_recording->hide();
    m_readout->setObjectName(QStringLiteral("lblTrendReadout"));
    m_readout->setStyleSheet(QStringLiteral("color:#334155;"));

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
    layout->addWidget(m_recording);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_readout);

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
    // The empty chart's axes, on the same ticks as the data will get; not counted as a redraw.
    redraw();
    m_redraws = 0;
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
    m_recording->setText(translateKey(QStringLiteral("trend_recording"), lang).arg(m_recordingPath));
    updatePauseText();
}

void TrendChart::setRecordingPath(const QString &path)
{
    m_recordingPath = path;
    m_recording->setText(translateKey(QStringLiteral("trend_recording"), m_lang).arg(path));
    m_recording->setVisible(!path.isEmpty());
}

void TrendChart::toggleTrace(QLineSeries *series, QValueAxis *axis)
{
    const bool shown = !series->isVisible();
    series->setVisible(shown);
    axis->setVisible(shown);
    // The entry stays in the legend, greyed while its trace is hidden, so it can be clicked again.
    for (QLegendMarker *marker : m_chart->legend()->markers(series)) {
        marker->setVisible(true);
        marker->setLabelBrush(shown ? QBrush(m_chart->legend()->labelColor()) : QBrush(QColor(DimmedLabel)));
    }
}

bool TrendChart::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport()) {
        if (event->type() == QEvent::MouseMove)
            showReadoutAt(static_cast<QMouseEvent *>(event)->localPos());
        else if (event->type() == QEvent::Leave)
            m_readout->clear();
    }
    return QWidget::eventFilter(watched, event);
}

void TrendChart::showReadoutAt(const QPointF &viewportPos)
{
    const QPointF inChart = m_chart->mapFromScene(m_view->mapToScene(viewportPos.toPoint()));
    if (m_drawn.isEmpty() || !m_chart->plotArea().contains(inChart)) {
        m_readout->clear();
        return;
    }
    const double t = m_chart->mapToValue(inChart, m_position).x() + m_drawnNow;
    const auto nearest = std::min_element(m_drawn.cbegin(), m_drawn.cend(), [t](const TrendSample &a, const TrendSample &b) {
        return std::abs(a.seconds - t) < std::abs(b.seconds - t);
    });
    m_readout->setText(QStringLiteral("%1 s   %2: %3   %4: %5   %6: %7")
                           .arg(nearest->seconds - m_drawnNow, 0, 'f', 1)
                           .arg(m_position->name())
                           .arg(nearest->positionMm, 0, 'f', 2)
                           .arg(m_current->name())
                           .arg(nearest->currentMa, 0, 'f', 0)
                           .arg(m_trackErr->name())
                           .arg(nearest->trackErrMm, 0, 'f', 3));
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
    m_drawn = samples;
    m_drawnNow = now;
    AxisScale time;
    time.step = roundTickStep(m_windowSeconds / MaxIntervals);
    time.lo = -m_windowSeconds;
    time.hi = 0;
    time.ticks = int(std::lround(m_windowSeconds / time.step)) + 1;
    applyScale(m_axisTime, time, QStringLiteral(" s"));
    // No more steps than the plot's height has room for: a label taller than
    // its step would be drawn as "...".
    const double labelHeight = QFontMetricsF(m_axisMm->labelsFont()).height();
    const int intervals = std::clamp(int(m_chart->plotArea().height() / (1.5 * labelHeight)), 2, MaxIntervals);
    // Position and current are never negative; tracking error is signed.
    applyScale(m_axisMm, roundAxisScale(loMm, hiMm, 1.0, true, intervals));
    applyScale(m_axisMa, roundAxisScale(loMa, hiMa, 50.0, true, intervals));
    applyScale(m_axisErr, roundAxisScale(loErr, hiErr, 0.02, false, intervals));
}
