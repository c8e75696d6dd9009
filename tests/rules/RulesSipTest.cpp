// Caller rules on a real SIP call from baresip on 127.0.0.1: a number inside a blocked prefix is
// refused with 603 before any ring is counted, and a number inside the same prefix that an
// imported allow rule names ("Aunt May") is answered, whatever name the caller's network sends.
#include "AnsweringEngine.h"
#include "CallerRuleStore.h"
#include "EngineRig.h"
#include "RulesCsv.h"
#include "SipPeers.h"

#include <QtTest>

using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;

class RulesSipTest : public QObject
{
    Q_OBJECT

private slots:
    void blockedPrefixRefusedAllowedNumberAnswered()
    {
        const uint16_t port = kalvo::sip::test::freePort();
        QVERIFY(port != 0);
        const QString conf = kalvo::sip::test::lineConf(port);
        EngineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}}, 1.0, conf);
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(300, 8000, 300));
        rig.start();
        kalvo::CallerRuleStore store;
        QVERIFY2(store.open(rig.programFolder() + "/Calls"), qPrintable(store.lastError()));
        RulesCsv::ReadResult imported =
            RulesCsv::read("number,name,kind,note\n+1900*,,block,\n+19005550199,Aunt May,allow,family\n");
        QVERIFY(imported.ok());
        QVERIFY(store.addAll(imported.rules));
        const std::string target = "sip:kalvo@127.0.0.1:" + std::to_string(port);

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
};

QTEST_MAIN(RulesSipTest)
#include "RulesSipTest.moc"
