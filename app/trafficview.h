#pragma once

#include "exchangerecord.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QWidget>

#include <deque>
#include <functional>

class ConnectionManager;
class Dialogs;
class ModbusWorker;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;

// The exchanges the traffic view keeps, newest last. Records are taken in as
// they arrive and inserted into the table in batches, so a burst costs one
// insertion; past the limit the oldest go first.
class TrafficModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Time, Station, Function, Register, Count, Values, Latency, Result, ColumnCount };
    static constexpr int MaxExchanges = 10000;
    static constexpr int FlushIntervalMs = 250;

    explicit TrafficModel(QObject *parent = nullptr);

    void setLanguage(const QString &lang);
    const ExchangeRecord &record(int row) const { return m_records[size_t(row)]; }
    void clear();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

public Q_SLOTS:
    void take(const ExchangeRecord &record);
    // Inserts what arrived since the last flush; the timer calls it.
    void flush();

private:
    std::deque<ExchangeRecord> m_records;
    QVector<ExchangeRecord> m_pending;
    QTimer *m_flushTimer;
    QString m_lang = QStringLiteral("zh");
};

// Rows of one station and one kind of result; 0 and All show everything.
class TrafficFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    enum class ResultFilter { All, Ok, Timeout, BadCrc, Exception, PortLost, EchoRemoved };

    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setStation(int station);
    void setResult(ResultFilter result);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    int m_station = 0;
    ResultFilter m_result = ResultFilter::All;
};

// A window listing every exchange of the link live: scans and identification
// of the connection manager, polling and requests of the worker. Records are
// built only while the window is shown; they reach it by value through queued
// signals, so the worker never waits for the view.
class TrafficView : public QWidget
{
    Q_OBJECT

public:
    // dialogs gives the window's boxes when one is shown: the window may have
    // been handed others since the view was built.
    TrafficView(ModbusWorker *worker, ConnectionManager *connections, std::function<Dialogs &()> dialogs,
                QWidget *parent = nullptr);
    ~TrafficView() override;

    void retranslate(const QString &lang);
    TrafficModel *model() const { return m_model; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void listen(bool on);
    void exportCsv();
    void updateCount();

    // The window's first children: they may go before the view does.
    QPointer<ModbusWorker> m_worker;
    QPointer<ConnectionManager> m_connections;
    std::function<Dialogs &()> m_dialogs;
    TrafficModel *m_model;
    TrafficFilter *m_filter;
    QTableView *m_table;
    QSpinBox *m_station;
    QComboBox *m_result;
    QCheckBox *m_pause;
    QPushButton *m_clear;
    QPushButton *m_export;
    QLabel *m_stationLabel;
    QLabel *m_resultLabel;
    QLabel *m_count;
    QMetaObject::Connection m_workerLink;
    QString m_lang = QStringLiteral("zh");
};
