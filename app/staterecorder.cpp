#include "staterecorder.h"

#include <QRegularExpression>

namespace {

const char *const ColumnHeader =
    "elapsed_ms,time,position_mm,current_ma,tracking_error_mm,alarm_code,"
    "x0,x1,x2,x7,y0,y1,y2,inputs_raw,outputs_raw,alarm_word\n";

QByteArray metadataLine(const char *key, const QString &value)
{
    // Values are identity texts; commas and line breaks would break the block.
    QString clean = value;
    clean.replace(QRegularExpression(QStringLiteral("[\\r\\n,]")), QStringLiteral(" "));
    return QByteArray("# ") + key + ',' + clean.toUtf8() + '\n';
}

QByteArray hexWord(quint16 word)
{
    return "0x" + QByteArray::number(word, 16).rightJustified(4, '0').toUpper();
}

}  // namespace

StateRecorder::StateRecorder(QObject *parent) : QObject(parent) {}

StateRecorder::~StateRecorder()
{
    stop();
}

QString StateRecorder::proposedFileName(const QString &model, const QDateTime &when)
{
    QString base = model.isEmpty() ? QStringLiteral("drive") : model;
    base.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return QStringLiteral("%1_%2.csv").arg(base, when.toString(QStringLiteral("yyyyMMdd_HHmmss")));
}

bool StateRecorder::start(const QString &path, const RecordingInfo &info, QString *error)
{
    stop();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    m_rows = 0;
    const QDateTime started = QDateTime::currentDateTime();
    QByteArray header = "# Torvane Vexa Electric Actuator recording\n";
    header += metadataLine("model", info.model);
    header += metadataLine("firmware", info.firmware);
    header += metadataLine("hardware", info.hardware);
    header += metadataLine("logic_version", info.logicVersion);
    header += metadataLine("lead_mm", QString::number(info.leadMm));
    header += metadataLine("station", QString::number(info.station));
    header += metadataLine("start_time", started.toString(Qt::ISODateWithMs));
    header += metadataLine("app_version", info.appVersion);
    header += ColumnHeader;
    if (!writeLine(header)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    m_sinceStart.start();
    return true;
}

void StateRecorder::stop()
{
    if (m_file.isOpen())
        m_file.close();
}

void StateRecorder::record(const DeviceState &s)
{
    if (!m_file.isOpen())
        return;
    const auto flag = [](bool b) { return b ? '1' : '0'; };
    QByteArray line;
    line += QByteArray::number(m_sinceStart.elapsed()) + ',';
    line += QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ',';
    line += QByteArray::number(s.positionMm, 'f', 3) + ',';
    line += QByteArray::number(s.currentMa) + ',';
    line += QByteArray::number(s.trackErrUm / 1000.0, 'f', 3) + ',';
    line += QByteArray::number(s.alarmCode) + ',';
    for (bool b : {s.x0, s.x1, s.x2, s.x7, s.y0, s.y1, s.y2})
        line += QByteArray(1, flag(b)) + ',';
    line += hexWord(s.inputsRaw) + ',' + hexWord(s.outputsRaw) + ',' + hexWord(s.alarmHistRaw) + '\n';
    if (writeLine(line))
        ++m_rows;
}

bool StateRecorder::writeLine(const QByteArray &line)
{
    if (m_file.write(line) == line.size() && m_file.flush())
        return true;
    const QString reason = m_file.errorString();
    m_file.close();
    Q_EMIT failed(reason);
    return false;
}
