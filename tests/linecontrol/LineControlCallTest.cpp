// Calls through the loaded control over a simulated line: the events of an answered and of an
// abandoned call in their order, caller identification in all its forms, digits, outgoing calls,
// and call information.
#include "LineControlTestSupport.h"

#include "Telephony.h"
#include "VbError.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;

// An answered call: InComeCall, CallerID, the rings; LineAnswer's request completes as ProcError with
// result 0 before Connected; the caller's hang-up gives Disconnected, the host's LineDrop a second
// ProcError and Idle. Connected follows the call state. A reply names no line, so ProcError carries
// the index of the last entry without a line handle: 0 here, although the call is on line 1.
TEST(LineControlCall, EventsOfAnAnsweredCall)
{
    ControlHome home(simConf(2));
    TapiControl& c = home.control();
    home.initialiseAndOpen(1);
    kalvo::sim::SimLine& line = home.sim(1);
    line.offerCall("5551234", "Ann");
    line.ring(2);
    ASSERT_TRUE(home.waitForEvents(4));
    EXPECT_EQ(home.events(),
              QStringList({"InComeCall(1)", "CallerID(1,Ann,5551234)", "Ring(1,1)", "Ring(1,2)"}));

    home.clearEvents();
    const int answer = c.LineAnswer(1);
    ASSERT_GT(answer, 0);
    ASSERT_TRUE(home.waitForEvent("Connected"));
    EXPECT_EQ(home.events(), QStringList({QString("ProcError(0,%1,0)").arg(answer), "Connected(1)"}));
    EXPECT_TRUE(c.LineConnected(1));
    EXPECT_FALSE(c.LineConnected(0));

    home.clearEvents();
    line.hangUp();
    ASSERT_TRUE(home.waitForEvent("Disconnected"));
    EXPECT_FALSE(c.LineConnected(1));
    const int drop = c.LineDrop(1);
    ASSERT_GT(drop, 0);
    ASSERT_TRUE(home.waitForEvent("Idle"));
    EXPECT_EQ(home.events(),
              QStringList({"Disconnected(1)", QString("ProcError(0,%1,0)").arg(drop), "Idle(1)"}));

    // The finished call's handle stays in the table; the API refuses it.
    home.clearEvents();
    EXPECT_EQ(c.LineAnswer(1), LINEERR_INVALCALLHANDLE);
    pump(30);
    EXPECT_TRUE(home.events().isEmpty());
}

// A request that fails later still completes as ProcError, with the failure code, and the call
// stays offered (no Connected).
TEST(LineControlCall, FailedReplyIsReportedToo)
{
    ControlHome home(simConf(1, "auto_complete = no\n"));
    TapiControl& c = home.control();
    home.initialiseAndOpen(0);
    kalvo::sim::SimLine& line = home.sim(0);
    line.offerCall("1", "A");
    ASSERT_TRUE(home.waitForEvent("CallerID"));
    home.clearEvents();
    const int answer = c.LineAnswer(0);
    ASSERT_GT(answer, 0);
    ASSERT_TRUE(line.completeRequest(answer, LINEERR_OPERATIONFAILED));
    ASSERT_TRUE(home.waitForEvent("ProcError"));
    pump(30);
    EXPECT_EQ(home.events(),
              QStringList({QString("ProcError(0,%1,%2)").arg(answer).arg(LINEERR_OPERATIONFAILED)}));
    EXPECT_FALSE(c.LineConnected(0));
}

// An abandoned call (the caller hangs up while it rings) reports Disconnected then Idle, and the
// line is free for the next call.
TEST(LineControlCall, EventsOfAnAbandonedCall)
{
    ControlHome home(simConf(1));
    home.initialiseAndOpen(0);
    kalvo::sim::SimLine& line = home.sim(0);
    line.offerCall("77", std::nullopt);
    line.ring(1);
    line.hangUp(true);
    ASSERT_TRUE(home.waitForEvent("Idle"));
    EXPECT_EQ(home.events(), QStringList({"InComeCall(0)", "CallerID(0,UNKNOWN,77)", "Ring(0,1)",
                                          "Disconnected(0)", "Idle(0)"}));
    EXPECT_FALSE(home.control().LineConnected(0));

    home.clearEvents();
    line.offerCall("78", "Bob");
    ASSERT_TRUE(home.waitForEvent("CallerID"));
    EXPECT_EQ(home.events(), QStringList({"InComeCall(0)", "CallerID(0,Bob,78)"}));
}

