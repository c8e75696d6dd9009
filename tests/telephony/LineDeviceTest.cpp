// Device-level API over simulated lines: structure sizes, the too-small and partial-fill rules,
// version negotiation, handles, configuration problems, location and phones; and the device status
// of a real SIP line whose port is taken.
#include "TelephonyConfig.h"
#include "TelephonyTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>

using namespace kalvo::test;

namespace {

// The fixed parts the line control computes its buffer offsets from.
TEST(TelephonyStructures, FixedPartSizesAndOffsets)
{
    EXPECT_EQ(sizeof(LINEDEVCAPS), 240u);
    EXPECT_EQ(sizeof(LINECALLINFO), 296u);
    EXPECT_EQ(sizeof(LINECALLPARAMS), 112u);
    EXPECT_EQ(sizeof(VARSTRING), 24u);
    EXPECT_EQ(sizeof(LINEADDRESSCAPS), 180u);
    EXPECT_EQ(sizeof(PHONECAPS), 144u);
    EXPECT_EQ(offsetof(LINECALLINFO, dwCallerIDNameOffset), 124u);
    EXPECT_EQ(offsetof(LINEDEVCAPS, dwNumTerminals), 204u);
    EXPECT_EQ(sizeof(LINEDEVSTATUS), 76u);
    EXPECT_EQ(offsetof(LINEDEVSTATUS, dwDevStatusFlags), 56u);
    EXPECT_EQ(offsetof(LINEDEVSTATUS, dwDevSpecificSize), 68u);
    EXPECT_EQ(sizeof(HLINE), 4u);
    EXPECT_EQ(sizeof(DWORD_PTR), sizeof(void*));
}

class LineDeviceTest : public ::testing::Test
{
protected:
    void start(const std::string& conf)
    {
        home = std::make_unique<TelephonyHome>(conf);
        ASSERT_EQ(lineInitialize(&app, nullptr, recordingCallback, "", &numDevs), 0);
    }
    void TearDown() override
    {
        if (app)
            lineShutdown(app);
        home.reset();
    }
    std::unique_ptr<TelephonyHome> home;
    HLINEAPP app = 0;
    DWORD numDevs = 0;
};

// Below the fixed part: STRUCTURETOOSMALL; at the fixed part: filled, needed size told, variable
// fields left out and not a byte written past dwTotalSize; with room: the name is there.
TEST_F(LineDeviceTest, DevCapsTooSmallAndPartialFill)
{
    start(simConf(1, "media_modes = interactivevoice, automatedvoice\nterminals = 3\n"));
    std::vector<unsigned char> buf(2241, 0xAB);
    auto* caps = reinterpret_cast<LINEDEVCAPS*>(buf.data());
    caps->dwTotalSize = 239;
    EXPECT_EQ(lineGetDevCaps(app, 0, TAPI_VERSION_1_4, 0, caps), LINEERR_STRUCTURETOOSMALL);

    caps->dwTotalSize = 240;
    ASSERT_EQ(lineGetDevCaps(app, 0, TAPI_VERSION_1_4, 0, caps), 0);
    EXPECT_GT(caps->dwNeededSize, 240u);
    EXPECT_EQ(caps->dwUsedSize, 240u);
    EXPECT_EQ(caps->dwLineNameSize, 0u);
    EXPECT_EQ(caps->dwLineNameOffset, 0u);
    EXPECT_EQ(caps->dwMediaModes, LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_AUTOMATEDVOICE);
    EXPECT_EQ(caps->dwNumTerminals, 3u);
    for (size_t i = 240; i < buf.size(); ++i)
        ASSERT_EQ(buf[i], 0xAB) << "byte " << i << " written past dwTotalSize";

    caps->dwTotalSize = 2241;
    ASSERT_EQ(lineGetDevCaps(app, 0, TAPI_VERSION_1_4, 0, caps), 0);
    EXPECT_EQ(caps->dwNeededSize, caps->dwUsedSize);
    ASSERT_GT(caps->dwLineNameSize, 0u);
    EXPECT_STREQ(reinterpret_cast<char*>(buf.data() + caps->dwLineNameOffset), "Sim 0");
    EXPECT_NE(caps->dwLineStates & LINEDEVSTATE_RINGING, 0u);

    std::vector<unsigned char> abuf(180);
    auto* acaps = reinterpret_cast<LINEADDRESSCAPS*>(abuf.data());
    acaps->dwTotalSize = 180;
    ASSERT_EQ(lineGetAddressCaps(app, 0, 0, TAPI_VERSION_1_4, 0, acaps), 0);
    EXPECT_NE(acaps->dwCallerIDFlags, 0u);
    EXPECT_EQ(lineGetAddressCaps(app, 0, 1, TAPI_VERSION_1_4, 0, acaps), LINEERR_INVALADDRESSID);
}

// Caller id texts longer than the 2001-byte area are left out (size 0) while the flags stay, and a
// missing name and number give the UNKNOWN flag.
TEST_F(LineDeviceTest, CallInfoLongAndMissingCallerId)
{
    start(simConf(1));
    HLINE line = 0;
    ASSERT_EQ(lineOpen(app, 0, &line, TAPI_VERSION_1_4, 0, 1, LINECALLPRIVILEGE_OWNER,
                       LINEMEDIAMODE_AUTOMATEDVOICE, nullptr),
              0);
    std::string longName(2100, 'n');
    home->sim(0)->offerCall(std::string("5551234"), longName);
    auto& log = NotificationLog::instance();
    ASSERT_TRUE(waitUntil([&] { return !log.of(LINE_CALLINFO).empty(); }));
    HCALL call = log.of(LINE_CALLINFO)[0].hDevice;
    std::vector<unsigned char> buf(2297 + 8, 0xCD);
    auto* info = reinterpret_cast<LINECALLINFO*>(buf.data());
    info->dwTotalSize = 2297;
    ASSERT_EQ(lineGetCallInfo(call, info), 0);
    EXPECT_EQ(info->dwCallerIDFlags, LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME);
    EXPECT_STREQ(reinterpret_cast<char*>(buf.data() + info->dwCallerIDOffset), "5551234");
    EXPECT_EQ(info->dwCallerIDNameSize, 0u);
    EXPECT_EQ(info->dwNeededSize, 296u + 8u + 2101u + info->dwCalledIDSize + info->dwDisplayableAddressSize);
    for (size_t i = 2297; i < buf.size(); ++i)
        ASSERT_EQ(buf[i], 0xCD);
    info->dwTotalSize = 295;
    EXPECT_EQ(lineGetCallInfo(call, info), LINEERR_STRUCTURETOOSMALL);

    home->sim(0)->setCallerId(std::nullopt, std::nullopt);
    info->dwTotalSize = 2297;
    ASSERT_EQ(lineGetCallInfo(call, info), 0);
    // A simulated caller is complete from the start: nothing given means none was sent.
    EXPECT_EQ(info->dwCallerIDFlags, LINECALLPARTYID_UNAVAIL);
    EXPECT_EQ(info->dwCallerIDSize, 0u);
}

// Version negotiation is per device: a line that refuses 1.4 can't be opened at 1.4.
TEST_F(LineDeviceTest, VersionNegotiationPerDevice)
{
    start("[Line0]\nname = Old\nprovider = sim\nrefuse_1_4 = yes\n[Line1]\nname = New\nprovider = sim\n");
    ASSERT_EQ(numDevs, 2u);
    DWORD version = 0;
    LINEEXTENSIONID ext;
    EXPECT_EQ(lineNegotiateAPIVersion(app, 0, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version, &ext),
              LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_EQ(lineNegotiateAPIVersion(app, 0, TAPI_VERSION_1_0, TAPI_VERSION_1_4, &version, &ext), 0);
    EXPECT_EQ(version, TAPI_VERSION_1_0);
    EXPECT_EQ(lineNegotiateAPIVersion(app, 1, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version, &ext), 0);
    EXPECT_EQ(version, TAPI_VERSION_1_4);
    EXPECT_EQ(lineNegotiateAPIVersion(app, 2, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version, &ext),
              LINEERR_BADDEVICEID);
    EXPECT_EQ(lineNegotiateAPIVersion(app + 999, 1, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version, &ext),
              LINEERR_INVALAPPHANDLE);
    HLINE line = 0;
    EXPECT_EQ(lineOpen(app, 0, &line, TAPI_VERSION_1_4, 0, 1, LINECALLPRIVILEGE_OWNER,
                       LINEMEDIAMODE_AUTOMATEDVOICE, nullptr),
              LINEERR_INCOMPATIBLEAPIVERSION);
    std::vector<unsigned char> buf(2241);
    reinterpret_cast<LINEDEVCAPS*>(buf.data())->dwTotalSize = 2241;
    EXPECT_EQ(lineGetDevCaps(app, 0, TAPI_VERSION_1_4, 0, reinterpret_cast<LINEDEVCAPS*>(buf.data())),
              LINEERR_INCOMPATIBLEAPIVERSION);
}

// Handles are non-zero and distinct; stale and foreign handles are refused; owners need media modes.
TEST_F(LineDeviceTest, HandlesAndOpenRules)
{
    start(simConf(2));
    HLINEAPP app2 = 0;
    DWORD n = 0;
    ASSERT_EQ(lineInitialize(&app2, nullptr, recordingCallback, "", &n), 0);
    HLINE a = 0, b = 0, c = 0;
    ASSERT_EQ(lineOpen(app, 0, &a, TAPI_VERSION_1_4, 0, 1, LINECALLPRIVILEGE_OWNER,
                       LINEMEDIAMODE_AUTOMATEDVOICE, nullptr),
              0);
    ASSERT_EQ(lineOpen(app2, 0, &b, TAPI_VERSION_1_4, 0, 2, LINECALLPRIVILEGE_NONE, 0, nullptr), 0);
    ASSERT_EQ(lineOpen(app, 1, &c, TAPI_VERSION_1_4, 0, 3, LINECALLPRIVILEGE_MONITOR, 0, nullptr), 0);
    std::set<DWORD> all{app, app2, a, b, c};
    EXPECT_EQ(all.size(), 5u);
    EXPECT_EQ(all.count(0), 0u);
    HLINE bad = 0;
    EXPECT_EQ(lineOpen(app, 0, &bad, TAPI_VERSION_1_4, 0, 1, LINECALLPRIVILEGE_OWNER, 0, nullptr),
              LINEERR_INVALMEDIAMODE);
    EXPECT_EQ(
        lineOpen(app, 0, &bad, TAPI_VERSION_1_4, 0, 1, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_G3FAX, nullptr),
        LINEERR_INVALMEDIAMODE);
    EXPECT_EQ(lineOpen(app, 0, &bad, TAPI_VERSION_1_4, 0, 1, 0x10, LINEMEDIAMODE_AUTOMATEDVOICE, nullptr),
              LINEERR_INVALPRIVSELECT);
    EXPECT_EQ(lineOpen(app, 5, &bad, TAPI_VERSION_1_4, 0, 1, LINECALLPRIVILEGE_OWNER,
                       LINEMEDIAMODE_AUTOMATEDVOICE, nullptr),
              LINEERR_BADDEVICEID);
    EXPECT_EQ(lineClose(a), 0);
    EXPECT_EQ(lineClose(a), LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(lineShutdown(app2), 0);
    EXPECT_EQ(lineClose(b), LINEERR_INVALLINEHANDLE) << "shutdown closed it";
    EXPECT_EQ(lineInitialize(nullptr, nullptr, recordingCallback, "", &n), LINEERR_INVALPOINTER);
}

// The default file is created with the SIP line, which the built-in SIP provider takes; unknown keys
// and sections are reported; [location] feeds tapiGetLocationInfo.
TEST_F(LineDeviceTest, ConfigurationDefaultsProblemsAndLocation)
{
    ensureApplication();
    IsolatedHome isolated;
    std::string path = qgetenv("KALVO_TELEPHONY_CONF").toStdString();
    ASSERT_TRUE(kalvo::telephony::reloadConfiguration());
    std::ifstream created(path);
    ASSERT_TRUE(created.good());
    std::string text((std::istreambuf_iterator<char>(created)), {});
    EXPECT_NE(text.find("name = SIP Line"), std::string::npos);
    EXPECT_NE(text.find("listen = 0.0.0.0:5060"), std::string::npos);
    auto problems = kalvo::telephony::configurationProblems();
    bool sipReported = false;
    for (const auto& p : problems)
        sipReported |= p.find("\"SIP Line\"") != std::string::npos && p.find("left out") != std::string::npos;
    EXPECT_FALSE(sipReported);
    char country[8] = "x", city[8] = "y";
    EXPECT_EQ(tapiGetLocationInfo(country, city), 0);
    EXPECT_STREQ(country, "1");
    EXPECT_STREQ(city, "");

    std::ofstream(path) << "[Line0]\nname = S\nprovider = sim\ncolour = blue\n[Line1]\nname = T\nprovider = "
                           "nosuch\n[Line2]\nname = U\nprovider = sim\n[extra]\n[location]\ncountry_code = "
                           "44\narea_code = 1234567890\n";
    ASSERT_TRUE(kalvo::telephony::reloadConfiguration());
    problems = kalvo::telephony::configurationProblems();
    std::string joined;
    for (const auto& p : problems)
        joined += p + "\n";
    EXPECT_NE(joined.find("unknown key 'colour'"), std::string::npos) << joined;
    EXPECT_NE(joined.find("provider 'nosuch'"), std::string::npos) << joined;
    EXPECT_NE(joined.find("unknown section [extra]"), std::string::npos) << joined;
    DWORD n = 0;
    HLINEAPP a = 0;
    ASSERT_EQ(lineInitialize(&a, nullptr, recordingCallback, "", &n), 0);
    EXPECT_EQ(n, 2u) << "the left-out line leaves no gap";
    EXPECT_FALSE(kalvo::telephony::reloadConfiguration()) << "not while an application is initialised";
    EXPECT_EQ(tapiGetLocationInfo(country, city), 0);
    EXPECT_STREQ(country, "44");
    EXPECT_STREQ(city, "1234567") << "cut to the 8-byte buffer";
    EXPECT_EQ(lineShutdown(a), 0);
}

// Phones: none are offered, and the phone calls fail cleanly.
TEST_F(LineDeviceTest, PhonesFailCleanly)
{
    start(simConf(1));
    HPHONEAPP phoneApp = 0;
    DWORD n = 9;
    ASSERT_EQ(phoneInitialize(&phoneApp, nullptr, recordingCallback, "0", &n), 0);
    EXPECT_EQ(n, 0u);
    DWORD version;
    PHONEEXTENSIONID ext;
    EXPECT_EQ(phoneNegotiateAPIVersion(phoneApp, 0, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version, &ext),
              PHONEERR_BADDEVICEID);
    EXPECT_EQ(phoneSetHookSwitch(0, PHONEHOOKSWITCHDEV_SPEAKER, PHONEHOOKSWITCHMODE_SPEAKER),
              PHONEERR_INVALPHONEHANDLE);
    EXPECT_EQ(phoneShutdown(phoneApp), 0);
    EXPECT_EQ(phoneShutdown(phoneApp), PHONEERR_INVALAPPHANDLE);
}

// The dialogs: no dialling-rules dialog (the location lives in the file), and the line
// configuration opens the configuration file in the editor named by KALVO_CONFIG_EDITOR.
TEST_F(LineDeviceTest, DialogsCheckTheirDeviceAndStartTheEditor)
{
    start(simConf(1));
    ScopedEnv editor("KALVO_CONFIG_EDITOR", "true");
    EXPECT_EQ(lineConfigDialog(0, nullptr, ""), 0);
    EXPECT_EQ(lineConfigDialog(1, nullptr, ""), LINEERR_BADDEVICEID);
    ScopedEnv missing("KALVO_CONFIG_EDITOR", "/nonexistent/editor");
    EXPECT_EQ(lineConfigDialog(0, nullptr, ""), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(lineTranslateDialog(0, 0, TAPI_VERSION_1_4, nullptr, nullptr), 0);
    EXPECT_EQ(lineTranslateDialog(0, 3, TAPI_VERSION_1_4, nullptr, nullptr), LINEERR_BADDEVICEID);
}

// A SIP line that cannot listen (its UDP port held by another socket) is open but out of service,
// and its status carries the reason as zero-terminated device-specific text, left out (needed size
// told, nothing written past dwTotalSize) when it does not fit; a simulated line is in service; a
// closed handle is refused.
TEST_F(LineDeviceTest, DevStatusOfALineThatCannotListen)
{
    HeldUdpPort held;
    ASSERT_NE(held.port(), 0);
    const int port = held.port();
    start("[Line0]\nname = SIP Line\nprovider = sip\nlisten = 127.0.0.1:" + std::to_string(port) + "\n\n" +
          "[Line1]\nname = Sim 1\nprovider = sim\n");
    ASSERT_EQ(numDevs, 2u);
    HLINE sip = 0;
    HLINE sim = 0;
    ASSERT_EQ(lineOpen(app, 0, &sip, TAPI_VERSION_1_4, 0, 0, LINECALLPRIVILEGE_OWNER,
                       LINEMEDIAMODE_AUTOMATEDVOICE, nullptr),
              0);
    ASSERT_EQ(lineOpen(app, 1, &sim, TAPI_VERSION_1_4, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr), 0);

    std::vector<unsigned char> buf(sizeof(LINEDEVSTATUS) + 200, 0xAB);
    auto* status = reinterpret_cast<LINEDEVSTATUS*>(buf.data());
    status->dwTotalSize = sizeof(LINEDEVSTATUS) - 1;
    EXPECT_EQ(lineGetLineDevStatus(sip, status), LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(lineGetLineDevStatus(sip, nullptr), LINEERR_INVALPOINTER);

    status->dwTotalSize = sizeof(LINEDEVSTATUS);
    ASSERT_EQ(lineGetLineDevStatus(sip, status), 0);
    EXPECT_EQ(status->dwDevStatusFlags, LINEDEVSTATUSFLAGS_CONNECTED);
    EXPECT_GT(status->dwNeededSize, sizeof(LINEDEVSTATUS));
    EXPECT_EQ(status->dwUsedSize, sizeof(LINEDEVSTATUS));
    EXPECT_EQ(status->dwDevSpecificSize, 0u);
    EXPECT_EQ(status->dwDevSpecificOffset, 0u);
    for (size_t i = sizeof(LINEDEVSTATUS); i < buf.size(); ++i)
        ASSERT_EQ(buf[i], 0xAB) << "byte " << i << " written past dwTotalSize";

    status->dwTotalSize = static_cast<DWORD>(buf.size());
    ASSERT_EQ(lineGetLineDevStatus(sip, status), 0);
    EXPECT_EQ(status->dwNeededSize, status->dwUsedSize);
    EXPECT_EQ(status->dwNumOpens, 1u);
    EXPECT_EQ(status->dwOpenMediaModes, LINEMEDIAMODE_AUTOMATEDVOICE);
    EXPECT_EQ(status->dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE, 0u);
    ASSERT_GT(status->dwDevSpecificSize, 1u);
    const char* reason = reinterpret_cast<const char*>(buf.data() + status->dwDevSpecificOffset);
    EXPECT_EQ(std::strlen(reason) + 1, status->dwDevSpecificSize);
    EXPECT_NE(std::string(reason).find("Address already in use"), std::string::npos) << reason;

    ASSERT_EQ(lineGetLineDevStatus(sim, status), 0);
    EXPECT_EQ(status->dwDevStatusFlags, LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE);
    EXPECT_EQ(status->dwDevSpecificSize, 0u);

    ASSERT_EQ(lineClose(sip), 0);
    EXPECT_EQ(lineGetLineDevStatus(sip, status), LINEERR_INVALLINEHANDLE);
}

} // namespace
