#include "simframer.h"

#include "crc16.h"

void SimFramer::append(const QByteArray &bytes)
{
    m_buffer.append(bytes);
}

QByteArray SimFramer::takeFrame()
{
    int firstUnfinished = -1;
    for (int offset = 0; offset < m_buffer.size(); ++offset) {
        const int length = frameLength(offset);
        if (length < 0)
            continue;
        if (length == 0 || offset + length > m_buffer.size()) {
            if (firstUnfinished < 0)
                firstUnfinished = offset;
            continue;
        }
        const QByteArray candidate = m_buffer.mid(offset, length);
        if (hasValidCrc(candidate)) {
            m_buffer.remove(0, offset + length);
            return candidate;
        }
    }
    if (firstUnfinished < 0)
        m_buffer.clear();
    else
        m_buffer.remove(0, firstUnfinished);
    return {};
}

int SimFramer::frameLength(int offset) const
{
    if (offset + 2 > m_buffer.size())
        return 0;
    switch (static_cast<quint8>(m_buffer[offset + 1])) {
    case SimFunction::ReadHolding:
    case SimFunction::WriteSingle:
        return 8;
    case SimFunction::WriteMultiple:
        if (offset + 7 > m_buffer.size())
            return 0;
        return 9 + static_cast<quint8>(m_buffer[offset + 6]);
    default:
        return -1;
    }
}
