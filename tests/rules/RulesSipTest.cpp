// Caller rules on a real SIP call from baresip on 127.0.0.1: a number inside a blocked prefix is
// refused with 603 before any ring is counted, and a number inside the same prefix that an
// imported allow rule names ("Aunt May") is answered, whatever name the caller's network sends;
// what a raw caller hears first: 603 for every refused caller, ringing for the others; an allow
// rule's own greeting is what its caller hears.
#include "AnsweringEngine.h"
#include "CallList.h"
#include "CallerRuleStore.h"
#include "EngineRig.h"
#include "ModalDialogs.h"
#include "RulesCsv.h"
#include "SipLineRig.h"
#include "UserNotices.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

using kalvo::CallerRule;
using kalvo::test::RawCall;
using kalvo::test::SipLineRig;
using Values = std::map<QString, QString>;
using namespace std::chrono;

class RulesSipTest : public QObject
{
    Q_OBJECT

private slots:
    void blockedPrefixRefusedAllowedNumberAnswered()
    {
        SipLineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}});
        QVERIFY(rig.port != 0);
        rig.start();
        kalvo::CallerRuleStore store;
        QVERIFY2(store.open(rig.programFolder() + "/Calls"), qPrintable(store.lastError()));
        RulesCsv::ReadResult imported =
            RulesCsv::read("number,name,kind,note\n+1900*,,block,\n+19005550199,Aunt May,allow,family\n");
        QVERIFY(imported.ok());
        QVERIFY(store.addAll(imported.rules));
        const std::string target = rig.target();

        {
            kalvo::sip::test::Baresip spam("Robo", "+19005550100@127.0.0.1>;regint=0",
                                           std::vector<int16_t>(8000, 0));
            spam.dial(target);
            QTRY_VERIFY_WITH_TIMEOUT(!rig.sysLog().filter("CallerBlocked[LineIndex:0]").isEmpty(), 15000);
            QVERIFY2(spam.waitLog("603", std::chrono::seconds(10)), spam.log().c_str());
            QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Idle[LineIndex:0]"), 10000);
            QVERIFY2(spam.log().find("established") == std::string::npos, spam.log().c_str());
        }
        QVERIFY(rig.sysLog().filter("Ring[LineIndex:0]").isEmpty());
        QVERIFY(rig.sysLog().filter("Connected[LineIndex:0]").isEmpty());
        QCOMPARE(rig.callsLog().filter(QRegularExpression("^(Blocked|Ring:)")),
                 QStringList{"Blocked [Robo:+19005550100]"});
        QCOMPARE(int(rig.records().size()), 0);
        QCOMPARE(store.rules().at(0).countTotal, 1);

        kalvo::sip::test::Baresip aunt("WIRELESS CALLER", "+19005550199@127.0.0.1>;regint=0",
                                       std::vector<int16_t>(8000 * 3, 0));
        aunt.dial(target);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Connected[LineIndex:0]"), 15000);
        aunt.hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 15000);
        QCOMPARE(rig.records().front().at("Call_Number"), QString("+19005550199"));
        QCOMPARE(store.rules().at(1).countTotal, 1);
        QCOMPARE(rig.callsLog().filter("Blocked").size(), 1);
    }

    // The caller of an allow rule with its own greeting hears it instead of the default one, then
    // the beep; the caller of a rule whose greeting file is gone hears the default, and the system
    // log says why.
    void allowRuleGreetingReachesItsCaller()
    {
        using kalvo::sip::test::firstToneWindow;
        SipLineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}});
        QVERIFY(rig.port != 0);
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(1500, 8000, 300));
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Family.wav", kalvo::test::tone(1500, 8000, 500));
        rig.start();
        kalvo::CallerRuleStore store;
        QVERIFY(store.open(rig.programFolder() + "/Calls"));
        RulesCsv::ReadResult rules = RulesCsv::read(
            "number,name,kind,note,greeting\n5550111,,allow,,Family.wav\n5550122,,allow,,Gone.wav\n");
        QVERIFY(store.addAll(rules.rules));
        const std::string target = rig.target();

        std::vector<std::vector<int16_t>> heard;
        for (const char* number : {"5550111", "5550122"}) {
            kalvo::sip::test::Baresip caller("Caller", std::string(number) + "@127.0.0.1>;regint=0",
                                             std::vector<int16_t>(8000 * 4, 0));
            caller.dial(target);
            QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), int(heard.size()) + 1, 20000);
            caller.hangUp();
            heard.push_back(caller.heard());
        }
        const long own = firstToneWindow(heard[0], 500);
        QVERIFY2(own >= 0, "the family greeting reached its caller");
        QVERIFY2(firstToneWindow(heard[0], 300) < 0, "and not the default one");
        QVERIFY2(firstToneWindow(heard[0], 1000, size_t(own)) > own, "the beep followed it");
        QVERIFY2(firstToneWindow(heard[1], 300) >= 0, "the default greeting stood in for the missing one");
        QVERIFY(firstToneWindow(heard[1], 500) < 0);
        QCOMPARE(rig.sysLog().filter("Rule Greeting \"Gone.wav\" cannot be played").size(), 1);
        QVERIFY(rig.form().findChild<UserNotices*>()->told().value("rule greeting").contains("Gone.wav"));
    }

    // "Block this number" on a call in the list is in force when the dialog closes: the same
    // caller's next call is refused with 603.
    void blockFromTheListRefusesTheNextCall()
    {
        SipLineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}});
        QVERIFY(rig.port != 0);
        rig.start();
        const std::string target = rig.target();
        {
            kalvo::sip::test::Baresip first("Robo", "5550177@127.0.0.1>;regint=0",
                                            std::vector<int16_t>(8000, 0));
            first.dial(target);
            QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Connected[LineIndex:0]"), 15000);
            first.hangUp();
            QTRY_COMPARE_WITH_TIMEOUT(rig.form().callList().rowCount(), 1, 15000);
        }
        rig.form().callList().select(1);
        kalvo::test::onDialog("frmRules",
                              [](QWidget* dialog) { dialog->findChild<QPushButton*>("cmdClose")->click(); });
        rig.form().callList().mnuNoMessageRightClick()->findChild<QAction*>("mnuNoMesBlock")->trigger();

        kalvo::sip::test::Baresip again("Robo", "5550177@127.0.0.1>;regint=0", std::vector<int16_t>(8000, 0));
        again.dial(target);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.sysLog().filter("CallerBlocked[LineIndex:0]").isEmpty(), 15000);
        QVERIFY2(again.waitLog("603", std::chrono::seconds(10)), again.log().c_str());
    }

    // The responses each caller gets until its verdict: 100 Trying and 603 for a blocked number, a
    // number in a blocked prefix and a withheld caller (anonymous From, or Privacy: id); ringing for
    // an allowed one, whose CANCEL then ends the call.
    void refusedCallersHearNoRinging()
    {
        SipLineRig rig(Values{{"NumOfRing", "20"}});
        QVERIFY(rig.port != 0);
        rig.start();
        kalvo::CallerRuleStore store;
        QVERIFY(store.open(rig.programFolder() + "/Calls"));
        std::vector<CallerRule> rules(4);
        rules[0].number = "+1900*";
        rules[1].number = "+19005550199";
        rules[1].kind = CallerRule::Kind::Allow;
        rules[2].number = "5550123";
        rules[3].number = "withheld";
        QVERIFY(store.addAll(rules));

        kalvo::sip::test::RawPeer peer(rig.port);
        struct Caller
        {
            const char* what;
            std::string from, extra, last;
            std::vector<std::string> heard;
        };
        const std::vector<Caller> callers = {
            {"blocked", "<sip:5550123@127.0.0.1>", "", "603", {"100", "603"}},
            {"prefix", "\"Robo\" <sip:+19005550100@127.0.0.1>", "", "603", {"100", "603"}},
            {"anonymous", "\"Anonymous\" <sip:anonymous@anonymous.invalid>", "", "603", {"100", "603"}},
            {"privacy", "<sip:5550999@127.0.0.1>", "Privacy: id\r\n", "603", {"100", "603"}},
            {"allowed", "<sip:+19005550199@127.0.0.1>", "", "180", {"100", "180"}},
        };
        int n = 0;
        for (const Caller& c : callers) {
            RawCall call(peer, "v" + std::to_string(++n), c.from);
            call.invite(c.extra);
            const std::vector<std::string> heard = call.codesUntil(c.last);
            std::string said = c.what;
            for (const std::string& code : heard)
                said += " " + code;
            QVERIFY2(heard == c.heard, said.c_str());
            if (c.last == "603") {
                call.send("ACK", call.answeredTo(), 1, "Content-Length: 0\r\n\r\n");
            } else {
                call.send("CANCEL", "To: <sip:kalvo@127.0.0.1>", 1, "Content-Length: 0\r\n\r\n");
                QVERIFY2(!call.reply("SIP/2.0 487").empty(), c.what);
            }
            QTRY_COMPARE_WITH_TIMEOUT(rig.sysLog().filter("Idle[LineIndex:0]").size(), n, 15000);
        }
        QCOMPARE(rig.callsLog().filter("Blocked [").size(), 4);
        QVERIFY(rig.callsLog().contains("Blocked [UNKNOWN:5550123]"));
        QVERIFY(rig.callsLog().contains("Blocked [Anonymous:UNKNOWN]"));
        QVERIFY(rig.callsLog().contains("Blocked [Private:UNKNOWN]"));
    }
};

QTEST_MAIN(RulesSipTest)
#include "RulesSipTest.moc"
