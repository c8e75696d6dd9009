// Wire format of the link: each message is a 32-bit big-endian byte count followed by its UTF-8 bytes.
#include "LinkFramer.h"

#include <QtEndian>

namespace kalvo {

static constexpr qsizetype HeaderBytes = 4;

QByteArray LinkFramer::frame(const QByteArray& payload)
{
    QByteArray bytes(HeaderBytes, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), bytes.data());
    bytes.append(payload);
    return bytes;
}

void LinkFramer::feed(const QByteArray& bytes)
{
    if (!m_broken)
        m_buffer.append(bytes);
}

bool LinkFramer::takeMessage(QByteArray& payload)
{
    if (m_broken || m_buffer.size() - m_readPos < HeaderBytes)
        return false;
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + m_readPos);
    if (length > MaxMessageBytes) {
        m_broken = true;
        m_buffer.clear();
        m_readPos = 0;
        return false;
    }
    if (m_buffer.size() - m_readPos - HeaderBytes < static_cast<qsizetype>(length))
        return false;
    payload = m_buffer.mid(m_readPos + HeaderBytes, length);
    m_readPos += HeaderBytes + length;
    // Drop consumed bytes only now and then, so a burst of small messages is not quadratic.
    if (m_readPos == m_buffer.size()) {
        m_buffer.clear();
        m_readPos = 0;
    } else if (m_readPos > 64 * 1024) {
        m_buffer.remove(0, m_readPos);
        m_readPos = 0;
    }
    return true;
}

} // namespace kalvo
