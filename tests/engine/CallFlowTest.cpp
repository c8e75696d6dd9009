// The incoming call flow on the main form, end to end through the loaded line control and a
// simulated line, with real sound on the line's wave devices and a real call database.
#include "AnsweringEngine.h"
#include "CallList.h"
#include "EngineRig.h"
#include "LineControl.h"
#include "Telephony.h"
#include "mdlLog.h"

#include <QAction>
#include <QFile>
#include <QtTest>

using kalvo::test::EngineRig;
using kalvo::test::tone;
using Values = std::map<QString, QString>;

namespace {
const QString kWait = QStringLiteral("5000");

bool recording(frmMain& form)
{
    return form.Wave1().IsRecording();
}
} // namespace

class CallFlowTest : public QObject
{
    Q_OBJECT

private slots:
    // Threshold 3: rings 1 and 2 only show; ring 3 answers; greeting and beep reach the caller; the
    // caller's voice is recorded until the hang-up; the call is stored, listed and logged.
    void answersAtThresholdRecordsAndStores()
    {
        EngineRig rig(Values{{"NumOfRing", "3"}});
        rig.start();
        frmMain& form = rig.form();
        QCOMPARE(form.statusText(), QString("Monitoring Sim 0"));
        rig.sim().offerCall("5551234", "Alice");
        rig.sim().ring(2);
        QTRY_COMPARE(form.statusText(), QString("Ring :2"));
        QCOMPARE(rig.sim().callState(rig.sim().currentCall()), DWORD(LINECALLSTATE_OFFERING));
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(recording(form), 5000);
        QVERIFY(!rig.sim().playedToCaller().empty()); // greeting and beep
        rig.sim().queueCallerAudio(tone(300));
        QTRY_COMPARE(rig.sim().pendingCallerAudio(), size_t(0));
        rig.sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);

