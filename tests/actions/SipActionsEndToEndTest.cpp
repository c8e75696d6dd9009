// One real call end to end: baresip on 127.0.0.1 calls the SIP line, the caller viewer follows the
// call, the message is recorded and stored, the mail reaches aiosmtpd on 127.0.0.1 with the recording
// attached byte for byte, and the user's program (a real script) is started once with the caller's
// details as separate arguments.
#include "ActionsTestKit.h"
#include "AnsweringEngine.h"
#include "CallerViewer.h"
#include "EngineRig.h"
#include "SipPeers.h"
#include "SmtpTestServer.h"
#include "mdlReg.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QJsonArray>
#include <QLabel>
#include <QtTest>

using kalvo::test::EngineRig;
using kalvo::test::ScriptStarts;
using kalvo::test::SmtpTestServer;

class SipActionsEndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void callIsRecordedMailedAndHandedToTheProgram()
    {
        SmtpTestServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errors()));
        ScriptStarts starts;
        const uint16_t port = kalvo::sip::test::freePort();
        QVERIFY(port != 0);
        const QString conf = kalvo::sip::test::lineConf(port);
        auto settings = kalvo::test::actionSettings(
            server.address(), "'" + ScriptStarts::script() + "' <NAME> <NUMBER> <MESSAGE_PATH> <DATE>");
        for (const auto& [name, value] : std::map<QString, QString>{{"NumOfRing", "2"},
                                                                    {"MaxRec", "1"},
                                                                    {"ViewDetails", "1"},
                                                                    {"WhenMsgViewMsg", "1"},
                                                                    {"cAnimation", "1"},
                                                                    {"AnimationFast", "100"}})
            settings[name] = value;
        EngineRig rig(settings, 1.0, conf);
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(400, 8000, 300));
        rig.start();
        QVERIFY2(rig.form().statusText().startsWith("Monitoring SIP Line"),
                 qPrintable(rig.form().statusText()));
        auto* viewer = dynamic_cast<QWidget*>(&rig.form().viewer());
        auto label = [&](const char* name) { return viewer->findChild<QLabel*>(name)->text(); };

        // Silence through greeting and beep, then speech until the caller hangs up.
        std::vector<int16_t> voice(8000, 0);
        const std::vector<int16_t> speech = kalvo::sip::test::tone(700, 6.0, 9000);
        voice.insert(voice.end(), speech.begin(), speech.end());
        kalvo::sip::test::Baresip caller("Bob", "bob@127.0.0.1>;regint=0", voice);
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));

        QTRY_VERIFY_WITH_TIMEOUT(rig.form().viewer().isLoaded(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(label("lblCallerName"), QString("Bob"), 10000);
        QVERIFY(viewer->findChild<QFrame*>("Picture3")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 15000);
        QCOMPARE(label("lblStatus"), QString("Connected"));
        QVERIFY(!viewer->findChild<QFrame*>("Picture3")->isEnabled());
        QTest::qWait(2500);
        caller.hangUp();

        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 15000);
        const auto record = rig.records().front();
        const QString file = rig.messagesFolder() + record.at("Call_Massage_Name");
        QVERIFY(QFile::exists(file));
        QCOMPARE(label("lblStatus"), QString("New Message"));
        QCOMPARE(label("lblMessagePath"), file);

        QTRY_COMPARE_WITH_TIMEOUT(server.messageCount(), 1, 20000);
        const QJsonObject mail = server.message(1);
        QCOMPARE(mail["headers"].toObject()["Subject"].toString(),
                 "New Call From Bob - " + record.at("Call_Number"));
        const QJsonArray attachments = mail["attachments"].toArray();
        QCOMPARE(attachments.size(), 1);
        QCOMPARE(attachments[0].toObject()["filename"].toString(), record.at("Call_Massage_Name"));
        QFile sent(file), received(attachments[0].toObject()["path"].toString());
        QVERIFY(sent.open(QIODevice::ReadOnly) && received.open(QIODevice::ReadOnly));
        const QByteArray bytes = sent.readAll();
        QVERIFY(bytes.size() > 16000);
        QCOMPARE(received.readAll(), bytes);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLogHas("Mail was sent to owner@example.com"), 10000);

        QTRY_COMPARE_WITH_TIMEOUT(int(starts.starts().size()), 1, 10000);
        QTest::qWait(500);
        const auto all = starts.starts();
        QCOMPARE(int(all.size()), 1);
        QCOMPARE(all[0].arguments, QStringList({"Bob", record.at("Call_Number"),
                                                record.at("Call_Massage_Name"), record.at("Call_Date")}));
        QCOMPARE(rig.sysLog().filter("Send To APP").size(), 1);
    }

    // The program itself, "kalvo -st" in a process of its own, takes a call from baresip and mails
    // the recording and starts the user's program once, as the in-process form does.
    void startedProgramDoesTheSame()
    {
        kalvo::test::IsolatedHome home;
        SmtpTestServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errors()));
        ScriptStarts starts;
        const uint16_t port = kalvo::sip::test::freePort();
        QVERIFY(port != 0);
        QFile conf(QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF")));
        QDir().mkpath(QFileInfo(conf).path());
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QString("[Line0]\nname = SIP Line\nprovider = sip\nlisten = 127.0.0.1:%1\n"
                           "ring_interval = 0.3\nrtp_ports = 40000-49998\n")
                       .arg(port)
                       .toUtf8());
        conf.close();
        const QString folder = home.programFolder();
        QDir().mkpath(folder + "/Greets");
        kalvo::test::writeWav(folder + "/Greets/Test.wav", kalvo::test::tone(400, 8000, 300));
        auto settings = kalvo::test::actionSettings(server.address(), "'" + ScriptStarts::script() +
                                                                          "' <NAME> <NUMBER> <MESSAGE_PATH>");
        for (const auto& [name, value] : std::map<QString, QString>{{"cLogSys", "1"},
                                                                    {"Greeting", "Test"},
                                                                    {"RecordMessage", "1"},
                                                                    {"NumOfRing", "1"},
                                                                    {"MaxRec", "1"},
                                                                    {"ViewDetails", "1"},
                                                                    {"cAnimation", "1"}})
            settings[name] = value;
        for (const auto& [name, value] : settings)
            mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name, 1, value);

        // Kalvo asks the sound server for its echo canceller; the user's program gets the
        // properties as the user set them, without that request.
        kalvo::test::ScopedEnv soundProperties("PULSE_PROP", "media.role=phone");
        QProcess kalvo;
        kalvo::test::startProgram(kalvo, {"-st"});
        QVERIFY(kalvo.waitForStarted());
        auto logHas = [&](const QString& text) {
            return kalvo::test::programLogHas(folder, "*_Sys.txt", text);
        };
        QTRY_VERIFY_WITH_TIMEOUT(logHas("LineOpen"), 30000);

        std::vector<int16_t> voice(8000, 0);
        const std::vector<int16_t> speech = kalvo::sip::test::tone(700, 6.0, 9000);
        voice.insert(voice.end(), speech.begin(), speech.end());
        kalvo::sip::test::Baresip caller("Carol", "carol@127.0.0.1>;regint=0", voice);
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
        QTRY_VERIFY_WITH_TIMEOUT(logHas("Start Record Message"), 20000);
        QTest::qWait(2000);
        QElapsedTimer sinceHangUp;
        sinceHangUp.start();
        caller.hangUp();

        QTRY_COMPARE_WITH_TIMEOUT(server.messageCount(), 1, 30000);
        const qint64 mailedMs = sinceHangUp.elapsed();
        const QJsonArray attachments = server.message(1)["attachments"].toArray();
        QCOMPARE(attachments.size(), 1);
        const QString name = attachments[0].toObject()["filename"].toString();
        QFile sent(folder + "/Messages/" + name), received(attachments[0].toObject()["path"].toString());
        QVERIFY(sent.open(QIODevice::ReadOnly) && received.open(QIODevice::ReadOnly));
        const QByteArray bytes = sent.readAll();
        QVERIFY(bytes.size() > 16000);
        QCOMPARE(received.readAll(), bytes);

        QTRY_COMPARE_WITH_TIMEOUT(int(starts.starts().size()), 1, 10000);
        qInfo("hang-up to mail received: %lld ms, to program started: <= %lld ms", mailedMs,
              sinceHangUp.elapsed());
        QTest::qWait(500);
        const auto all = starts.starts();
        QCOMPARE(int(all.size()), 1);
        QCOMPARE(all[0].arguments.size(), 3);
        QCOMPARE(all[0].arguments[0], QString("Carol"));
        QVERIFY2(all[0].arguments[1].contains("carol"), qPrintable(all[0].arguments[1]));
        QCOMPARE(all[0].arguments[2], name);
        QCOMPARE(all[0].soundProperties, QString("media.role=phone"));

        kalvo.terminate();
        QVERIFY(kalvo.waitForFinished(20000));
    }
};

QTEST_MAIN(SipActionsEndToEndTest)
#include "SipActionsEndToEndTest.moc"
