// End to end over the real SIP line: a baresip softphone on 127.0.0.1 calls, the main form answers at
// the ring threshold, the caller hears greeting and beep, the caller's voice is recorded, the caller
// hangs up; the message file, the record, the list row and both logs are checked. A line whose SIP
// port is taken shows why and comes into service by itself once the port is free.
#include "AnsweringEngine.h"
#include "CallList.h"
#include "EngineRig.h"
#include "LocaleText.h"
#include "RemotePlayback.h"
#include "SipPeers.h"
#include "TestAuthority.h"
#include "TrayIcon.h"
#include "mdlLog.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;
using kalvo::sip::test::firstToneWindow;
using kalvo::sip::test::share;

class SipEndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    // One call from baresip, to the address the status bar and the tray show, through to the
    // stored, listed and logged message.
    void callIsAnsweredRecordedAndStored()
    {
        const uint16_t port = kalvo::sip::test::freePort();
        QVERIFY(port != 0);
        const QString conf = kalvo::sip::test::lineConf(port);
        EngineRig rig(Values{{"NumOfRing", "2"}, {"MaxRec", "1"}}, 1.0, conf);
        // A greeting of 800 ms at 300 Hz; the rig's beep is 1000 Hz.
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(800, 8000, 300));
        rig.start();
        const QString shown = rig.form().statusText();
        const QString address = "sip:kalvo@127.0.0.1:" + QString::number(port);
        QCOMPARE(shown, "Monitoring SIP Line - " + address);
        QVERIFY2(rig.form().tray().toolTip().endsWith("\n" + address),
                 qPrintable(rig.form().tray().toolTip()));

        // The caller says nothing for 1.5 s (greeting and beep), then speaks 700 Hz for 3 s.
        std::vector<int16_t> voice(12000, 0);
        const std::vector<int16_t> speech = kalvo::sip::test::tone(700, 3.0, 9000);
        voice.insert(voice.end(), speech.begin(), speech.end());
        kalvo::sip::test::Baresip caller("Bob", "bob@127.0.0.1>;regint=0", voice);
        caller.dial(shown.mid(shown.indexOf("sip:")).toStdString());

        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 15000);
        QTest::qWait(3000);
        caller.hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 15000);

        const auto record = rig.records().front();
        QCOMPARE(record.at("Call_Name"), QString("Bob"));
        QVERIFY2(record.at("Call_Number").contains("bob"), qPrintable(record.at("Call_Number")));
        QCOMPARE(record.at("Read"), QString("0"));
        QVERIFY2(record.at("Type").toDouble() > 1.0, qPrintable(record.at("Type")));
        const QString file = rig.messagesFolder() + record.at("Call_Massage_Name");
        QVERIFY(QFile::exists(file));
        const std::vector<int16_t> message = kalvo::sip::test::readWav(file.toStdString());
        QVERIFY(message.size() > 8000);
        QVERIFY2(share(message, 700) > 0.3, "the caller's tone is in the message");
        QCOMPARE(rig.form().callList().rowCount(), 1);
        QCOMPARE(rig.form().callList().keyAt(1), record.at("Call_Massage_Name"));
        // Selecting the call shows its message's length in the player, as m:ss.
        rig.form().callList().select(1);
        rig.form().callList().ListView1_Click();
        QCOMPARE(rig.form().findChild<QLabel*>("lblPlayTime")->text(),
                 "0:00 / " + LocaleText::minutesSeconds(record.at("Type")));

        // The caller heard the greeting and then the beep.
        const std::vector<int16_t> heard = caller.heard();
        QVERIFY2(heard.size() > 8000, "baresip received audio");
        const long greeting = firstToneWindow(heard, 300);
        QVERIFY2(greeting >= 0, "the greeting reached the caller");
        QVERIFY2(firstToneWindow(heard, 1000, size_t(greeting)) > greeting, "the beep followed it");

        QVERIFY(rig.callsLog().filter(QRegularExpression("^Ring:2 \\[Bob:.*bob.*\\]$")).size() == 1);
        const QStringList log = rig.sysLog();
        for (const char* line : {"InCommingCall[LineIndex:0]", "Ring[LineIndex:0]->2",
                                 "Connected[LineIndex:0]", "Disconnected[LineIndex:0]", "Idle[LineIndex:0]"})
            QVERIFY2(log.contains(line), line);
        QVERIFY(!log.filter(QRegularExpression("^LineAnswer\\[LineIndex:0\\]->Proc Num: \\d+$")).isEmpty());
        QVERIFY(!log.filter(QRegularExpression("^Record Message ")).isEmpty());
    }

    // "Drop Call" on a ringing call refuses it (603) without ever answering it: the caller's phone
    // never shows the call as connected.
    void dropCallRefusesWithoutAnswering()
    {
        const uint16_t port = kalvo::sip::test::freePort();
        QVERIFY(port != 0);
        const QString conf = kalvo::sip::test::lineConf(port);
        EngineRig rig(Values{{"NumOfRing", "20"}}, 1.0, conf);
        rig.start();
        kalvo::sip::test::Baresip caller("Bob", "bob@127.0.0.1>;regint=0", std::vector<int16_t>(8000, 0));
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Ring[LineIndex:0]->1"), 15000);
        rig.form().engine().dropIncoming();
        QVERIFY2(caller.waitLog("603", std::chrono::seconds(10)), caller.log().c_str());
        QVERIFY2(caller.log().find("established") == std::string::npos, caller.log().c_str());
        QVERIFY(rig.sysLog().filter("LineAnswer[LineIndex:0]").isEmpty());
    }

    // The SIP port is held by another socket when the line opens: the system log and the status bar
    // give the reason while the line stays switched on; once the port is free the provider's next
    // try (every 10 s) brings the line into service by itself, and a real call is answered.
    void takenPortIsShownUntilTheLineComesBack()
    {
        const uint16_t port = kalvo::sip::test::freePort();
        QVERIFY(port != 0);
        const int blocker = ::socket(AF_INET, SOCK_DGRAM, 0);
        QVERIFY(blocker >= 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        QCOMPARE(::bind(blocker, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        const QString conf = kalvo::sip::test::lineConf(port);
        EngineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}}, 1.0, conf);
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(300, 8000, 300));
        rig.start();

        const QString status = rig.form().statusText();
        QVERIFY2(status.startsWith("Out Of Service: ") && status.contains("Address already in use"),
                 qPrintable(status));
        const QString reason = status.mid(int(std::strlen("Out Of Service: ")));
        QVERIFY2(rig.sysLog().contains("LineOutOfService[LineIndex:0]->" + reason),
                 qPrintable(rig.sysLog().join('\n')));
        QVERIFY(rig.form().engine().state().LineIsOpen);
        auto* onOff = rig.form().findChild<QAction*>("OnOff");
        QVERIFY(onOff && onOff->isChecked());

        ::close(blocker);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("LineInService[LineIndex:0]"), 15000);
        QVERIFY2(rig.form().statusText().startsWith("Monitoring SIP Line"),
                 qPrintable(rig.form().statusText()));
        QVERIFY(onOff->isChecked());

        kalvo::sip::test::Baresip caller("Cy", "cy@127.0.0.1>;regint=0", std::vector<int16_t>(8000 * 4, 0));
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Connected[LineIndex:0]"), 15000);
        caller.hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Idle[LineIndex:0]"), 15000);
    }

    // A caller keying wrong passwords on a real softphone is hung up on after the third; the keys
    // reach the log masked.
    void wrongPasswordsEndTheCall()
    {
        const uint16_t port = kalvo::sip::test::freePort();
        QVERIFY(port != 0);
        const QString conf = kalvo::sip::test::lineConf(port);
        EngineRig rig(Values{{"NumOfRing", "1"}, {"Pass", "42"}, {"AllowRemoteAccess", "1"}}, 1.0, conf);
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(8000, 8000, 300));
        rig.start();
        kalvo::sip::test::Baresip caller("Eve", "eve@127.0.0.1>;regint=0",
                                         std::vector<int16_t>(8000 * 20, 0));
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().engine().state().GreetingPlaying, 15000);
        QTest::qWait(300);
        for (const char* key : {"1", "*", "2", "*", "4", "3", "*"}) {
            caller.console(key);
            QTest::qWait(250);
        }
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Remote Control Hang Up After 3 Tries [LineIndex:0]"),
                                 10000);
        QVERIFY(caller.waitLog("terminated", std::chrono::seconds(5)));
        QCOMPARE(rig.sysLog().filter("Remote Control Wrong Password [LineIndex:0]").size(), 3);
        QCOMPARE(rig.sysLog().filter(QRegularExpression("^MonitorDigit\\[LineIndex:0\\]->x$")).size(), 4);
        QCOMPARE(rig.sysLog().filter(QRegularExpression("^MonitorDigit.*->[0-9]")).size(), 0);
    }

    // Remote access from a real softphone: a wrong try gets the error tone and the greeting again; the
    // password lets the caller in to the spoken counts and the messages, newest first, a tone before
    // each. Heard to its end marks a message read; 1 plays it again and 2 skips it (it stays unread);
    // 3 asks and a second 3 deletes it with its file; 9 keeps it (read). Then the caller is hung up on.
    void remoteAccessTalksAndTakesKeys()
    {
        const uint16_t port = kalvo::sip::test::freePort();
        QVERIFY(port != 0);
        EngineRig rig(Values{{"NumOfRing", "1"}, {"Pass", "42"}, {"AllowRemoteAccess", "1"}}, 1.0,
                      kalvo::sip::test::lineConf(port));
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(6000, 8000, 300));
        rig.start();
        // Oldest first; each starts with 0.3 s of its own mark, then 1.2 s of its own tone.
        const std::vector<std::pair<int, int>> marks{{500, 1500}, {600, 1600}, {700, 1700}, {800, 1800}};
        for (size_t i = 0; i < marks.size(); ++i) {
            std::vector<int16_t> message = kalvo::test::tone(300, 8000, marks[i].second);
            const auto body = kalvo::test::tone(1200, 8000, marks[i].first);
            message.insert(message.end(), body.begin(), body.end());
            rig.addCall(QString("m%1.wav").arg(i + 1), message);
        }
        rig.form().callList().makeList();
        kalvo::sip::test::Baresip caller("Owner", "owner@127.0.0.1>;regint=0",
                                         std::vector<int16_t>(8000 * 90, 0));
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().engine().state().GreetingPlaying, 15000);
        const auto keys = [&caller](const std::string& sequence) {
            for (char key : sequence) {
                caller.console(std::string(1, key));
                QTest::qWait(250);
            }
        };
        keys("9*");
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Remote Control Wrong Password [LineIndex:0]"), 10000);
        QTest::qWait(1500); // the error tone, then the greeting again
        keys("42*");
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Remote Control [LineIndex:0]"), 10000);
        QVERIFY(rig.sysLog().contains("Remote Control Messages 4 New 0 Old"));

        RemotePlayback& playback = rig.form().engine().remote().playback();
        const auto atMessage = [&](const char* file) {
            return playback.step() == RemotePlayback::Step::Message &&
                   rig.form().callList().selectedKey() == QLatin1String(file);
        };
        // m4 plays to its end; in m3 "1" starts it again, then "2" skips it.
        QTRY_VERIFY_WITH_TIMEOUT(atMessage("m3.wav"), 30000);
        QTest::qWait(500);
        keys("1");
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Remote Control Repeat"), 10000);
        QTest::qWait(600);
        keys("2");
        QTRY_VERIFY_WITH_TIMEOUT(atMessage("m2.wav"), 10000);
        QTest::qWait(500);
        keys("3");
        QTRY_VERIFY_WITH_TIMEOUT(playback.step() == RemotePlayback::Step::Answer, 15000);
        keys("3");
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Remote Control Deleted"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(atMessage("m1.wav"), 15000);
        QTest::qWait(300);
        keys("9");
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.sysLog().filter(QRegularExpression("^LineDrop\\[LineIndex:0\\]")).size() >= 1, 20000);

        // Read state and deletion, through the store's records.
        std::map<QString, QString> read;
        for (const auto& record : rig.records())
            read[record.at("Call_Massage_Name")] = record.at("Read");
        QCOMPARE(read, (std::map<QString, QString>{{"m1.wav", "1"}, {"m3.wav", "0"}, {"m4.wav", "1"}}));
        QVERIFY(!QFile::exists(rig.messagesFolder() + "m2.wav"));
        QCOMPARE(rig.form().callList().rowCount(), 3);

        // What the caller heard, in 50 ms windows: the error tone after some greeting and more
        // greeting after it; speech before the first tone; the 1200 Hz tone before each of the four
        // messages (four separate runs); m3's mark twice (it was played again); m4 whole.
        const std::vector<int16_t> heard = caller.heard();
        const auto runs = [](const std::vector<size_t>& windows) {
            int count = 0;
            for (size_t i = 0; i < windows.size(); ++i)
                count += (i == 0 || windows[i] > windows[i - 1] + 1600) ? 1 : 0;
            return count;
        };
        const auto refused = kalvo::test::windowsOf(heard, 480);
        const auto greeting = kalvo::test::windowsOf(heard, 300);
        const auto tones = kalvo::test::windowsOf(heard, 1200);
        QVERIFY2(!refused.empty() && !greeting.empty() && refused.front() > greeting.front(), "error tone");
        QVERIFY2(greeting.back() > refused.front() + 4000, "the greeting went on after the error tone");
        QVERIFY2(runs(tones) >= 4, qPrintable(QString::number(runs(tones))));
        const auto speech = kalvo::test::soundWindows(heard, {300, 480, 400, 320, 1200});
        const long spokenBeforeTone = std::count_if(speech.begin(), speech.end(), [&](size_t at) {
            return at > refused.front() + 8000 && at < tones.front();
        });
        // The counts take some two seconds to say; a quarter of that is plenty to tell speech.
        QVERIFY2(spokenBeforeTone >= 20, qPrintable(QString::number(spokenBeforeTone)));
        QVERIFY2(runs(kalvo::test::windowsOf(heard, 1700)) >= 2, "m3 was played again");
        QVERIFY2(kalvo::test::windowsOf(heard, 800).size() >= 40, "m4 was heard whole");
        QVERIFY(!rig.sysLog().contains("Idle[LineIndex:0]"));
    }

    // An account over TLS whose registrar shows an expired certificate: the status bar and the
    // system log give that reason, and the line still answers direct calls.
    void refusedCertificateIsShownAndDirectCallsStillWork()
    {
        QTemporaryDir dir;
        kalvo::sip::test::TestAuthority authority(dir.path().toStdString());
        kalvo::sip::test::Kamailio registrar("s3cret", authority.issue("old", "127.0.0.1", -60, -30),
                                             authority.keyFile("old"));
        const uint16_t port = kalvo::sip::test::freePort(true);
        const QString conf = QString("[Line0]\nname = SIP Line\nprovider = sip\nlisten = 127.0.0.1:%1\n"
                                     "ring_interval = 0.3\nrtp_ports = 40000-49998\ntransport = tls\n"
                                     "registrar = sip:127.0.0.1:%2\nuser = kalvo\npassword = s3cret\n"
                                     "tls_ca = %3\n")
                                 .arg(port)
                                 .arg(registrar.tlsPort())
                                 .arg(QString::fromStdString(authority.caFile()));
        EngineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}}, 1.0, conf);
        rig.start();
        const QString reason = "registration refused: the registrar's certificate has expired";
        QTRY_COMPARE_WITH_TIMEOUT(rig.form().statusText(), "Out Of Service: " + reason, 15000);
        QVERIFY(rig.sysLog().contains("LineOutOfService[LineIndex:0]->" + reason));
        QCOMPARE(registrar.count("REGISTER from"), size_t(0));

        kalvo::sip::test::Baresip caller("Dee", "dee@127.0.0.1>;regint=0", std::vector<int16_t>(8000 * 4, 0));
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Connected[LineIndex:0]"), 15000);
        caller.hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Idle[LineIndex:0]"), 15000);
    }

    // The same registrar with tls_verify = no in the file: the account registers, and the system
    // log says at the start that its certificate is not checked.
    void uncheckedCertificateIsSaidInTheLog()
    {
        QTemporaryDir dir;
        kalvo::sip::test::TestAuthority authority(dir.path().toStdString());
        kalvo::sip::test::Kamailio registrar("s3cret", authority.issue("old", "127.0.0.1", -60, -30),
                                             authority.keyFile("old"));
        const QString conf = QString("[Line0]\nname = SIP Line\nprovider = sip\nlisten = 127.0.0.1:%1\n"
                                     "rtp_ports = 40000-49998\ntransport = tls\ntls_verify = no\n"
                                     "registrar = sip:127.0.0.1:%2\nuser = kalvo\npassword = s3cret\n")
                                 .arg(kalvo::sip::test::freePort(true))
                                 .arg(registrar.tlsPort());
        EngineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}}, 1.0, conf);
        rig.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("LineInService[LineIndex:0]->the registrar's TLS "
                                                       "certificate is not checked (tls_verify = no): anyone "
                                                       "in between can read and change the calls"),
                                 15000);
        QTRY_COMPARE(rig.form().statusText(),
                     QString("the registrar's TLS certificate is not checked (tls_verify = no): anyone in "
                             "between can read and change the calls"));
    }

    // A value the line cannot read costs only its key: the line opens with that key's default, and
    // the status bar and the system log name the file, the section, the key and the value.
    void badValueIsNamedAndTheLineOpens()
    {
        const QString conf =
            kalvo::sip::test::lineConf(kalvo::sip::test::freePort()) + "jitter_buffer = 99-1\n";
        EngineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}}, 1.0, conf);
        rig.start();
        QVERIFY(rig.form().Tapi1().LineOpened(0));
        const QString warning = QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF")) +
                                " [Line0] \"SIP Line\": bad value for jitter_buffer: \"99-1\"; the line uses "
                                "its default";
        QTRY_COMPARE_WITH_TIMEOUT(rig.form().statusText(), warning, 10000);
        QVERIFY(rig.sysLog().contains("LineInService[LineIndex:0]->" + warning));
    }

private:
    // Remote access speaks through the built helper.
    kalvo::test::ScopedEnv m_path{"PATH", QFile::encodeName(qEnvironmentVariable("KALVO_BIN_DIR")) + ":" +
                                              qgetenv("PATH")};
};

QTEST_MAIN(SipEndToEndTest)
#include "SipEndToEndTest.moc"
