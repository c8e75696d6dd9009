// The link's wire format: messages survive any split of the byte stream, and a hostile length is refused.
#include "LinkFramer.h"

#include <gtest/gtest.h>

#include <QList>

using kalvo::LinkFramer;

// Every message comes out whole and in order however the stream is cut, CR LF and empty texts included.
TEST(LinkFramer, MessagesSurviveEverySplit)
{
    const QList<QByteArray> messages = {"GVCS:one\r\ntwo\r\n", "", "\r\n", QByteArray(70000, 'x'),
                                        "Say:h\xc3\xa9llo"};
    QByteArray stream;
    for (const QByteArray& m : messages)
        stream += LinkFramer::frame(m);

    for (qsizetype chunk : {qsizetype(1), qsizetype(3), qsizetype(4), qsizetype(7), stream.size()}) {
        LinkFramer framer;
        QList<QByteArray> received;
        for (qsizetype pos = 0; pos < stream.size(); pos += chunk) {
            framer.feed(stream.mid(pos, chunk));
            QByteArray payload;
            while (framer.takeMessage(payload))
                received.append(payload);
        }
        EXPECT_EQ(received, messages) << "chunk size " << chunk;
        EXPECT_FALSE(framer.broken());
    }
}

// A length above the limit marks the stream broken instead of waiting for (or allocating) gigabytes.
TEST(LinkFramer, OverlongLengthBreaksTheStream)
{
    LinkFramer framer;
    framer.feed(QByteArray("\xff\xff\xff\xff", 4));
    framer.feed("whatever follows");
    QByteArray payload;
    EXPECT_FALSE(framer.takeMessage(payload));
    EXPECT_TRUE(framer.broken());

    // Exactly the limit is still a message in progress, not a broken stream.
    LinkFramer atLimit;
    QByteArray header(4, '\0');
    header[0] = char(LinkFramer::MaxMessageBytes >> 24);
    atLimit.feed(header + "partial");
    EXPECT_FALSE(atLimit.takeMessage(payload));
    EXPECT_FALSE(atLimit.broken());
}
