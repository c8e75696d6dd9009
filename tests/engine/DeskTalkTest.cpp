// Talking at the desk over the real SIP line: baresip calls, `kalvo --pick-up` (the real program,
// through the single-instance socket) takes the call while it rings, greets or records; a private
// PulseAudio's null sink stands for the speakers and a sine source for the microphone, so the test
// hears what each side receives.
#include "AnsweringEngine.h"
#include "EngineRig.h"
#include "InstanceChannel.h"
#include "PrivatePulse.h"
#include "SipPeers.h"
#include "mMain.h"

#include <QProcess>
#include <QtTest>
#include <cmath>

using kalvo::test::EngineRig;
using kalvo::test::PulseCapture;
using Values = std::map<QString, QString>;

namespace {
constexpr int kGreetingHz = 300, kCallerHz = 600, kMicrophoneHz = 1500;

// Energy at hz in samples from..from+length, relative to all of it; 0 for silence.
double shareAt(const std::vector<int16_t>& samples, double hz, size_t from, size_t length)
{
    if (from + length > samples.size())
        return 0;
    std::vector<int16_t> part(samples.begin() + long(from), samples.begin() + long(from + length));
    double energy = 0;
    for (int16_t s : part)
        energy += double(s) * s;
    return std::sqrt(energy / double(length)) > 200 ? kalvo::sip::test::share(part, hz) : 0;
}
// Seconds of 50 ms windows from `from` on that hz dominates: counted window by window, so a gap or
// a jump in phase where the sound server's blocks meet does not hide a tone that is there.
double secondsOf(const std::vector<int16_t>& samples, double hz, size_t from = 0)
{
    int windows = 0;
    for (size_t at = from; at + 400 <= samples.size(); at += 400)
        windows += shareAt(samples, hz, at, 400) > 0.5 ? 1 : 0;
    return windows * 0.05;
}

// The real program with one option, run while this process's event loop serves the socket.
int runKalvo(const QString& option, QString* errors = nullptr)
{
    QProcess process;
    process.start(qEnvironmentVariable("KALVO_BIN_DIR") + "/kalvo", {option});
    if (!process.waitForStarted(5000))
        return -1;
    for (int i = 0; i < 500 && process.state() != QProcess::NotRunning; ++i)
        QTest::qWait(20);
    if (errors)
        *errors = QString::fromLocal8Bit(process.readAllStandardError());
    return process.state() == QProcess::NotRunning ? process.exitCode() : -1;
}

// One call from baresip to the SIP line of a rig with the channel a second start talks to.
struct Call
{
    explicit Call(const Values& settings, double greetingSeconds = 0.5)
        : port(kalvo::sip::test::freePort()), rig(settings, 1.0, kalvo::sip::test::lineConf(port)),
          caller("Bob", "bob@127.0.0.1>;regint=0", kalvo::sip::test::tone(kCallerHz, 30.0, 9000))
    {
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav",
                              kalvo::test::tone(int(greetingSeconds * 1000), 6000, kGreetingHz));
        rig.start();
        ConnectInstanceChannel(channel, rig.form());
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
    }
    AnsweringEngine& engine() { return rig.form().engine(); }

    uint16_t port;
    EngineRig rig;
    kalvo::sip::test::Baresip caller;
    InstanceChannel channel;
};
} // namespace

class DeskTalkTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Before anything opens the sound card, so Qt's sound backend meets this server.
        m_pulse = std::make_unique<kalvo::test::PrivatePulse>();
        KALVO_REQUIRE_PULSE(*m_pulse);
        QVERIFY(m_pulse->useSineMicrophone(kMicrophoneHz));
    }

    // Picked up mid-greeting: the greeting stops, the caller hears the microphone and the speakers
    // play the caller; `kalvo --hang-up` ends it with a BYE; the call is stored without a message.
    void pickUpMidGreetingAndHangUpFromKalvo()
    {
        PulseCapture speaker(*m_pulse, "speaker.monitor");
        Call call(Values{{"NumOfRing", "1"}, {"PreScreen", "0"}}, 6.0);
        QTRY_VERIFY_WITH_TIMEOUT(call.engine().state().GreetingPlaying, 15000);
        QTest::qWait(500);
        QString errors;
        QCOMPARE(runKalvo("--pick-up", &errors), 0);
        QVERIFY2(errors.isEmpty(), qPrintable(errors));
        QVERIFY(call.engine().talk().talking());
        QVERIFY(!call.engine().state().GreetingPlaying);
        QVERIFY2(call.rig.form().statusText().startsWith("Talking with Bob 0:0"),
                 qPrintable(call.rig.form().statusText()));
        // The private server's null sink hands its monitor over late and in large blocks at first.
        QTRY_VERIFY_WITH_TIMEOUT(secondsOf(speaker.samples(), kCallerHz) >= 1.0, 20000);
        QTest::qWait(2000); // and a second of the microphone to the caller
        QCOMPARE(runKalvo("--hang-up"), 0);
        QVERIFY2(call.caller.waitLog("terminated", std::chrono::seconds(10)), call.caller.log().c_str());
        QTRY_COMPARE_WITH_TIMEOUT(int(call.rig.records().size()), 1, 15000);
        QVERIFY(!call.engine().talk().talking());
        QCOMPARE(call.rig.records().front().at("Call_Massage_Name"), QString());

        const std::vector<int16_t> heard = call.caller.heard();
        const long greeting = kalvo::sip::test::firstToneWindow(heard, kGreetingHz);
        const long microphone = kalvo::sip::test::firstToneWindow(heard, kMicrophoneHz);
        QVERIFY2(greeting >= 0 && microphone > greeting, "the greeting, then the microphone");
        QVERIFY2(secondsOf(heard, kMicrophoneHz, size_t(microphone)) >= 1.0, "a second of the microphone");
        QVERIFY2(kalvo::sip::test::firstToneWindow(heard, kGreetingHz, size_t(microphone)) < 0,
                 "the greeting stopped");
        const QStringList log = call.rig.sysLog();
        QVERIFY(log.contains("Pick Up[LineIndex:0]") && log.contains("Hang Up[LineIndex:0]"));
        QVERIFY(!call.rig.callsLog().filter(QRegularExpression("^Pick Up \\[Bob:.*bob.*\\]$")).isEmpty());
    }

    // Picked up mid-message: what was recorded is the call's message, the limits stop, and the
    // caller hanging up ends the conversation as it ends a message.
    void pickUpMidMessageKeepsItAndCallerHangsUp()
    {
        Call call(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}, {"cDropSilence", "1"}, {"SecSilence", "3"}});
        QTRY_VERIFY_WITH_TIMEOUT(call.rig.form().Wave1().IsRecording(), 15000);
        QTest::qWait(1800);
        QCOMPARE(runKalvo("--pick-up"), 0);
        QVERIFY(call.engine().talk().talking());
        QVERIFY(!call.rig.form().Wave1().IsRecording());
        QVERIFY(!call.engine().flow().limits().TimerRecord()->isActive());
        QVERIFY(!call.engine().flow().limits().tmrSilence()->isActive());
        QCOMPARE(runKalvo("--pick-up"), 1); // once is enough
        QTest::qWait(1500);
        call.caller.hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(call.rig.records().size()), 1, 15000);
        QVERIFY(!call.engine().talk().talking());
        const auto record = call.rig.records().front();
        QVERIFY2(record.at("Type").toDouble() >= 1.0, qPrintable(record.at("Type")));
        const std::vector<int16_t> message = kalvo::sip::test::readWav(
            (call.rig.messagesFolder() + record.at("Call_Massage_Name")).toStdString());
        QVERIFY2(kalvo::sip::test::share(message, kCallerHz) > 0.5, "the message holds the caller");
        QVERIFY(call.rig.sysLog().contains("Disconnected[LineIndex:0]"));
        QVERIFY(call.rig.sysLog().filter("Hang Up[LineIndex:0]").isEmpty());
    }

    // Picked up while ringing: answered at once, no greeting, straight to the conversation.
    void pickUpWhileRingingAnswersWithoutGreeting()
    {
        Call call(Values{{"NumOfRing", "20"}});
        QTRY_VERIFY_WITH_TIMEOUT(call.rig.sysLog().contains("Ring[LineIndex:0]->1"), 15000);
        QCOMPARE(call.engine().pickUp(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(call.engine().talk().talking(), 10000);
        // The private server's null sink hands its monitor over in large blocks at first.
        QTest::qWait(3000);
        QCOMPARE(call.engine().hangUp(), QString());
        QVERIFY(call.caller.waitLog("terminated", std::chrono::seconds(10)));
        QTRY_COMPARE_WITH_TIMEOUT(int(call.rig.records().size()), 1, 15000);
        const std::vector<int16_t> heard = call.caller.heard();
        QVERIFY2(
            kalvo::sip::test::firstToneWindow(heard, kMicrophoneHz) >= 0,
            qPrintable("the caller heard the microphone: " + call.rig.sysLog().filter("Talk").join('\n')));
        QVERIFY2(kalvo::sip::test::firstToneWindow(heard, kGreetingHz) < 0, "and no greeting");
        QCOMPARE(call.rig.records().front().at("Call_Massage_Name"), QString());
    }

    // Without a microphone "Pick Up" says why and changes nothing: the message goes on; with none
    // running, `kalvo --pick-up` says so and fails.
    void noMicrophoneOrNoKalvoIsTold()
    {
        {
            Call call(Values{{"NumOfRing", "1"}});
            QTRY_VERIFY_WITH_TIMEOUT(call.rig.form().Wave1().IsRecording(), 15000);
            QVERIFY(m_pulse->removeMicrophones());
            QTRY_VERIFY_WITH_TIMEOUT(!call.engine().talk().cannotTalk().isEmpty(), 5000);
            QString errors;
            QCOMPARE(runKalvo("--pick-up", &errors), 1);
            QVERIFY2(errors.contains("No microphone"), qPrintable(errors));
            QVERIFY(call.rig.form().Wave1().IsRecording());
            QVERIFY(!call.engine().talk().talking());
            call.caller.hangUp();
            QTRY_COMPARE_WITH_TIMEOUT(int(call.rig.records().size()), 1, 15000);
        }
        QString errors;
        QCOMPARE(runKalvo("--hang-up", &errors), 1);
        QVERIFY2(errors.contains("not running"), qPrintable(errors));
    }

private:
    std::unique_ptr<kalvo::test::PrivatePulse> m_pulse;
};

QTEST_MAIN(DeskTalkTest)
#include "DeskTalkTest.moc"