// Caller identification: "UNKNOWN" for what the provider does not know, the empty text for a known
// empty one, text cut before a zero byte, a name longer than the buffer gives no failure, and each
// LINE_CALLINFO raises CallerID again; LineCallerIDFlags says which parts came and why one did not.
TEST(LineControlCall, CallerIdentification)
{
    ControlHome home(simConf(1));
    home.initialiseAndOpen(0);
    kalvo::sim::SimLine& line = home.sim(0);
    line.offerCall(std::nullopt, std::nullopt);
    ASSERT_TRUE(home.waitForEvents(2));
    EXPECT_EQ(home.events().at(1), "CallerID(0,UNKNOWN,UNKNOWN)");
    EXPECT_EQ(home.control().LineCallerIDFlags(0), int(LINECALLPARTYID_UNAVAIL));

    home.clearEvents();
    line.resendCallInfo();
    ASSERT_TRUE(home.waitForEvents(1));
    EXPECT_EQ(home.events(), QStringList({"CallerID(0,UNKNOWN,UNKNOWN)"}));

    home.clearEvents();
    line.setCallerId(std::string(""), std::string("Eve"));
    ASSERT_TRUE(home.waitForEvents(1));
    EXPECT_EQ(home.events().at(0), "CallerID(0,Eve,)");
    EXPECT_EQ(home.control().LineCallerIDFlags(0), int(LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME));
    EXPECT_THROW(home.control().LineCallerIDFlags(2), VbError);

    home.clearEvents();
    line.setCallerId(std::string("123\0"
                                 "456",
                                 7),
                     std::string("Al\0ice", 6));
    ASSERT_TRUE(home.waitForEvents(1));
    EXPECT_EQ(home.events().at(0), "CallerID(0,Al,123)");

    home.clearEvents();
    line.setCallerId(std::string("9"), std::string(3000, 'n'));
    ASSERT_TRUE(home.waitForEvents(1));
    const QString longName = home.events().at(0).section(',', 1, 1);
    EXPECT_LE(longName.size(), 2001);
    EXPECT_TRUE(longName.isEmpty() || longName.count('n') == longName.size());
}

// LineGetCallInf reports the last caller identification (an empty name for "UNKNOWN"), the call's
// media mode and today's date; without a call it fails and leaves the record alone.
TEST(LineControlCall, CallInformation)
{
    ControlHome home(simConf(1));
    TapiControl& c = home.control();
    home.initialiseAndOpen(0);

    korvan::CallInf untouched;
    untouched.sCallerName = "keep";
    EXPECT_LT(c.LineGetCallInf(0, untouched), 0);
    EXPECT_EQ(untouched.sCallerName, "keep");

    home.sim(0).offerCall("5550000", std::nullopt);
    ASSERT_TRUE(home.waitForEvent("CallerID"));
    korvan::CallInf info;
    info.sCallerName = "stale";
    ASSERT_EQ(c.LineGetCallInf(0, info), 0);
    EXPECT_EQ(info.sCallerName, "");
    EXPECT_EQ(info.sCallerNumber, "5550000");
    EXPECT_EQ(info.sDeviceName, "");
    EXPECT_EQ(info.Mode.INTERACTIVEVOICE, korvan::VTrue);
    EXPECT_EQ(info.Mode.DATAMODEM, korvan::VFalse);
    EXPECT_EQ(QString::fromStdString(info.sDate),
              QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    EXPECT_TRUE(QString::fromStdString(info.sTime).contains(QRegularExpression("\\d+.\\d\\d.\\d\\d")));
}

// Digits: monitoring on a line without a call returns the API's error; on a connected call the
// caller's digits arrive as MonitorDigit until monitoring stops; LineGenerateDigits sends "123#"
// in DTMF and reports DoneGenerateDigits.
TEST(LineControlCall, Digits)
{
    ControlHome home(simConf(1));
    TapiControl& c = home.control();
    home.initialiseAndOpen(0);
    EXPECT_EQ(c.LineMonitorDigits(0, false), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(c.LineGenerateDigits(0, "1"), LINEERR_INVALCALLHANDLE);

    kalvo::sim::SimLine& line = home.sim(0);
    line.offerCall("1", "A");
    ASSERT_TRUE(home.waitForEvent("InComeCall"));
    c.LineAnswer(0);
    ASSERT_TRUE(home.waitForEvent("Connected"));
    EXPECT_EQ(c.LineMonitorDigits(0, true), 0);
    EXPECT_EQ(line.monitoredDigitModes(line.currentCall()), LINEDIGITMODE_DTMF);
    home.clearEvents();
    line.sendDigits("4*");
    ASSERT_TRUE(home.waitForEvents(2));
    EXPECT_EQ(home.events(), QStringList({"MonitorDigit(0,4)", "MonitorDigit(0,*)"}));
    EXPECT_EQ(c.LineMonitorDigits(0, false), 0);
    home.clearEvents();
    line.sendDigits("5");
    pump(50);
    EXPECT_TRUE(home.events().isEmpty());

    EXPECT_EQ(c.LineGenerateDigits(0, "123#"), 0);
    ASSERT_TRUE(home.waitForEvent("DoneGenerateDigits(0)", 10000));
    EXPECT_EQ(line.generatedDigits(), "123#");
    c.lineSetTerminal(0); // result discarded; must simply not fail
}

// LineMakeCall places a call with the line's handle, reports Dialing, completes as ProcError and
// the call handle it stored lets the host drop the call.
TEST(LineControlCall, OutgoingCall)
{
    ControlHome home(simConf(1));
    TapiControl& c = home.control();
    home.initialiseAndOpen(0);
    const int request = c.LineMakeCall(0, "5559876");
    ASSERT_GT(request, 0);
    ASSERT_TRUE(home.waitForEvent(QString("ProcError(0,%1,0)").arg(request)));
    EXPECT_TRUE(home.waitForEvent("Dialing(0)"));
    EXPECT_EQ(home.sim(0).dialledAddress(), "5559876");
    home.sim(0).remoteAnswer();
    ASSERT_TRUE(home.waitForEvent("Connected(0)"));
    const int drop = c.LineDrop(0);
    ASSERT_GT(drop, 0);
    EXPECT_TRUE(home.waitForEvent("Idle(0)"));
}
