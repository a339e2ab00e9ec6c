#include "staterecorder.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>

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

bool StateRecorder::start(const QString &path, const RecordingInfo &info, FileError *error)
{
    stop();
    m_rows = 0;
    m_file.setFileName(path);
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
    // The header replaces an older file whole, so a recording that cannot
    // start leaves that file as it was; the rows are then appended to it.
    FileError failure = FileOutput::writeWhole(path, header, FileOutput::Mode::Text);
    // Unbuffered: each row reaches the file in its own checked write.
    if (!failure.failed() && !m_file.open(QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered))
        failure = FileError::system(m_file.errorString());
    if (failure.failed()) {
        if (error)
            *error = failure;
        return false;
    }
    m_sinceStart.start();
    return true;
}

FileError StateRecorder::stop()
{
    if (!m_file.isOpen())
        return {};
    const FileError lost = checkOnDisk();
    m_file.close();
    return lost;
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
    const FileError error = appendRow(line);
    if (error.failed()) {
        Q_EMIT failed(error);
        return;
    }
    ++m_rows;
}

FileError StateRecorder::appendRow(const QByteArray &row)
{
    const qint64 whole = m_file.size();
    FileError error = FileOutput::writeAll(m_file, row);
    if (!error.failed() && !m_file.flush())
        error = FileError::system(m_file.errorString());
    if (!error.failed())
        error = checkOnDisk();
    if (error.failed()) {
        // A cut line would read as a row of wrong values.
        m_file.resize(whole);
        m_file.close();
    }
    return error;
}

FileError StateRecorder::checkOnDisk() const
{
    // Writes to a file whose folder was removed succeed but reach no file anyone can open.
    const QFileInfo onDisk(m_file.fileName());
    if (!onDisk.exists())
        return FileError::ofCode(ENOENT);
    if (onDisk.size() != m_file.size())
        return FileError::changedElsewhere();
    return {};
}
