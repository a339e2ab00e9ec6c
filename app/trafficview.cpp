#include "trafficview.h"

#include "connectionmanager.h"
#include "dialogs.h"
#include "fileoutput.h"
#include "modbusframe.h"
#include "modbusworker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace {

struct Text
{
    const char *key;
    const char *zh;
    const char *en;
};

const Text texts[] = {
    {"title", "通訊監看", "Bus Traffic"},
    {"station", "站號:", "Station:"},
    {"allStations", "全部", "All"},
    {"result", "結果:", "Result:"},
    {"pause", "暫停", "Pause"},
    {"clear", "清除", "Clear"},
    {"export", "匯出 CSV", "Export CSV"},
    {"count", "%1 筆交換（最多保留 %2 筆）", "%1 exchanges (the last %2 are kept)"},
    {"hTime", "時間", "Time"},
    {"hStation", "站號", "Station"},
    {"hFunction", "功能碼", "Function"},
    {"hRegister", "起始暫存器", "Start Register"},
    {"hCount", "數量", "Count"},
    {"hValues", "數值（十進位 / 十六進位）", "Values (decimal / hex)"},
    {"hLatency", "延遲 (ms)", "Latency (ms)"},
    {"hResult", "結果", "Result"},
    {"rAll", "全部", "All"},
    {"rOk", "成功", "ok"},
    {"rTimeout", "逾時", "timeout"},
    {"rBadCrc", "CRC 錯誤", "bad CRC"},
    {"rException", "例外回應", "exception"},
    {"rPortLost", "連線中斷", "port lost"},
    {"rEcho", "已移除回音", "echo removed"},
    {"exportFailed", "無法寫入 %1：%2", "Cannot write %1: %2"},
};

QString viewText(const char *key, const QString &lang)
{
    for (const Text &text : texts) {
        if (qstrcmp(text.key, key) == 0)
            return QString::fromUtf8(lang == QLatin1String("zh") ? text.zh : text.en);
    }
    return QString::fromLatin1(key);
}

const char *const resultKeys[] = {"rAll", "rOk", "rTimeout", "rBadCrc", "rException", "rPortLost", "rEcho"};

