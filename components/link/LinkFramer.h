// Wire format of the link: each message is a 32-bit big-endian byte count followed by its UTF-8 bytes.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace kalvo {

class LinkFramer
{
public:
    // Largest message either side accepts; a longer announced length means a broken or hostile peer.
    static constexpr std::uint32_t MaxMessageBytes = 16u * 1024u * 1024u;

    // The bytes that carry `payload` as one message.
    static QByteArray frame(const QByteArray& payload);

    // Adds bytes as they arrive from the socket, in any split.
    void feed(const QByteArray& bytes);

    // Takes the next complete message into `payload`. @return false when none is complete yet
    // or the stream is broken (see broken()).
    bool takeMessage(QByteArray& payload);

    // True once a length above MaxMessageBytes arrived; the stream cannot be resynchronised.
    bool broken() const { return m_broken; }

private:
    QByteArray m_buffer;
    qsizetype m_readPos = 0;
    bool m_broken = false;
};

} // namespace kalvo
