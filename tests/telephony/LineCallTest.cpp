// The line API over a simulated line: handles, request ids, delivery, call state sequences,
// status-message filtering, digit monitoring, wave device ids and shutdown.
#include "TelephonyTestSupport.h"
#include "WaveDeviceTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

using namespace kalvo::test;

namespace {

constexpr DWORD_PTR kInstance = static_cast<DWORD_PTR>(0x1234567890ABCDEFull); // pointer-sized

// An application with line 0 open as owner for automated voice, subscribed to every line state.
class LineCallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        home = std::make_unique<TelephonyHome>(simConf(2));
        line0 = home->sim(0);
        ASSERT_NE(line0, nullptr);
        DWORD num = 0;
        ASSERT_EQ(lineInitialize(&app, nullptr, recordingCallback, "", &num), 0);
        ASSERT_EQ(num, 2u);
        DWORD version = 0;
        LINEEXTENSIONID ext;
        ASSERT_EQ(lineNegotiateAPIVersion(app, 0, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version, &ext), 0);
        ASSERT_EQ(lineOpen(app, 0, &line, version, 0, kInstance, LINECALLPRIVILEGE_OWNER,
                           LINEMEDIAMODE_AUTOMATEDVOICE, nullptr),
                  0);
        std::vector<unsigned char> buf(2241);
        auto* caps = reinterpret_cast<LINEDEVCAPS*>(buf.data());
        caps->dwTotalSize = 2241;
        ASSERT_EQ(lineGetDevCaps(app, 0, version, 0, caps), 0);
        ASSERT_EQ(lineSetStatusMessages(line, caps->dwLineStates, 0), 0);
    }
    void TearDown() override
    {
        if (app)
            lineShutdown(app);
        home.reset();
    }

    // Offers a call and waits for its OFFERING; returns the application's call handle.
    HCALL offer(std::optional<std::string> number = "5551234", std::optional<std::string> name = "Alice")
    {
        size_t before = NotificationLog::instance().of(LINE_CALLSTATE, LINECALLSTATE_OFFERING).size();
        line0->offerCall(number, name);
        EXPECT_TRUE(waitUntil([&] {
            return NotificationLog::instance().of(LINE_CALLSTATE, LINECALLSTATE_OFFERING).size() > before;
        }));
        return NotificationLog::instance().of(LINE_CALLSTATE, LINECALLSTATE_OFFERING).back().hDevice;
    }
    bool waitState(HCALL call, DWORD state)
    {
        return waitUntil([&] {
            auto states = NotificationLog::instance().callStates(call);
            return std::find(states.begin(), states.end(), state) != states.end();
        });
    }

    std::unique_ptr<TelephonyHome> home;
    kalvo::sim::SimLine* line0 = nullptr;
    HLINEAPP app = 0;
    HLINE line = 0;
};

