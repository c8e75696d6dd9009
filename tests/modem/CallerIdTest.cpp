// Caller-ID parsing: formatted lines, raw single- and multiple-data messages with their checksum,
// private and out-of-area callers, and the voice formats chosen from a modem's list.
#include "CallerId.h"
#include "VoiceFormat.h"

#include <gtest/gtest.h>

using namespace kalvo::modem;

// Formatted lines in any spacing fill the caller; other lines are left alone.
TEST(CallerIdParser, FormattedLines)
{
    CallerIdParser parser;
    EXPECT_TRUE(parser.takeLine("DATE = 0321"));
    EXPECT_TRUE(parser.takeLine("TIME=1405"));
    EXPECT_TRUE(parser.takeLine("NMBR = 5551234"));
    EXPECT_TRUE(parser.takeLine("NAME = JOHN DOE"));
    EXPECT_FALSE(parser.takeLine("RING"));
    EXPECT_FALSE(parser.takeLine("+VSM=131"));
    const CallerId& id = parser.result();
    EXPECT_EQ(id.date, "0321");
    EXPECT_EQ(id.time, "1405");
    EXPECT_EQ(id.number.value_or("-"), "5551234");
    EXPECT_EQ(id.name.value_or("-"), "JOHN DOE");
    EXPECT_EQ(id.absence(), 0);
}

// "P" and "O" are reasons, not numbers or names: both stay missing, and the caller says why.
TEST(CallerIdParser, PrivateAndOutOfArea)
{
    CallerIdParser parser;
    parser.takeLine("NMBR = P");
    EXPECT_FALSE(parser.result().number);
    EXPECT_FALSE(parser.result().name);
    EXPECT_EQ(parser.result().absence(), 'P');
    parser.clear();
    parser.takeLine("NMBR = P");
    parser.takeLine("NAME = O");
    EXPECT_EQ(parser.result().absence(), 'O') << "the missing name's reason";
    parser.clear();
    parser.takeLine("NMBR = O");
    parser.takeLine("NAME = ANN");
    EXPECT_EQ(parser.result().absence(), 'O');
}

// The single-data message of the usual example (checksum 0x51), with and without blanks.
TEST(CallerIdParser, SingleDataMessage)
{
    for (const char* hex : {"04 12 30 39 33 30 31 32 32 34 36 30 39 35 35 35 31 32 31 32 51",
                            "0412303933303132323436303935353531323132 51"}) {
        CallerIdParser parser;
        EXPECT_TRUE(parser.takeLine(std::string("MESG = ") + hex));
        EXPECT_EQ(parser.result().date, "0930") << hex;
        EXPECT_EQ(parser.result().time, "1224");
        EXPECT_EQ(parser.result().number.value_or("-"), "6095551212");
    }
}

// A multiple-data message with date, number and name; any changed byte breaks the checksum and the
// message is dropped without touching what was known; truncated lengths are refused.
TEST(CallerIdParser, MultipleDataMessageAndChecksum)
{
    const std::string good = "80 21 01 08 30 33 32 34 30 39 30 32 02 0A 36 30 39 35 35 35 31 32 31 32 07 09 "
                             "4A 4F 48 4E 20 44 4F 45 20 5B";
    CallerIdParser parser;
    EXPECT_TRUE(parser.takeLine("MESG = " + good));
    EXPECT_EQ(parser.result().number.value_or("-"), "6095551212");
    EXPECT_EQ(parser.result().name.value_or("-"), "JOHN DOE ");
    EXPECT_EQ(parser.result().time, "0902");

    std::vector<uint8_t> bytes;
    ASSERT_TRUE(parseHex(good, bytes));
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::vector<uint8_t> bad = bytes;
        bad[i] ^= 0x01;
        CallerId out;
        out.number = "kept";
        EXPECT_FALSE(decodeCallerIdMessage(bad, out)) << "byte " << i;
        EXPECT_EQ(out.number.value_or("-"), "kept");
    }
    // Private caller with a withheld name in the multiple-data form (number absent 'P', name 'P').
    std::vector<uint8_t> priv = {0x80, 0x06, 0x04, 0x01, 'P', 0x08, 0x01, 'P'};
    uint8_t sum = 0;
    for (uint8_t b : priv)
        sum = uint8_t(sum + b);
    priv.push_back(uint8_t(-sum));
    CallerId out;
    ASSERT_TRUE(decodeCallerIdMessage(priv, out));
    EXPECT_FALSE(out.number);
    EXPECT_FALSE(out.name);
    EXPECT_EQ(out.absence(), 'P');
    // A parameter running past the message's end.
    std::vector<uint8_t> cut = {0x80, 0x03, 0x02, 0x05, '1'};
    cut.push_back(uint8_t(-(0x80 + 0x03 + 0x02 + 0x05 + '1')));
    EXPECT_FALSE(decodeCallerIdMessage(cut, out));
    EXPECT_FALSE(parseHex("80 2", bytes));
    EXPECT_FALSE(parseHex("80 zz", bytes));
}

