// GetTapiStrError through the loaded control: the whole code-to-text table and how the argument
// is converted.
#include "LineControlTestSupport.h"

#include "Telephony.h"
#include "VbError.h"

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;

namespace {

class TapiErrorText : public ::testing::Test
{
protected:
    ControlHome m_home{simConf(1)};
    QString text(int32_t code) { return m_home.control().GetTapiStrError(code); }
};

} // namespace

// The texts the host matches literally, with their leading spaces and the two odd rows.
TEST_F(TapiErrorText, KnownTextsExactly)
{
    EXPECT_EQ(text(0), " SUCCESS");
    EXPECT_EQ(text(LINEERR_ALLOCATED), " LINEERR_ALLOCATED");
    EXPECT_EQ(text(LINEERR_INUSE), " LINEERR_INUSE");
    EXPECT_EQ(text(LINEERR_INCOMPATIBLEAPIVERSION), " LINEERR_INCOMPATIBLEAPIVERSION");
    EXPECT_EQ(text(LINEERR_NOMULTIPLEINSTANCE), " LINEERR_NOMULTIPLEINSTANCE");
    EXPECT_EQ(text(PHONEERR_ALLOCATED), "");
    EXPECT_EQ(text(PHONEERR_BADDEVICEID), " PHONEERR_BADDEVICEID");
    EXPECT_EQ(text(PHONEERR_INUSE), " INUSE");
    EXPECT_EQ(text(PHONEERR_INVALHOOKSWITCHMODE), " INVALHOOKSWITCHMODE");
    EXPECT_EQ(text(PHONEERR_REINIT), " REINIT");
}

// Every line code from 0x80000001 to 0x80000056 has its " LINEERR_" text except the two gaps, every
// phone code from 0x90000003 to 0x90000023 a prefix-less text except 0x9000001E, and anything else
// (request ids included) is "Unknown TAPI Error".
TEST_F(TapiErrorText, WholeTableAndItsGaps)
{
    for (uint32_t code = 0x80000001u; code <= 0x80000056u; ++code) {
        const QString t = text(static_cast<int32_t>(code));
        if (code == 0x80000004u || code == 0x80000031u)
            EXPECT_EQ(t, "Unknown TAPI Error") << std::hex << code;
        else
            EXPECT_TRUE(t.startsWith(" LINEERR_") && t.size() > 9) << std::hex << code;
    }
    for (uint32_t code = 0x90000003u; code <= 0x90000023u; ++code) {
        const QString t = text(static_cast<int32_t>(code));
        if (code == 0x9000001Eu)
            EXPECT_EQ(t, "Unknown TAPI Error");
        else
            EXPECT_TRUE(t.size() > 1 && t.startsWith(" ") && !t.startsWith(" PHONEERR_")) << std::hex << code;
    }
    for (int32_t code : {12, 1, -1, static_cast<int32_t>(0x80000057u), static_cast<int32_t>(0x90000024u)})
        EXPECT_EQ(text(code), "Unknown TAPI Error") << code;
}

// The argument is a variant: numbers in text convert (hexadecimal as written), other text is a type
// mismatch raised to the caller.
TEST_F(TapiErrorText, ConvertsTheVariantArgument)
{
    TapiControl& c = m_home.control();
    std::vector<korvan::Variant> args{korvan::Variant::fromString("&H8000000F")};
    EXPECT_EQ(c.invoke(korvan::DISPID_GetTapiStrError, args).strVal, " LINEERR_INUSE");
    args = {korvan::Variant::fromString("0")};
    EXPECT_EQ(c.invoke(korvan::DISPID_GetTapiStrError, args).strVal, " SUCCESS");
    args = {korvan::Variant::fromString("busy")};
    try {
        c.invoke(korvan::DISPID_GetTapiStrError, args);
        FAIL() << "text converted";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 13);
    }
}