QString functionText(quint8 function)
{
    return QStringLiteral("0x") + QString::number(function, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

// The result in the window's language; an exception keeps its Modbus name.
QString resultText(const ExchangeRecord &r, const QString &lang)
{
    using R = ExchangeRecord::Result;
    QString text;
    switch (r.result) {
    case R::Ok: text = viewText("rOk", lang); break;
    case R::Timeout: text = viewText("rTimeout", lang); break;
    case R::BadCrc: text = viewText("rBadCrc", lang); break;
    case R::Exception: text = ModbusFrame::exceptionText(r.exceptionCode); break;
    case R::PortLost: text = viewText("rPortLost", lang); break;
    }
    return r.echoRemoved ? QStringLiteral("%1, %2").arg(text, viewText("rEcho", lang)) : text;
}

// One CSV field, quoted when it holds a separator, a quote or a line break.
QString csvField(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\n')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

TrafficModel::TrafficModel(QObject *parent) : QAbstractTableModel(parent), m_flushTimer(new QTimer(this))
{
    m_flushTimer->setInterval(FlushIntervalMs);
    connect(m_flushTimer, &QTimer::timeout, this, &TrafficModel::flush);
    m_flushTimer->start();
}

void TrafficModel::setLanguage(const QString &lang)
{
    m_lang = lang;
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

void TrafficModel::take(const ExchangeRecord &record)
{
    m_pending.append(record);
    // A flood between two flushes keeps only what the table could keep.
    if (m_pending.size() > MaxExchanges)
        m_pending.remove(0, m_pending.size() - MaxExchanges);
}

void TrafficModel::flush()
{
    if (m_pending.isEmpty())
        return;
    const int overflow = int(m_records.size()) + m_pending.size() - MaxExchanges;
    if (overflow > 0) {
        const int dropped = qMin(overflow, int(m_records.size()));
        beginRemoveRows(QModelIndex(), 0, dropped - 1);
        m_records.erase(m_records.begin(), m_records.begin() + dropped);
        endRemoveRows();
    }
    const int first = int(m_records.size());
    beginInsertRows(QModelIndex(), first, first + m_pending.size() - 1);
    m_records.insert(m_records.end(), m_pending.cbegin(), m_pending.cend());
    endInsertRows();
    m_pending.clear();
}

void TrafficModel::clear()
{
    beginResetModel();
    m_records.clear();
    m_pending.clear();
    endResetModel();
}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_records.size());
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const ExchangeRecord &r = record(index.row());
    if (role == Qt::ForegroundRole && index.column() == Result && r.result != ExchangeRecord::Result::Ok)
        return QColor(0xDC, 0x26, 0x26);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    switch (index.column()) {
    case Time: return QDateTime::fromMSecsSinceEpoch(r.timeMs).toString(QStringLiteral("HH:mm:ss.zzz"));
    case Station: return r.station;
    case Function: return functionText(r.function);
    case Register:
        return QStringLiteral("0x%1 %2")
            .arg(QString::number(r.address, 16).rightJustified(4, QLatin1Char('0')).toUpper(), r.registerText());
    case Count: return r.count;
    case Values: return r.valuesText();
    case Latency: return QString::number(r.latencyMs, 'f', 1);
    case Result: return resultText(r, m_lang);
    default: return QVariant();
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const keys[ColumnCount] = {"hTime",   "hStation", "hFunction", "hRegister",
                                                  "hCount", "hValues",  "hLatency",  "hResult"};
    return viewText(keys[section], m_lang);
}

void TrafficFilter::setStation(int station)
{
    m_station = station;
    invalidateFilter();
}

void TrafficFilter::setResult(ResultFilter result)
{
    m_result = result;
    invalidateFilter();
}

bool TrafficFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const ExchangeRecord &r = static_cast<const TrafficModel *>(sourceModel())->record(sourceRow);
    if (m_station != 0 && r.station != m_station)
        return false;
    using R = ExchangeRecord::Result;
    switch (m_result) {
    case ResultFilter::All: return true;
    case ResultFilter::Ok: return r.result == R::Ok;
    case ResultFilter::Timeout: return r.result == R::Timeout;
    case ResultFilter::BadCrc: return r.result == R::BadCrc;
    case ResultFilter::Exception: return r.result == R::Exception;
    case ResultFilter::PortLost: return r.result == R::PortLost;
    case ResultFilter::EchoRemoved: return r.echoRemoved;
    }
    return true;
}

TrafficView::TrafficView(ModbusWorker *worker, ConnectionManager *connections, std::function<Dialogs &()> dialogs,
                         QWidget *parent)
    : QWidget(parent, Qt::Window),
      m_worker(worker),
      m_connections(connections),
      m_dialogs(std::move(dialogs)),
      m_model(new TrafficModel(this)),
      m_filter(new TrafficFilter(this)),
      m_table(new QTableView(this)),
      m_station(new QSpinBox(this)),
      m_result(new QComboBox(this)),
      m_pause(new QCheckBox(this)),
      m_clear(new QPushButton(this)),
      m_export(new QPushButton(this)),
      m_stationLabel(new QLabel(this)),
      m_resultLabel(new QLabel(this)),
      m_count(new QLabel(this))
{
    setObjectName(QStringLiteral("trafficView"));
    m_table->setObjectName(QStringLiteral("tableTraffic"));
    m_station->setObjectName(QStringLiteral("spinTrafficStation"));
    m_result->setObjectName(QStringLiteral("cbTrafficResult"));
    m_pause->setObjectName(QStringLiteral("chkTrafficPause"));
    m_clear->setObjectName(QStringLiteral("btnTrafficClear"));
    m_export->setObjectName(QStringLiteral("btnTrafficExport"));
    resize(1000, 520);

    m_filter->setSourceModel(m_model);
    m_table->setModel(m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(22);
    m_table->horizontalHeader()->setStretchLastSection(true);
    const int widths[TrafficModel::ColumnCount] = {95, 55, 70, 220, 50, 230, 85, 200};
    for (int column = 0; column < TrafficModel::ColumnCount; ++column)
        m_table->setColumnWidth(column, widths[column]);
    m_station->setRange(0, 247);
    for (int i = 0; i < int(std::size(resultKeys)); ++i)
        m_result->addItem(QString());

    auto *bar = new QHBoxLayout;
    for (QWidget *w : {static_cast<QWidget *>(m_stationLabel), static_cast<QWidget *>(m_station),
                       static_cast<QWidget *>(m_resultLabel), static_cast<QWidget *>(m_result),
                       static_cast<QWidget *>(m_pause), static_cast<QWidget *>(m_clear),
                       static_cast<QWidget *>(m_export)})
        bar->addWidget(w);
    bar->addStretch();
    bar->addWidget(m_count);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_table);

    connect(m_station, QOverload<int>::of(&QSpinBox::valueChanged), m_filter, &TrafficFilter::setStation);
    connect(m_result, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { m_filter->setResult(TrafficFilter::ResultFilter(qMax(0, index))); });
    connect(m_clear, &QPushButton::clicked, this, [this] {
        m_model->clear();
        updateCount();
    });
    connect(m_export, &QPushButton::clicked, this, &TrafficView::exportCsv);
    // The newest row stays in sight unless the user scrolled away from it.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] {
        updateCount();
        if (!m_pause->isChecked())
            m_table->scrollToBottom();
    });
    retranslate(m_lang);
}

