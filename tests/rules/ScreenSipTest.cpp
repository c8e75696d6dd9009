// Call screening on real SIP calls on 127.0.0.1: a screened caller gets 200 without 180 and hears
// the prompt; baresip pressing the key (RFC 4733) is greeted, recorded and listed, and its next call
// rings; a silent caller is hung up on after the wait, a raw caller who hangs up during the prompt
// leaves nothing. At the desk (a private sound server's speakers, a real SMTP server) a screened-out
// caller neither rings nor is mailed, while one who passes does both.
#include "AnsweringEngine.h"
#include "EngineRig.h"
#include "PrivatePulse.h"
#include "SipLineRig.h"
#include "SmtpTestServer.h"
#include "SoundCardBackend.h"
#include "WaveDeviceTable.h"

#include <QElapsedTimer>
#include <QtTest>

using kalvo::test::RawCall;
using kalvo::test::SipLineRig;
using Values = std::map<QString, QString>;
using namespace std::chrono;

class ScreenSipTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Before anything opens the sound card, so Qt's sound backend meets this server.
        m_pulse = std::make_unique<kalvo::test::PrivatePulse>();
    }

    void screenedCallersOnSip()
    {
        SipLineRig rig(Values{{"NumOfRing", "2"},
                              {"MaxRec", "1"},
                              {"ScreenCallers", "1"},
                              {"ScreenWait", "4"},
                              {"ScreenPrompt", "Ask"}});
        QVERIFY(rig.port != 0);
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Ask.wav", kalvo::test::tone(1500, 8000, 1000));
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(1000, 8000, 300));
        rig.start();
        const std::string target = rig.target();

        {
            kalvo::sip::test::Baresip mum("Mum", "+14155550100@127.0.0.1>;regint=0",
                                          kalvo::sip::test::tone(700, 10.0));
            mum.dial(target);
            QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Connected[LineIndex:0]"), 15000);
            QVERIFY(rig.form().engine().state().Screening);
            QTest::qWait(700);
            mum.console("1");
            QTRY_VERIFY_WITH_TIMEOUT(rig.callsLog().contains("Passed screening [Mum:+14155550100]"), 5000);
            QTRY_VERIFY_WITH_TIMEOUT(!rig.sysLog().filter("Start Record Message").isEmpty(), 10000);
            QTest::qWait(1500);
            mum.hangUp();
            QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 15000);
            QVERIFY(rig.sysLog().filter("Ring[LineIndex:0]").isEmpty());
            const std::vector<int16_t> heard = mum.heard();
            QVERIFY2(kalvo::sip::test::share(heard, 1000) > 0.05, "the prompt reached the caller");
            QVERIFY2(kalvo::sip::test::share(heard, 300) > 0.05, "the greeting followed it");
        }

        {
            kalvo::sip::test::Baresip robo("Robo", "+13055550100@127.0.0.1>;regint=0",
                                           std::vector<int16_t>(8000 * 20, 0));
            robo.dial(target);
            QTRY_COMPARE_WITH_TIMEOUT(rig.sysLog().filter("Connected[LineIndex:0]").size(), 2, 15000);
            QElapsedTimer waited;
            waited.start();
            QTRY_COMPARE_WITH_TIMEOUT(rig.sysLog().filter("Idle[LineIndex:0]").size(), 2, 10000);
            QVERIFY2(waited.elapsed() < 4000 + 1000, qPrintable(QString::number(waited.elapsed())));
            QVERIFY2(robo.waitLog("terminated", seconds(5)), robo.log().c_str());
            QVERIFY(rig.callsLog().contains("Screened [Robo:+13055550100] unknown number"));
            QCOMPARE(int(rig.records().size()), 1);
        }

        // A raw caller: 100 and 200, no 180; its BYE during the prompt ends the call with no row.
        kalvo::sip::test::RawPeer peer(rig.port);
        RawCall raw(peer, "s1", "\"Raw\" <sip:5550199@127.0.0.1>");
        raw.invite();
        QCOMPARE(raw.codesUntil("200"), (std::vector<std::string>{"100", "200"}));
        const std::string to = raw.answeredTo();
        raw.send("ACK", to, 1, "Content-Length: 0\r\n\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(rig.sysLog().filter("Connected[LineIndex:0]").size(), 3, 10000);
        raw.send("BYE", to, 2, "Content-Length: 0\r\n\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(rig.sysLog().filter("Idle[LineIndex:0]").size(), 3, 10000);
        QVERIFY(rig.sysLogHas("ScreenedOut[LineIndex:0]->hung up"));
        QVERIFY(rig.callsLog().contains("Screened [Raw:5550199] unknown number"));

        // The caller who passed rings normally now.
        kalvo::sip::test::Baresip again("Mum", "+14155550100@127.0.0.1>;regint=0",
                                        std::vector<int16_t>(8000 * 10, 0));
        again.dial(target);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.sysLog().filter("Ring[LineIndex:0]").isEmpty(), 15000);
        QCOMPARE(rig.callsLog().filter("Screened [").size(), 2);
        QCOMPARE(int(rig.records().size()), 1);
    }

    // With mail on for every call and a ring sound set: the silent caller is screened out without
    // either; the caller who presses the key rings the desk once and is mailed once.
    void screenedOutCallerReachesNobodyAtTheDesk()
    {
        KALVO_REQUIRE_PULSE(*m_pulse);
        kalvo::wave::SoundCardBackend soundCard; // the rig has none of its own
        QTRY_VERIFY_WITH_TIMEOUT(
            kalvo::wave::WaveDeviceTable::instance().soundCardCount(kalvo::wave::WaveDirection::Out) == 2,
            5000);
        kalvo::test::SmtpTestServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errors()));
        SipLineRig rig(Values{{"NumOfRing", "2"},
                              {"MaxRec", "1"},
                              {"ScreenCallers", "1"},
                              {"ScreenWait", "3"},
                              {"ScreenPrompt", "Ask"},
                              {"cPlayInRing", "1"},
                              {"PlayInRing", "ring.wav"},
                              {"pMailTo", "1"},
                              {"MailTo", "owner@example.com"},
                              {"SMTPServer", server.address()},
                              {"MailFrom", "kalvo@example.com"},
                              {"ActionsMailAllCalls", "1"}});
        QVERIFY(rig.port != 0);
        constexpr int kRingHz = 1200;
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Ask.wav", kalvo::test::tone(1000, 8000, 1000));
        kalvo::test::writeWav(rig.programFolder() + "/Sound/ring.wav",
                              kalvo::test::tone(1000, 8000, kRingHz));
        kalvo::test::PulseCapture speaker(*m_pulse, "speaker.monitor");
        rig.start();
        const std::string target = rig.target();
        // Seconds of the ring sound the speakers played (windows start every 25 ms).
        const auto rang = [&] { return kalvo::test::windowsOf(speaker.samples(), kRingHz).size() * 0.025; };

        // The start beep is over (a ring sound waits for the card) and the speakers are heard.
        QTRY_VERIFY_WITH_TIMEOUT(!rig.form().WavePlay().IsPlaying() && speaker.samples().size() > 8000,
                                 10000);
        {
            kalvo::sip::test::Baresip robo("Robo", "+13055550100@127.0.0.1>;regint=0",
                                           std::vector<int16_t>(8000 * 20, 0));
            robo.dial(target);
            QTRY_VERIFY_WITH_TIMEOUT(rig.sysLogHas("ScreenedOut[LineIndex:0]->timed out"), 15000);
            QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Idle[LineIndex:0]"), 10000);
        }
        QTest::qWait(3000); // a mail leaves right after the call
        QCOMPARE(server.messageCount(), 0);
        QCOMPARE(rang(), 0.0);
        QVERIFY(rig.sysLog().filter("Mail was sent").isEmpty());

        kalvo::sip::test::Baresip mum("Mum", "+14155550100@127.0.0.1>;regint=0",
                                      kalvo::sip::test::tone(700, 10.0));
        mum.dial(target);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().filter("Connected[LineIndex:0]").size() == 2, 15000);
        QTest::qWait(700);
        mum.console("1");
        QTRY_VERIFY_WITH_TIMEOUT(rig.callsLog().contains("Passed screening [Mum:+14155550100]"), 5000);
        // The sound server hands its monitor over late and in large blocks at first.
        QTRY_VERIFY_WITH_TIMEOUT(rang() >= 0.5, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.sysLog().filter("Start Record Message").isEmpty(), 10000);
        mum.hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(server.messageCount(), 1, 20000);
        QVERIFY(server.message(1)["headers"].toObject()["Subject"].toString().contains("+14155550100"));
        QTest::qWait(2000);
        QCOMPARE(server.messageCount(), 1);
        QVERIFY2(rang() < 1.5, qPrintable(QString("the ring sound played for %1 s").arg(rang())));
    }

private:
    std::unique_ptr<kalvo::test::PrivatePulse> m_pulse;
};

QTEST_MAIN(ScreenSipTest)
#include "ScreenSipTest.moc"
