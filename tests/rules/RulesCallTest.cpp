// Caller rules in the call flow of the main form over the simulated line, which can withhold the
// caller's number: the rules are changed beside the running program, as another process would.
#include "AnsweringEngine.h"
#include "CallerRuleStore.h"
#include "EngineRig.h"
#include "frmMSG.h"

#include <QtTest>

using kalvo::CallerRule;
using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;

class RulesCallTest : public QObject
{
    Q_OBJECT

private slots:
    // A withheld caller meets the "no number" rule: refused before any ring is counted, no caller
    // window, nothing stored, one calls-log line, counted. Then an allow rule added beside the
    // running program lets the next withheld caller through.
    void withheldCallerIsBlockedUntilAllowed()
    {
        EngineRig rig(Values{{"NumOfRing", "2"}, {"ViewDetails", "1"}});
        rig.start();
        kalvo::CallerRuleStore store;
        QVERIFY2(store.open(rig.programFolder() + "/Calls"), qPrintable(store.lastError()));
        CallerRule withheld;
        withheld.number = "withheld";
        QVERIFY(store.add(withheld));

        rig.sim().offerCall(std::nullopt, "Nobody");
        rig.sim().ring(3);
        QTRY_VERIFY(rig.sysLog().contains("Idle[LineIndex:0]"));
        QVERIFY(rig.callsLog().contains("Blocked [Nobody:UNKNOWN]"));
        QCOMPARE(rig.callsLog().filter(QRegularExpression("^(Blocked|Ring:)")).size(), 1);
        QVERIFY(rig.sysLog().contains("CallerBlocked[LineIndex:0]->Nobody-UNKNOWN"));
        QVERIFY(rig.sysLog().filter("Ring[LineIndex:0]").isEmpty());
        QVERIFY(rig.sysLog().filter("LineAnswer[").isEmpty());
        QVERIFY(!rig.form().viewer().isLoaded());
        QCOMPARE(int(rig.records().size()), 0);
        const std::vector<CallerRule> counted = store.rules();
        QCOMPARE(counted.at(0).countTotal, 1);
        QCOMPARE(counted.at(0).today(QDate::currentDate()), 1);
        QTRY_COMPARE(rig.form().statusText(), QString("Monitoring Sim 0"));

        CallerRule allow;
        allow.number = "withheld";
        allow.kind = CallerRule::Kind::Allow;
        QVERIFY(store.add(allow));
        rig.sim().offerCall(std::nullopt, "Nobody");
        rig.sim().ring(2);
        QTRY_VERIFY(rig.sysLog().contains("Connected[LineIndex:0]"));
        QVERIFY(rig.form().viewer().isLoaded());
        QCOMPARE(rig.callsLog().filter("Blocked").size(), 1);
        QCOMPARE(store.rules().at(1).countTotal, 1);
        rig.sim().hangUp();
        QTRY_COMPARE(int(rig.records().size()), 1);
    }
};

QTEST_MAIN(RulesCallTest)
#include "RulesCallTest.moc"