TrafficView::~TrafficView()
{
    listen(false);
}

void TrafficView::retranslate(const QString &lang)
{
    m_lang = lang;
    setWindowTitle(viewText("title", lang));
    m_stationLabel->setText(viewText("station", lang));
    m_station->setSpecialValueText(viewText("allStations", lang));
    m_resultLabel->setText(viewText("result", lang));
    for (int i = 0; i < int(std::size(resultKeys)); ++i)
        m_result->setItemText(i, viewText(resultKeys[i], lang));
    m_pause->setText(viewText("pause", lang));
    m_clear->setText(viewText("clear", lang));
    m_export->setText(viewText("export", lang));
    m_model->setLanguage(lang);
    updateCount();
}

void TrafficView::updateCount()
{
    m_count->setText(viewText("count", m_lang).arg(m_model->rowCount()).arg(TrafficModel::MaxExchanges));
}

void TrafficView::showEvent(QShowEvent *event)
{
    listen(true);
    QWidget::showEvent(event);
}

void TrafficView::hideEvent(QHideEvent *event)
{
    listen(false);
    QWidget::hideEvent(event);
}

void TrafficView::listen(bool on)
{
    if (on == bool(m_workerLink))
        return;
    if (!on) {
        disconnect(m_workerLink);
        m_workerLink = QMetaObject::Connection();
        if (m_worker)
            m_worker->setExchangeTracing(false);
        if (m_connections)
            m_connections->setExchangeObserver(nullptr);
        return;
    }
    if (!m_worker || !m_connections)
        return;
    const auto keep = [this](const ExchangeRecord &record) {
        if (!m_pause->isChecked())
            m_model->take(record);
    };
    // Queued: the record is copied into the event and the worker goes on at once.
    m_workerLink = connect(m_worker.data(), &ModbusWorker::exchangeRecorded, this, keep, Qt::QueuedConnection);
    m_connections->setExchangeObserver(keep);
    m_worker->setExchangeTracing(true);
}

void TrafficView::exportCsv()
{
    m_model->flush();
    const QString path = m_dialogs().saveFileName(
        viewText("export", m_lang),
        QStringLiteral("traffic-%1.csv").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))),
        QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QByteArray csv;
    const auto addLine = [&csv](const QStringList &fields) {
        QStringList quoted;
        for (const QString &field : fields)
            quoted << csvField(field);
        csv += (quoted.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8();
    };
    addLine(ExchangeRecord::csvHeader());
    for (int row = 0; row < m_filter->rowCount(); ++row)
        addLine(m_model->record(m_filter->mapToSource(m_filter->index(row, 0)).row()).csvFields());
    const FileError error = FileOutput::writeWhole(path, csv, FileOutput::Mode::Text);
    if (error.failed())
        m_dialogs().message(QMessageBox::Warning, viewText("export", m_lang),
                           viewText("exportFailed", m_lang).arg(path, error.reason(m_lang)));
}
