#include "simfaultinjector.h"

#include "crc16.h"
#include "simdrive.h"
#include "simframer.h"
#include "simrequest.h"

#include <QStringList>

#include <algorithm>

QVector<QByteArray> SimOutgoingReply::runs() const
{
    const int count = std::clamp(pieces, 1, std::max(1, int(bytes.size())));
    QVector<QByteArray> result;
    int offset = 0;
    for (int i = 0; i < count; ++i) {
        const int length = (bytes.size() - offset) / (count - i);
        result.append(bytes.mid(offset, length));
        offset += length;
    }
    return result;
}

void SimFaultInjector::setFaults(const SimFaults &faults)
{
    m_faults = faults;
    m_dropCounter = 0;
    m_previousWriteEcho.clear();
}

bool SimFaultInjector::prepareReply(SimDrive &drive, const SimRequest &request, SimOutgoingReply *out)
{
    if (m_faults.silent || m_faults.silentAfterReplies == 0)
        return false;
    QByteArray reply = m_faults.exceptionReplies ? simExceptionReply(request, SimException::DeviceFailure)
                                                 : executeSimRequest(drive, request);
    if (m_faults.staleWriteEchoes && request.function != SimFunction::ReadHolding) {
        // Carried out now, echoed one write late.
        std::swap(reply, m_previousWriteEcho);
        if (reply.isEmpty())
            return false;
    }
    if (decideDrop())
        return false;
    if (m_faults.answerAsStation != 0)
        reply[0] = char(m_faults.answerAsStation);
    reply = withCrc(reply);
    if (m_faults.badCrc || chance(m_faults.corruptProbability))
        reply[reply.size() - 1] = char(reply[reply.size() - 1] ^ 0xFF);

    std::uniform_int_distribution<int> anyByte(0, 255);
    QByteArray noise;
    for (int i = 0; i < m_faults.noiseBytes; ++i)
        noise.append(char(anyByte(m_random)));

    out->bytes = noise + reply;
    out->pieces = m_faults.splitPieces;
    out->gapMs = m_faults.splitGapMs;
    out->delayMs = m_faults.replyDelayMs;
    const bool lateRead = request.function == SimFunction::ReadHolding && int(request.address) == m_faults.lateAddress;
    if (m_faults.lateAddress < 0 || lateRead)
        out->delayMs += m_faults.lateReplyMs;
    return true;
}

void SimFaultInjector::countReply()
{
    if (m_faults.silentAfterReplies > 0)
        --m_faults.silentAfterReplies;
}

bool SimFaultInjector::decideDrop()
{
    const bool nth = m_faults.dropEveryNth > 0 && ++m_dropCounter % m_faults.dropEveryNth == 0;
    // Drawn even when the count already drops it, so the random sequence does not depend on it.
    const bool random = chance(m_faults.dropProbability);
    return nth || random;
}

// Draws only for a non-zero probability, so a bus without random faults
// leaves the sequence alone.
bool SimFaultInjector::chance(double probability)
{
    return probability > 0.0 && std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < probability;
}

bool parseSimAlarmPlan(const QString &text, SimAlarmPlan *plan, QString *error)
{
    const QStringList parts = text.split(QLatin1Char('@'));
    bool codeOk = false;
    bool timeOk = parts.size() == 1;
    const uint code = parts.value(0).toUInt(&codeOk);
    const double seconds = parts.size() == 2 ? parts[1].toDouble(&timeOk) : 0.0;
    if (parts.size() > 2 || !codeOk || code < 1 || code > 15 || !timeOk || seconds < 0 || seconds > 86400) {
        *error = QStringLiteral("--alarm %1: expected CODE or CODE@SECONDS, CODE 1 to 15").arg(text);
        return false;
    }
    plan->code = quint16(code);
    plan->afterMs = int(seconds * 1000);
    return true;
}

bool parseSimLateReplies(const QString &text, SimFaults *faults, QString *error)
{
    const QStringList parts = text.split(QLatin1Char('@'));
    bool msOk = false;
    bool addressOk = parts.size() == 1;
    const uint ms = parts.value(0).toUInt(&msOk);
    const uint address = parts.size() == 2 ? parts[1].toUInt(&addressOk, 0) : 0;
    if (parts.size() > 2 || !msOk || ms < 1 || ms > 60000 || !addressOk || address > 0xFFFF) {
        *error = QStringLiteral("--late %1: expected MS or MS@ADDR, MS 1 to 60000, ADDR a register address").arg(text);
        return false;
    }
    faults->lateReplyMs = int(ms);
    faults->lateAddress = parts.size() == 2 ? int(address) : -1;
    return true;
}
