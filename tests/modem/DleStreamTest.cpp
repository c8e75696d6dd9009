// The <DLE> decoder against the byte sequences that break naive code, fed whole and split at every
// possible read boundary; and shielding as its inverse.
#include "DleStream.h"

#include <gtest/gtest.h>

using namespace kalvo::modem;

namespace {

// Writes data as-is and events as "<x>", so one string shows the decoded order.
struct Transcript : DleDecoder::Handler
{
    std::string text;
    void data(const uint8_t* bytes, size_t count) override
    {
        text.append(reinterpret_cast<const char*>(bytes), count);
    }
    void event(char code) override { text += std::string("<") + code + ">"; }
};

std::string decodeSplit(const std::string& stream, std::vector<size_t> cuts)
{
    DleDecoder decoder;
    Transcript out;
    size_t at = 0;
    cuts.push_back(stream.size());
    for (size_t cut : cuts) {
        decoder.feed(reinterpret_cast<const uint8_t*>(stream.data()) + at, cut - at, out);
        at = cut;
    }
    return out.text;
}

const std::string D(1, char(kDle));

} // namespace

// Every split of a stream with shielded <DLE>s, events inside audio and the closing <ETX> decodes
// the same as the whole stream; a <DLE> that ends one read pairs with the first byte of the next.
TEST(DleDecoder, SameResultAtEveryReadBoundary)
{
    const std::string stream =
        "ab" + D + D + "c" + D + "5" + "de" + D + D + D + "b" + D + "\x03" + "\r\nOK\r\n";
    const std::string expected = "ab" + D + "c<5>de" + D + "<b><\x03>\r\nOK\r\n";
    EXPECT_EQ(decodeSplit(stream, {}), expected);
    for (size_t cut = 0; cut <= stream.size(); ++cut)
        EXPECT_EQ(decodeSplit(stream, {cut}), expected) << "split at " << cut;
    // One byte per read: every <DLE> waits for its partner across calls.
    std::vector<size_t> each;
    for (size_t i = 1; i < stream.size(); ++i)
        each.push_back(i);
    EXPECT_EQ(decodeSplit(stream, each), expected);
}

// A pending <DLE> survives empty reads; reset() forgets it (a reopened port starts clean).
TEST(DleDecoder, PendingDleAcrossEmptyReadsAndReset)
{
    DleDecoder decoder;
    Transcript out;
    decoder.feed(reinterpret_cast<const uint8_t*>(D.data()), 1, out);
    decoder.feed(nullptr, 0, out);
    decoder.feed(reinterpret_cast<const uint8_t*>("#"), 1, out);
    EXPECT_EQ(out.text, "<#>");
    decoder.feed(reinterpret_cast<const uint8_t*>(D.data()), 1, out);
    decoder.reset();
    decoder.feed(reinterpret_cast<const uint8_t*>("x"), 1, out);
    EXPECT_EQ(out.text, "<#>x");
}

// The handler may switch what data means at <ETX>: audio before it, text after it, in one read.
TEST(DleDecoder, HandlerSwitchesAtEndOfStreamWithinOneRead)
{
    struct Router : DleDecoder::Handler
    {
        bool audio = true;
        std::string samples, text;
        void data(const uint8_t* b, size_t n) override
        {
            (audio ? samples : text).append(reinterpret_cast<const char*>(b), n);
        }
        void event(char code) override
        {
            if (code == char(kEtx))
                audio = false;
        }
    } router;
    const std::string stream = "\x7f\x10\x10\x80" + D + "\x03" + "\r\nOK\r\n";
    DleDecoder decoder;
    decoder.feed(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), router);
    EXPECT_EQ(router.samples, "\x7f\x10\x80");
    EXPECT_EQ(router.text, "\r\nOK\r\n");
}

// Shielded audio full of <DLE> bytes decodes back to itself with no events.
TEST(DleShield, RoundTripThroughDecoder)
{
    std::string audio;
    for (int i = 0; i < 512; ++i)
        audio.push_back(char(i % 3 == 0 ? kDle : i & 0xFF));
    std::string shielded;
    dleShield(reinterpret_cast<const uint8_t*>(audio.data()), audio.size(), shielded);
    EXPECT_EQ(shielded.size(), audio.size() + size_t(std::count(audio.begin(), audio.end(), char(kDle))));
    EXPECT_EQ(decodeSplit(shielded, {shielded.size() / 2 + 1}), audio);
}
