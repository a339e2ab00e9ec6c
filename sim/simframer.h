#pragma once

#include <QByteArray>
#include <QtGlobal>

// Modbus function codes the simulated drives serve.
namespace SimFunction {
constexpr quint8 ReadHolding = 0x03;
constexpr quint8 WriteSingle = 0x06;
constexpr quint8 WriteMultiple = 0x10;
}  // namespace SimFunction

// Cuts the byte stream a slave receives into request frames. A frame's length
// follows from its function code (0x03 and 0x06: 8 bytes, 0x10: 9 plus its
// byte count); a candidate with a bad CRC or an unknown function code is
// skipped one byte at a time, so the framer resynchronises on garbage. A
// complete valid frame further on wins over an unfinished candidate before it
// (which can then only be garbage), so a false start never holds requests back.
class SimFramer
{
public:
    void append(const QByteArray &bytes);
    // The next complete request with a valid CRC; empty when there is none yet.
    QByteArray takeFrame();
    int pendingBytes() const { return m_buffer.size(); }

private:
    // Length of the frame starting at offset; 0 when more bytes are needed
    // to know it, -1 when the function code is not one a drive serves.
    int frameLength(int offset) const;

    QByteArray m_buffer;
};