// A normal call: OFFERING with owner privilege, caller id, rings with their count, answer with a
// positive request id whose LINE_REPLY (result 0) comes before CONNECTED, remote hang-up,
// drop to IDLE, deallocation.
TEST_F(LineCallTest, NormalCallRunsTheWholeStateSequence)
{
    HCALL call = offer();
    auto& log = NotificationLog::instance();
    EXPECT_EQ(log.of(LINE_CALLSTATE, LINECALLSTATE_OFFERING).back().p3, LINECALLPRIVILEGE_OWNER);
    EXPECT_EQ(log.of(LINE_CALLSTATE).back().instance, kInstance);
    line0->ring(3);
    ASSERT_TRUE(waitUntil([&] { return log.of(LINE_LINEDEVSTATE).size() == 3; }));
    for (DWORD i = 0; i < 3; ++i) {
        Seen ring = log.of(LINE_LINEDEVSTATE)[i];
        EXPECT_EQ(ring.hDevice, line);
        EXPECT_EQ(ring.p1, LINEDEVSTATE_RINGING);
        EXPECT_EQ(ring.p3, i + 1);
    }
    ASSERT_EQ(log.of(LINE_CALLINFO).size(), 1u);
    EXPECT_EQ(log.of(LINE_CALLINFO)[0].p1, LINECALLINFOSTATE_CALLERID);

    LONG request = lineAnswer(call, nullptr, 0);
    ASSERT_GT(request, 0);
    ASSERT_TRUE(waitState(call, LINECALLSTATE_CONNECTED));
    size_t replyAt = 0, connectedAt = 0;
    for (size_t i = 0; i < log.all.size(); ++i) {
        if (log.all[i].msg == LINE_REPLY && log.all[i].p1 == DWORD_PTR(request))
            replyAt = i + 1;
        if (log.all[i].msg == LINE_CALLSTATE && log.all[i].p1 == LINECALLSTATE_CONNECTED)
            connectedAt = i + 1;
    }
    ASSERT_NE(replyAt, 0u);
    EXPECT_LT(replyAt, connectedAt);
    EXPECT_EQ(log.all[replyAt - 1].p2, 0u);
    EXPECT_EQ(log.all[replyAt - 1].hDevice, 0u);
    EXPECT_EQ(log.all[replyAt - 1].instance, kInstance);

    line0->hangUp();
    ASSERT_TRUE(waitState(call, LINECALLSTATE_DISCONNECTED));
    EXPECT_EQ(log.of(LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED).back().p2, LINEDISCONNECTMODE_NORMAL);
    LONG dropRequest = lineDrop(call, nullptr, 0);
    EXPECT_GT(dropRequest, request);
    ASSERT_TRUE(waitState(call, LINECALLSTATE_IDLE));
    EXPECT_EQ(log.callStates(call), (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED,
                                                        LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
    EXPECT_EQ(lineDeallocateCall(call), 0);
    EXPECT_EQ(lineDeallocateCall(call), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(lineGetCallInfo(call, nullptr), LINEERR_INVALCALLHANDLE);
}

// Notifications run on the thread that called lineInitialize, in order, never inside an API
// call, even when the provider reports from another thread.
TEST_F(LineCallTest, DeliveryIsQueuedToTheInitialisingThreadInOrder)
{
    auto& log = NotificationLog::instance();
    std::thread other([&] {
        line0->offerCall(std::string("1"), std::nullopt);
        line0->ring(5);
    });
    other.join();
    EXPECT_TRUE(log.all.empty()) << "nothing may run before the event loop does";
    ASSERT_TRUE(waitUntil([&] { return log.of(LINE_LINEDEVSTATE).size() == 5; }));
    for (const Seen& s : log.all)
        EXPECT_EQ(s.thread, std::this_thread::get_id());
    ASSERT_EQ(log.all.size(), 7u);
    EXPECT_EQ(log.all[0].msg, DWORD(LINE_CALLSTATE));
    EXPECT_EQ(log.all[1].msg, DWORD(LINE_CALLINFO));
    for (size_t i = 2; i < 7; ++i)
        EXPECT_EQ(log.all[i].p3, i - 1);

    // An API call made from inside the callback does not deliver anything re-entrantly.
    int depth = 0, maxDepth = 0;
    log.onNotification = [&](const Seen& s) {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (s.msg == LINE_LINEDEVSTATE && s.p3 == 6)
            lineAnswer(log.of(LINE_CALLSTATE, LINECALLSTATE_OFFERING).back().hDevice, nullptr, 0);
        --depth;
    };
    line0->ring(1);
    ASSERT_TRUE(waitUntil([&] { return !log.of(LINE_CALLSTATE, LINECALLSTATE_CONNECTED).empty(); }));
    EXPECT_EQ(maxDepth, 1);
}

// A caller who gives up while it rings: OFFERING then DISCONNECTED without CONNECTED; the owner's
// drop takes it to IDLE.
TEST_F(LineCallTest, CallerGivesUpWhileRinging)
{
    HCALL call = offer();
    line0->ring(2);
    line0->hangUp();
    ASSERT_TRUE(waitState(call, LINECALLSTATE_DISCONNECTED));
    EXPECT_EQ(lineAnswer(call, nullptr, 0), LINEERR_INVALCALLSTATE);
    EXPECT_GT(lineDrop(call, nullptr, 0), 0);
    ASSERT_TRUE(waitState(call, LINECALLSTATE_IDLE));
    EXPECT_EQ(NotificationLog::instance().callStates(call),
              (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
}

// A far end that takes its call from DISCONNECTED to IDLE at once (as the SIP line does on a BYE):
// the owner's drop that follows is accepted and replied to with success, as on any line.
TEST_F(LineCallTest, DropAfterTheFarEndWentIdleSucceeds)
{
    HCALL call = offer();
    ASSERT_GT(lineAnswer(call, nullptr, 0), 0);
    ASSERT_TRUE(waitState(call, LINECALLSTATE_CONNECTED));
    line0->hangUp(true);
    ASSERT_TRUE(waitState(call, LINECALLSTATE_IDLE));
    auto& log = NotificationLog::instance();
    const size_t replies = log.of(LINE_REPLY).size();
    const LONG drop = lineDrop(call, nullptr, 0);
    ASSERT_GT(drop, 0);
    ASSERT_TRUE(waitUntil([&] { return log.of(LINE_REPLY).size() > replies; }));
    EXPECT_EQ(log.of(LINE_REPLY).back().p1, DWORD_PTR(drop));
    EXPECT_EQ(static_cast<LONG>(log.of(LINE_REPLY).back().p2), 0);
    EXPECT_EQ(lineDeallocateCall(call), 0);
}

// A second call offered while one is connected gets its own handle and its own states.
TEST_F(LineCallTest, SecondOfferedCallWhileOneIsActive)
{
    HCALL first = offer();
    ASSERT_GT(lineAnswer(first, nullptr, 0), 0);
    ASSERT_TRUE(waitState(first, LINECALLSTATE_CONNECTED));
    HCALL second = offer("777", std::nullopt);
    EXPECT_NE(first, second);
    std::vector<unsigned char> buf(2297);
    auto* info = reinterpret_cast<LINECALLINFO*>(buf.data());
    info->dwTotalSize = 2297;
    ASSERT_EQ(lineGetCallInfo(second, info), 0);
    EXPECT_EQ(info->hLine, line);
    // The name the simulated caller never sent is said to be unavailable beside the number.
    EXPECT_EQ(info->dwCallerIDFlags, LINECALLPARTYID_ADDRESS | LINECALLPARTYID_UNAVAIL);
    EXPECT_STREQ(reinterpret_cast<char*>(buf.data()) + info->dwCallerIDOffset, "777");
    ASSERT_EQ(lineGetCallInfo(first, info), 0);
    EXPECT_EQ(info->dwCallerIDFlags, LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME);
    EXPECT_EQ(NotificationLog::instance().callStates(first),
              (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED}));
}

// lineShutdown with a call up drops the call and frees the handles; notifications queued before
// the shutdown are dropped, and events after it reach nobody.
TEST_F(LineCallTest, ShutdownWithACallUpDropsItAndDropsLateNotifications)
{
    HCALL call = offer();
    ASSERT_GT(lineAnswer(call, nullptr, 0), 0);
    ASSERT_TRUE(waitState(call, LINECALLSTATE_CONNECTED));
    line0->ring(1);          // not ringing any more: nothing
    line0->sendDigits("12"); // queued for nobody (no monitoring)
    line0->resendCallInfo(); // queued, must be dropped by the shutdown
    ASSERT_EQ(lineShutdown(app), 0);
    HLINEAPP gone = app;
    app = 0;
    size_t seen = NotificationLog::instance().all.size();
    pump(50);
    EXPECT_EQ(NotificationLog::instance().all.size(), seen);
    EXPECT_EQ(line0->callState(line0->currentCall()), LINECALLSTATE_IDLE);
    EXPECT_EQ(lineDrop(call, nullptr, 0), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(lineClose(line), LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(lineShutdown(gone), LINEERR_INVALAPPHANDLE);
    line0->offerCall(std::string("9"), std::nullopt);
    pump(30);
    EXPECT_EQ(NotificationLog::instance().all.size(), seen);
}

// Only the line states asked for with lineSetStatusMessages arrive.
TEST_F(LineCallTest, StatusMessagesFilterLineStates)
{
    ASSERT_EQ(lineSetStatusMessages(line, 0, 0), 0);
    offer();
    line0->ring(2);
    pump(50);
    EXPECT_TRUE(NotificationLog::instance().of(LINE_LINEDEVSTATE).empty());
    ASSERT_EQ(lineSetStatusMessages(line, LINEDEVSTATE_RINGING, 0), 0);
    line0->ring(1);
    ASSERT_TRUE(waitUntil([] { return NotificationLog::instance().of(LINE_LINEDEVSTATE).size() == 1; }));
    EXPECT_EQ(NotificationLog::instance().of(LINE_LINEDEVSTATE)[0].p3, 3u) << "the count goes on";
    EXPECT_EQ(lineSetStatusMessages(line, 0x80000000u, 0), LINEERR_INVALLINESTATE);
    EXPECT_EQ(lineSetStatusMessages(0, LINEDEVSTATE_RINGING, 0), LINEERR_INVALLINEHANDLE);
}

// Digits arrive only while monitoring is on for the call.
TEST_F(LineCallTest, DigitMonitoringOnAndOff)
{
    HCALL call = offer();
    ASSERT_GT(lineAnswer(call, nullptr, 0), 0);
    ASSERT_TRUE(waitState(call, LINECALLSTATE_CONNECTED));
    auto& log = NotificationLog::instance();
    line0->sendDigits("1");
    pump(30);
    EXPECT_TRUE(log.of(LINE_MONITORDIGITS).empty());
    ASSERT_EQ(lineMonitorDigits(call, LINEDIGITMODE_DTMF), 0);
    line0->sendDigits("42#");
    ASSERT_TRUE(waitUntil([&] { return log.of(LINE_MONITORDIGITS).size() == 3; }));
    EXPECT_EQ(log.of(LINE_MONITORDIGITS)[0].p1 & 0xFFFF, DWORD_PTR('4'));
    EXPECT_EQ(log.of(LINE_MONITORDIGITS)[2].p1 & 0xFFFF, DWORD_PTR('#'));
    EXPECT_EQ(log.of(LINE_MONITORDIGITS)[0].p2, LINEDIGITMODE_DTMF);
    ASSERT_EQ(lineMonitorDigits(call, 0), 0);
    line0->sendDigits("9");
    pump(30);
    EXPECT_EQ(log.of(LINE_MONITORDIGITS).size(), 3u);
    EXPECT_EQ(lineMonitorDigits(0, 0), LINEERR_INVALCALLHANDLE) << "a line without a call";
    EXPECT_EQ(lineMonitorDigits(call, 0x100), LINEERR_INVALDIGITMODE);

    ASSERT_EQ(lineGenerateDigits(call, LINEDIGITMODE_DTMF, "123#", 0), 0);
    ASSERT_TRUE(waitUntil([&] { return log.of(LINE_GENERATE).size() == 1; }));
    EXPECT_EQ(log.of(LINE_GENERATE)[0].p1, LINEGENERATETERM_DONE);
    EXPECT_EQ(line0->generatedDigits(), "123#");
    EXPECT_EQ(lineGenerateDigits(call, LINEDIGITMODE_DTMF, "12x", 0), LINEERR_INVALDIGITS);
}

// Wave devices: by line they always exist; by call only while the call is not idle. The ids are
// in the line range of the wave device table and name the sim line's devices.
TEST_F(LineCallTest, WaveDeviceIdsByLineAndByCall)
{
    std::vector<unsigned char> buf(2025);
    auto* vs = reinterpret_cast<VARSTRING*>(buf.data());
    vs->dwTotalSize = 2025;
    ASSERT_EQ(lineGetID(line, 0, 0, LINECALLSELECT_LINE, vs, "wave/out"), 0);
    ASSERT_EQ(vs->dwStringSize, 4u);
    DWORD outId;
    std::memcpy(&outId, buf.data() + vs->dwStringOffset, 4);
    EXPECT_TRUE(kalvo::wave::WaveDeviceTable::isLineDevice(outId));
    auto device = kalvo::wave::WaveDeviceTable::instance().find(kalvo::wave::WaveDirection::Out, outId);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->info().name, "Sim 0 (wave out)");

    ASSERT_EQ(lineGetID(line, 0, 0, LINECALLSELECT_LINE, vs, "wave/in/out"), 0);
    EXPECT_EQ(vs->dwStringSize, 8u);
    ASSERT_EQ(lineGetID(line, 0, 0, LINECALLSELECT_LINE, vs, "tapi/phone"), 0);
    EXPECT_EQ(vs->dwStringOffset, 0u) << "no phone device: no identifier";
    EXPECT_EQ(lineGetID(line, 0, 0, LINECALLSELECT_LINE, vs, ""), LINEERR_INVALDEVICECLASS);
    EXPECT_EQ(lineGetID(line, 0, 0, LINECALLSELECT_CALL, vs, "wave/out"), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(lineGetID(line, 0, 0, 3, vs, "wave/out"), LINEERR_INVALCALLSELECT);

    HCALL call = offer();
    ASSERT_EQ(lineGetID(0, 0, call, LINECALLSELECT_CALL, vs, "wave/out"), 0);
    DWORD byCall;
    std::memcpy(&byCall, buf.data() + vs->dwStringOffset, 4);
    EXPECT_EQ(byCall, outId);
    line0->hangUp(true);
    ASSERT_TRUE(waitState(call, LINECALLSTATE_IDLE));
    EXPECT_EQ(lineGetID(0, 0, call, LINECALLSELECT_CALL, vs, "wave/out"), LINEERR_INVALCALLSTATE);
}

// Pending requests: ids are distinct and positive, the reply carries the provider's result, and a
// failed answer leaves the call offered.
TEST_F(LineCallTest, RequestIdsAndFailedReplies)
{
    line0->setAutoComplete(false);
    HCALL call = offer();
    LONG a = lineAnswer(call, nullptr, 0);
    ASSERT_GT(a, 0);
    ASSERT_EQ(line0->pendingRequests().size(), 1u);
    EXPECT_TRUE(line0->completeRequest(a, LINEERR_OPERATIONFAILED));
    auto& log = NotificationLog::instance();
    ASSERT_TRUE(waitUntil([&] { return !log.of(LINE_REPLY).empty(); }));
    EXPECT_EQ(log.of(LINE_REPLY)[0].p1, DWORD_PTR(a));
    EXPECT_EQ(static_cast<LONG>(log.of(LINE_REPLY)[0].p2), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(line0->callState(line0->currentCall()), LINECALLSTATE_OFFERING);
    LONG b = lineAnswer(call, nullptr, 0);
    EXPECT_GT(b, a);
    EXPECT_TRUE(line0->completeRequest(b, 0));
    ASSERT_TRUE(waitState(call, LINECALLSTATE_CONNECTED));
}

// An outgoing call: the handle is written at once, the line dials and connects when answered.
TEST_F(LineCallTest, MakeCallGivesAHandleAndDials)
{
    HCALL call = 0;
    LINECALLPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwCallParamFlags = LINECALLPARAMFLAGS_SECURE;
    LONG r = lineMakeCall(line, &call, "5550001", 0, &params);
    ASSERT_GT(r, 0);
    ASSERT_NE(call, 0u);
    EXPECT_EQ(line0->dialledAddress(), "5550001");
    ASSERT_TRUE(waitState(call, LINECALLSTATE_DIALING));
    line0->remoteAnswer();
    ASSERT_TRUE(waitState(call, LINECALLSTATE_CONNECTED));
    HCALL again = 0;
    EXPECT_EQ(lineMakeCall(line, &again, "1", 0, nullptr), LINEERR_CALLUNAVAIL) << "one call at a time";
}

// A monitor sees calls but may not answer them; the owner is offered them.
TEST_F(LineCallTest, MonitorSeesCallsButIsNotOwner)
{
    HLINEAPP app2 = 0;
    DWORD num = 0;
    ASSERT_EQ(lineInitialize(&app2, nullptr, recordingCallback, "", &num), 0);
    HLINE line2 = 0;
    ASSERT_EQ(lineOpen(app2, 0, &line2, TAPI_VERSION_1_4, 0, 7, LINECALLPRIVILEGE_MONITOR, 0, nullptr), 0);
    line0->offerCall(std::string("1"), std::nullopt);
    auto& log = NotificationLog::instance();
    ASSERT_TRUE(waitUntil([&] { return log.of(LINE_CALLSTATE, LINECALLSTATE_OFFERING).size() == 2; }));
    HCALL monitorCall = 0;
    for (const Seen& s : log.of(LINE_CALLSTATE, LINECALLSTATE_OFFERING))
        if (s.instance == 7) {
            EXPECT_EQ(s.p3, LINECALLPRIVILEGE_MONITOR);
            monitorCall = s.hDevice;
        }
    ASSERT_NE(monitorCall, 0u);
    EXPECT_EQ(lineAnswer(monitorCall, nullptr, 0), LINEERR_NOTOWNER);
    EXPECT_EQ(lineShutdown(app2), 0);
}

} // namespace
