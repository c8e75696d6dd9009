// Call screening in the main form's call flow over the simulated line: a screened caller is
// answered at once with nothing announced; the wrong key, silence or hanging up ends the call with
// no row; the right key lets the caller through as a normal call, and remembers the number so its
// next call rings normally.
#include "AnsweringEngine.h"
#include "CallerRuleStore.h"
#include "EngineRig.h"

#include <QElapsedTimer>
#include <QtTest>

using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;

class ScreenCallTest : public QObject
{
    Q_OBJECT

private:
    // A rig screening unknown callers with a 2-second wait, in real time.
    static std::unique_ptr<EngineRig> screeningRig(const QString& mode)
    {
        auto rig = std::make_unique<EngineRig>(Values{{"NumOfRing", "2"},
                                                      {"ViewDetails", "1"},
                                                      {"ScreenCallers", mode},
                                                      {"ScreenWait", "2"},
                                                      {"ScreenPrompt", "Ask"},
                                                      {"MaxRec", "1"}},
                                               1.0);
        kalvo::test::writeWav(rig->programFolder() + "/Greets/Ask.wav", kalvo::test::tone(600, 8000, 1000));
        kalvo::test::writeWav(rig->programFolder() + "/Greets/Test.wav", kalvo::test::tone(300, 8000, 300));
        rig->start();
        return rig;
    }

    // Offers a call that screening answers; true when it was answered without any ring or window.
    static bool screenedOnArrival(EngineRig& rig, const char* number, const char* name)
    {
        const int answered = rig.sysLog().filter("LineAnswer[").size();
        const int connected = rig.sysLog().filter("Connected[LineIndex:0]").size();
        rig.sim().offerCall(number ? std::optional<std::string>(number) : std::nullopt, std::string(name));
        if (!QTest::qWaitFor([&] { return rig.sysLog().filter("LineAnswer[").size() > answered; }, 5000))
            return false;
        return QTest::qWaitFor(
                   [&] { return rig.sysLog().filter("Connected[LineIndex:0]").size() > connected; }, 5000) &&
               !rig.form().viewer().isLoaded();
    }

private slots:
    // The wrong key and silence each hang up (silence within the wait and a second), keep the call
    // with its reason among the screened-out ones and leave no row; the status counts them.
    void wrongKeyAndSilenceHangUp()
    {
        auto rig = screeningRig("1");
        QVERIFY(screenedOnArrival(*rig, "+14155550100", "Robo"));
        rig->sim().sendDigits("7");
        QTRY_COMPARE_WITH_TIMEOUT(rig->sysLog().filter("Idle[LineIndex:0]").size(), 1, 5000);
        QVERIFY(rig->callsLog().contains("Screened [Robo:+14155550100] unknown number"));
        QVERIFY(rig->sysLog().filter("Ring[LineIndex:0]").isEmpty());
        QTRY_COMPARE(rig->form().statusText(), QString("Screened out today: 1"));

        QVERIFY(screenedOnArrival(*rig, "123", "Robo"));
        QElapsedTimer waited;
        waited.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig->sysLog().filter("Idle[LineIndex:0]").size(), 2, 8000);
        QVERIFY2(waited.elapsed() < 3000 + 1000, qPrintable(QString::number(waited.elapsed())));
        QVERIFY(rig->callsLog().contains("Screened [Robo:123] number too short"));
        QVERIFY(rig->sysLogHas("ScreenedOut[LineIndex:0]->timed out"));
        QCOMPARE(int(rig->records().size()), 0);
        QVERIFY(!rig->form().viewer().isLoaded());
        QTRY_COMPARE(rig->form().statusText(), QString("Screened out today: 2"));
    }

    // The key lets the caller through: the window opens marked, greeting, beep and message follow,
    // and the call is listed; the number is remembered, so the next call rings normally. A caller
    // who hangs up during the prompt leaves nothing.
    void keyPassesAndIsRemembered()
    {
        auto rig = screeningRig("1");
        QVERIFY(screenedOnArrival(*rig, "+14155550100", "Mum"));
        rig->sim().sendDigits("1");
        QTRY_VERIFY(rig->form().viewer().isLoaded());
        QVERIFY(rig->callsLog().contains("Passed screening [Mum:+14155550100]"));
        QTRY_VERIFY_WITH_TIMEOUT(rig->sysLog().filter("Start Record Message").size() > 0, 5000);
        rig->sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig->records().size()), 1, 5000);
        QCOMPARE(rig->records().front().at("Call_Number"), QString("+14155550100"));

        kalvo::CallerRuleStore store;
        QVERIFY(store.open(rig->programFolder() + "/Calls"));
        const auto rules = store.rules();
        QCOMPARE(int(rules.size()), 1);
        QCOMPARE(rules.front().kindText(), QString("allow"));
        QCOMPARE(rules.front().note, "passed screening " + QDate::currentDate().toString(Qt::ISODate));

        QTRY_COMPARE_WITH_TIMEOUT(rig->sysLog().filter("Idle[LineIndex:0]").size(), 1, 5000);
        rig->sim().offerCall(std::string("+14155550100"), std::string("Mum"));
        rig->sim().ring(2);
        QTRY_VERIFY(rig->sysLog().filter("Ring[LineIndex:0]").size() > 0);
        QCOMPARE(rig->sysLog().filter("CallerScreened").size(), 1);
        rig->sim().hangUp(true);
        QTRY_COMPARE_WITH_TIMEOUT(rig->sysLog().filter("Idle[LineIndex:0]").size(), 2, 5000);

        // The last call's window stays until closed; this caller must not open one.
        rig->form().viewer().CloseViewer();
        QTRY_VERIFY(!rig->form().viewer().isLoaded());
        QVERIFY(screenedOnArrival(*rig, nullptr, "Nobody"));
        rig->sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(rig->sysLog().filter("Idle[LineIndex:0]").size(), 3, 5000);
        QVERIFY(rig->callsLog().contains("Screened [Nobody:UNKNOWN] no number"));
        QVERIFY(rig->sysLogHas("ScreenedOut[LineIndex:0]->hung up"));
        QCOMPARE(int(rig->records().size()), 2);
    }
};

QTEST_MAIN(ScreenCallTest)
#include "ScreenCallTest.moc"