// The format is chosen by name at 8000 Hz, preferring u-law, then A-law, 16-bit and 8-bit linear;
// ADPCM and formats without 8000 Hz are passed over.
TEST(VoiceFormat, ChosenByNameFromTheList)
{
    auto parse = [](std::vector<std::string> lines) {
        std::vector<OfferedFormat> out;
        for (const auto& line : lines) {
            OfferedFormat f;
            if (parseOfferedFormat(line, f))
                out.push_back(f);
        }
        return out;
    };
    VoiceFormat chosen;
    ASSERT_TRUE(chooseVoiceFormat(
        parse({"0,\"SIGNED PCM\",8,0,(8000),(0),(0)", "1,\"UNSIGNED PCM\",8,0,(8000),(0),(0)",
               "2,\"4-BIT ADPCM\",4,0,(8000),(0),(0)", "4,\"ULAW\",8,0,(8000),(0),(0)",
               "5,\"ALAW\",8,0,(8000),(0),(0)"}),
        chosen));
    EXPECT_EQ(chosen.method, 4);
    EXPECT_EQ(chosen.coding, SampleCoding::MuLaw);
    ASSERT_TRUE(chooseVoiceFormat(
        parse({"129,\"16-BIT LINEAR\",16,0,(7200-11025),(0),(0)", "132,\"G.711A\",8,0,(8000),(0),(0)", "OK"}),
        chosen));
    EXPECT_EQ(chosen.coding, SampleCoding::ALaw);
    ASSERT_TRUE(chooseVoiceFormat(
        parse({"128,\"8-BIT LINEAR\",8,0,(8000),(0),(0)", "129,\"16-BIT LINEAR\",16,0,(7200-11025),(0),(0)"}),
        chosen));
    EXPECT_EQ(chosen.method, 129);
    EXPECT_FALSE(chooseVoiceFormat(
        parse({"2,\"4-BIT ADPCM\",4,0,(8000),(0),(0)", "4,\"ULAW\",8,0,(7200),(0),(0)"}), chosen));
}

// G.711 against table values, and every code survives decode-encode.
TEST(VoiceFormat, G711TablesAndRoundTrip)
{
    EXPECT_EQ(linearToMuLaw(0), 0xFF);
    EXPECT_EQ(muLawToLinear(0x80), 32124);
    EXPECT_EQ(muLawToLinear(0x00), -32124);
    EXPECT_EQ(linearToALaw(0), 0xD5);
    EXPECT_EQ(aLawToLinear(0xAA), 32256);
    EXPECT_EQ(aLawToLinear(0x55), -8);
    for (int code = 0; code < 256; ++code) {
        if (code != 0x7F) { // u-law has two zeros; 0x7F (-0) encodes back as 0xFF
            EXPECT_EQ(linearToMuLaw(muLawToLinear(uint8_t(code))), code) << code;
        }
        EXPECT_EQ(linearToALaw(aLawToLinear(uint8_t(code))), code) << code;
    }
    // 16-bit linear split across reads keeps the half sample.
    std::vector<int16_t> out;
    std::vector<uint8_t> pending;
    const uint8_t bytes[] = {0x34, 0x12, 0xFF};
    decodeSamples(SampleCoding::Linear16, bytes, 3, out, pending);
    const uint8_t more[] = {0x7F};
    decodeSamples(SampleCoding::Linear16, more, 1, out, pending);
    EXPECT_EQ(out, (std::vector<int16_t>{0x1234, 0x7FFF}));
}
