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
};

QTEST_MAIN(RulesModemTest)
#include "RulesModemTest.moc"