        const auto record = rig.records().front();
        const CurrentCall& call = form.engine().state().call;
        QCOMPARE(record.at("Call_Name"), QString("Alice"));
        QCOMPARE(record.at("Call_Number"), QString("5551234"));
        QCOMPARE(record.at("Read"), QString("0"));
        QCOMPARE(record.at("Call_Massage_Name"), DateTimeFileText(call.CallDate, call.CallTime) + ".wav");
        QVERIFY(record.at("Type").toDouble() > 0.2);
        QVERIFY(QFile::exists(rig.messagesFolder() + record.at("Call_Massage_Name")));
        QCOMPARE(form.callList().rowCount(), 1);
        QCOMPARE(form.callList().keyAt(1), record.at("Call_Massage_Name"));
        form.engine().flow().TapiIdle(0); // a repeated Idle for the same call stores nothing more
        QCOMPARE(int(rig.records().size()), 1);
        QCOMPARE(form.callList().unreadCalls(), 1);
        QTRY_COMPARE(form.statusText(), QString("Monitoring Sim 0"));
        QVERIFY(rig.callsLog().contains("Ring:3 [Alice:5551234]"));
        const QStringList log = rig.sysLog();
        QCOMPARE(log.filter("LineAnswer[LineIndex:0]->Proc Num: ").size(), 1);
        for (const char* line : {"InCommingCall[LineIndex:0]", "Ring[LineIndex:0]->1", "Ring[LineIndex:0]->3",
                                 "CallerID[LineIndex:0]->Alice-5551234", "Connected[LineIndex:0]",
                                 "Disconnected[LineIndex:0]", "Idle[LineIndex:0]"})
            QVERIFY2(log.contains(line), line);
        QVERIFY(!log.filter(QRegularExpression("^Play Beep ")).isEmpty());
        QVERIFY(!log.filter(QRegularExpression("^Start Record Message\\[LineIndex:\\d+\\] Format:, 1, 1, 16, "
                                               "8000->"))
                     .isEmpty());
        QVERIFY(!log.filter(QRegularExpression("^Record Message ")).isEmpty());
        QVERIFY(!log.filter(QRegularExpression("^Proc\\[LineIndex:0\\]->\\d+ Success\\.$")).isEmpty());
        QVERIFY(!log.filter(QRegularExpression("^LineDrop\\[LineIndex:0\\]->Proc Num: ")).isEmpty());
    }

    // A ring between the answer request and the connection asks again; the user's "let it ring"
    // holds for this call only; a forced answer before the threshold stores "0" rings.
    void answerRules()
    {
        EngineRig rig(Values{{"NumOfRing", "3"}, {"RecordMessage", "0"}});
        rig.start();
        frmMain& form = rig.form();
        rig.sim().setAutoComplete(false);
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(3);
        QTRY_COMPARE(rig.sysLog().filter("LineAnswer[LineIndex:0]").size(), 1);
        rig.sim().ring(1);
        QTRY_COMPARE(rig.sysLog().filter("LineAnswer[LineIndex:0]").size(), 2);
        for (const auto& request : rig.sim().pendingRequests())
            rig.sim().completeRequest(request.request, 0);
        rig.sim().setAutoComplete(true);
        QTRY_VERIFY(form.Tapi1().LineConnected(0));
        rig.sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);

        rig.sim().offerCall("2", "Bob");
        QTRY_COMPARE(rig.sysLog().filter("InCommingCall").size(), 2);
        form.engine().flow().setDoNotAnswer();
        rig.sim().ring(6);
        QTRY_COMPARE(form.statusText(), QString("Ring :6"));
        QCOMPARE(rig.sysLog().filter("LineAnswer[LineIndex:0]").size(), 2);
        rig.sim().hangUp(true);
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 2, 5000);
        QVERIFY(rig.callsLog().contains("Ring: [Bob:2]"));

        rig.sim().offerCall("3", "Cy");
        QTRY_COMPARE(rig.sysLog().filter("InCommingCall").size(), 3);
        form.engine().flow().AnswerToCall(0, 0, true);
        QTRY_VERIFY(form.Tapi1().LineConnected(0));
        QCOMPARE(form.engine().state().call.RingsAtAnswer, QString("0"));
        rig.sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 3, 5000);
        QVERIFY(rig.callsLog().contains("Ring:0 [Cy:3]"));
    }

    // Answer-only mode: greeting, beep, hang-up, nothing recorded, stored without a message.
    void answerOnlyMode()
    {
        EngineRig rig(Values{{"RecordMessage", "0"}});
        rig.start();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
        QCOMPARE(rig.records().front().at("Type"), QString("-1"));
        QVERIFY(!rig.form().engine().state().call.GotMessage);
        QVERIFY(rig.sysLog().filter("Start Record").isEmpty());
        QVERIFY(!rig.sysLog().filter(QRegularExpression("^Play Beep ")).isEmpty());
        QCOMPARE(rig.form().callList().iconAt(1), 2);
    }

    // Compressed messages are recorded as mu-law without a format check.
    void compressedMessage()
    {
        EngineRig rig(Values{{"CompressMessages", "1"}});
        rig.start();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(recording(rig.form()), 5000);
        rig.sim().queueCallerAudio(tone(200));
        QTRY_COMPARE(rig.sim().pendingCallerAudio(), size_t(0));
        rig.sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
        QVERIFY(!rig.sysLog().filter(QRegularExpression("Format:, 7, 1, 8, 8000->")).isEmpty());
        QVERIFY(rig.sysLog().filter("Cap Error").isEmpty());
        QFile file(rig.messagesFolder() + rig.records().front().at("Call_Massage_Name"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray header = file.read(36);
        QCOMPARE(int(static_cast<uint8_t>(header[20])), 7);
    }

    // A caller who hangs up during the greeting leaves no message; the call is stored without one.
    void hangUpDuringGreeting()
    {
        EngineRig rig;
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", tone(3000));
        rig.start();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY(rig.form().engine().state().GreetingPlaying);
        rig.sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
        QCOMPARE(rig.records().front().at("Type"), QString("-1"));
        QVERIFY(rig.sysLog().filter("Start Record").isEmpty());
        QVERIFY(QDir(rig.messagesFolder()).entryList(QDir::Files).isEmpty());
    }

    // A caller who hangs up during the short wait before the recording (events run inside it) is
    // dropped and stored without a message; no recording starts afterwards.
    void hangUpDuringWaitBeforeRecording()
    {
        EngineRig rig({}, 1.0);
        rig.start();
        EngineState& state = rig.form().engine().state();
        bool sawBeep = false;
        bool hungUp = false;
        QTimer watch;
        watch.setInterval(1);
        connect(&watch, &QTimer::timeout, this, [&] {
            sawBeep = sawBeep || state.BeepPlaying;
            if (sawBeep && !state.BeepPlaying && !hungUp) {
                hungUp = true;
                rig.sim().hangUp();
            }
        });
        watch.start();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
        QVERIFY(hungUp);
        QTest::qWait(400);
        QVERIFY(!recording(rig.form()));
        QVERIFY(rig.sysLog().filter("Start Record").isEmpty());
        QCOMPARE(rig.records().front().at("Type"), QString("-1"));
    }

    // A greeting file that went missing after the start is logged and the caller still gets the beep
    // and the recording.
    void missingGreetingStillRecords()
    {
        EngineRig rig;
        rig.start();
        QVERIFY(QFile::remove(rig.programFolder() + "/Greets/" + rig.form().settings().engine.GreetingFile));
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(recording(rig.form()), 5000);
        QVERIFY(!rig.sysLog().filter(QRegularExpression("^Play Greeting ")).isEmpty());
        rig.sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
        QVERIFY(rig.records().front().at("Type") != "-1");
    }

    // The one-minute limit stops the recording and saves it but leaves the caller connected.
    void timeLimitLeavesLineConnected()
    {
        EngineRig rig(Values{{"MaxRec", "1"}});
        rig.start();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(recording(rig.form()), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().engine().state().call.GotMessage, 5000);
        QVERIFY(!recording(rig.form()));
        QCOMPARE(rig.form().engine().state().RecordSeconds, 0);
        QVERIFY(rig.form().Tapi1().LineConnected(0));
        QVERIFY(rig.records().empty());
        rig.sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
        QVERIFY(rig.records().front().at("Type") != "-1");
    }

    // Pauses shorter than "SecSilence" keep the recording going; a longer silence saves the message
    // and hangs up.
    void silenceWithPauses()
    {
        // 1 designed second = 100 ms; each 10 ms tick takes at least 1 ms.
        EngineRig rig(Values{{"cDropSilence", "1"}, {"SecSilence", "1"}, {"ValSilence", "10"}}, 0.1);
        rig.start();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(recording(rig.form()), 5000);
        for (int i = 0; i < 8; ++i) {
            rig.sim().queueCallerAudio(tone(40, 0));
            rig.sim().queueCallerAudio(tone(40));
        }
        QTRY_COMPARE_WITH_TIMEOUT(rig.sim().pendingCallerAudio(), size_t(0), 5000);
        QVERIFY(recording(rig.form()));
        QTRY_VERIFY_WITH_TIMEOUT(!recording(rig.form()), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
        QVERIFY(rig.records().front().at("Type").toDouble() > 0.5);
    }

    // "SecSilence" 0: the first silent tick ends the recording and the call.
    void zeroSecondsOfSilence()
    {
        EngineRig rig(Values{{"cDropSilence", "1"}, {"SecSilence", "0"}, {"ValSilence", "10"}});
        rig.start();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
        QVERIFY(rig.records().front().at("Type") != "-1");
        QVERIFY(!rig.sysLog().filter(QRegularExpression("^LineDrop\\[LineIndex:0\\]")).isEmpty());
    }

    // "ListMessageOnly" 1: a call without a message is neither stored nor logged.
    void messageOnlyList()
    {
        EngineRig rig(Values{{"ListMessageOnly", "1"}, {"RecordMessage", "0"}});
        rig.start();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Idle[LineIndex:0]"), 5000);
        QVERIFY(rig.records().empty());
        QVERIFY(rig.callsLog().filter("Ring:").isEmpty());
    }

    // A line that cannot carry a conversation (a modem without full-duplex voice): "Pick Up" in the
    // tray menu, on F8 and in the caller window is disabled with the line's reason as its tooltip,
    // a pick-up is refused with it, and the message goes on being recorded.
    void lineThatCannotTalkDisablesPickUp()
    {
        const QString why = "The modem has no full-duplex voice";
        EngineRig rig(Values{}, 0.001, "[Line0]\nname = Sim 0\nprovider = sim\ncannot_talk = " + why + "\n");
        rig.start();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 5000);
        QAction* pickUp = rig.form().findChild<QAction*>("mnuPickUp");
        QTRY_COMPARE_WITH_TIMEOUT(pickUp->toolTip(), why, 5000);
        QVERIFY(!pickUp->isEnabled());
        auto* choice = rig.form().viewer().findChild<QWidget*>("PictureTalk");
        QVERIFY(choice && !choice->isEnabled());
        QCOMPARE(choice->toolTip(), why);
        QCOMPARE(rig.form().engine().pickUp(), why);
        QVERIFY(rig.form().Wave1().IsRecording());
        QVERIFY(!rig.form().engine().talk().talking());
    }

    // The caller window's "Pick Up" lasts as long as the call: offered while the message is
    // recorded, and no longer once the caller has hung up and the window still shows the call.
    void pickUpEndsWithTheCall()
    {
        EngineRig rig(Values{{"ViewDetails", "1"}}, 0.001);
        rig.start();
        rig.form().engine().talk().setCardDevices({}, [] { return QString(); });
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 5000);
        auto* choice = rig.form().viewer().findChild<QWidget*>("PictureTalk");
        QVERIFY(choice);
        QTRY_VERIFY_WITH_TIMEOUT(choice->isEnabled(), 5000);
        rig.sim().hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(!choice->isEnabled(), 5000);
        QCOMPARE(choice->toolTip(), QString("No call to pick up"));
    }
};

QTEST_MAIN(CallFlowTest)
#include "CallFlowTest.moc"
