// Caller rules on the voice-modem line, which cannot refuse a ringing call and learns the caller's
// number only after the first ring: a blocked number is answered and hung up at once, a caller
// without any identity is blocked by the "no number" rule from the second ring on and, with the
// other choice, left to ring.
#include "AnsweringEngine.h"
#include "CallerRuleStore.h"
#include "EngineRig.h"
#include "ModemSimulator.h"
#include "frmMSG.h"

#include <QtTest>

using kalvo::CallerRule;
using kalvo::modem::test::Caller;
using kalvo::modem::test::ModemSimulator;
using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;

class RulesModemTest : public QObject
{
    Q_OBJECT

private slots:
    void blockedCallersAreHungUpOnOrLeftToRing()
    {
        QTemporaryDir locks;
        qputenv("KALVO_LOCK_DIR", locks.path().toLocal8Bit());
        ModemSimulator modem;
        const QString conf = QString("[Line0]\nname = Home Line\nprovider = modem\ndevice = %1\n")
                                 .arg(QString::fromStdString(modem.device()));
        EngineRig rig(Values{{"NumOfRing", "9"}, {"ViewDetails", "1"}}, 1.0, conf);
        rig.start();
        kalvo::CallerRuleStore store;
        QVERIFY(store.open(rig.programFolder() + "/Calls"));
        std::vector<CallerRule> rules(2);
        rules[0].number = "900*";
        rules[1].number = "withheld";
        QVERIFY(store.addAll(rules));

        Caller robo;
        robo.rings = 6;
        robo.callerId = kalvo::modem::test::formattedCallerId("9005550100", "ROBO");
        modem.call(robo);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("CallerBlocked[LineIndex:0]->ROBO-9005550100"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Idle[LineIndex:0]"), 15000);
        QTRY_VERIFY(!modem.offHook());
        QCOMPARE(rig.sysLog().filter("LineAnswer[LineIndex:0]->").size(), 1);
        QVERIFY(rig.sysLog().filter("Connected[LineIndex:0]").isEmpty());
        QTRY_VERIFY(!rig.form().viewer().isLoaded());

        QVERIFY(store.setCannotRefuse(kalvo::CallerRuleStore::CannotRefuse::LetRing));
        Caller hidden;
        hidden.rings = 4;
        modem.call(hidden);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("CallerBlocked[LineIndex:0]->UNKNOWN-UNKNOWN"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.sysLog().filter("Idle[LineIndex:0]").size(), 2, 20000);
        QCOMPARE(rig.sysLog().filter("LineAnswer[LineIndex:0]->").size(), 1);
        QCOMPARE(rig.callsLog().filter(QRegularExpression("^(Blocked|Ring:)")).size(), 2);
        QCOMPARE(int(rig.records().size()), 0);
        QCOMPARE(store.rules().at(0).countTotal, 1);
        QCOMPARE(store.rules().at(1).countTotal, 1);
    }

    // Screening on the modem line: the key arrives as the modem's <DLE> digit event. The caller who
    // presses it is greeted and recorded; one who presses another key is hung up on with no row.
    void screenedCallersOnTheModem()
    {
        QTemporaryDir locks;
        qputenv("KALVO_LOCK_DIR", locks.path().toLocal8Bit());
        ModemSimulator modem;
        const QString conf = QString("[Line0]\nname = Home Line\nprovider = modem\ndevice = %1\n")
                                 .arg(QString::fromStdString(modem.device()));
        EngineRig rig(Values{{"NumOfRing", "9"},
                             {"ViewDetails", "1"},
                             {"MaxRec", "1"},
                             {"ScreenCallers", "1"},
                             {"ScreenPrompt", "Ask"}},
                      1.0, conf);
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Ask.wav", kalvo::test::tone(800, 8000, 1000));
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(500, 8000, 300));
        rig.start();

        Caller mum;
        mum.rings = 3;
        mum.callerId = kalvo::modem::test::formattedCallerId("4155550100", "MUM");
        mum.voice = kalvo::test::tone(6000, 6000, 700);
        mum.events = {{1200, '1'}};
        mum.endEvent = 'b';
        modem.call(mum);
        QTRY_VERIFY_WITH_TIMEOUT(rig.callsLog().contains("Passed screening [MUM:4155550100]"), 15000);
        QTRY_VERIFY(rig.form().viewer().isLoaded());
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 20000);
        QVERIFY(!rig.records().front().at("Call_Massage_Name").isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!modem.offHook(), 10000);

        Caller robo;
        robo.rings = 6;
        robo.callerId = kalvo::modem::test::formattedCallerId("3055550100", "ROBO");
        robo.voice = std::vector<int16_t>(8000 * 6, 0);
        robo.events = {{900, '7'}};
        modem.call(robo);
        QTRY_VERIFY_WITH_TIMEOUT(rig.callsLog().contains("Screened [ROBO:3055550100] unknown number"), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.sysLog().filter("Idle[LineIndex:0]").size(), 2, 15000);
        QTRY_VERIFY(!modem.offHook());
        QVERIFY(rig.sysLogHas("ScreenedOut[LineIndex:0]->wrong key"));
        QCOMPARE(int(rig.records().size()), 1);
    }
};

QTEST_MAIN(RulesModemTest)
#include "RulesModemTest.moc"
