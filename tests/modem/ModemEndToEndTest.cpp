// End to end over the modem line: the main form with the loaded line control answers a caller on the
// simulated modem at the ring threshold; the caller hears greeting and beep through AT+VTX and the
// caller's voice is recorded through AT+VRX until the busy tone, which is cut from the message; the
// record, the list row and the logs carry the caller ID. Keys typed on the phone reach remote access,
// and a device without a voice class is shown out of service with its reason.
#include "AnsweringEngine.h"
#include "CallList.h"
#include "EngineRig.h"
#include "ModemSignals.h"
#include "ModemSimulator.h"
#include "SipPeers.h"
#include "mdlReg.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QtTest>
#include <cmath>

using kalvo::modem::test::busyTone;
using kalvo::modem::test::Caller;
using kalvo::modem::test::join;
using kalvo::modem::test::ModemModel;
using kalvo::modem::test::ModemSimulator;
using kalvo::modem::test::share;
using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;

namespace {

QString modemConf(const std::string& device)
{
    return QString("[Line0]\nname = Home Line\nprovider = modem\ndevice = %1\n")
        .arg(QString::fromStdString(device));
}

// Starts the rig and waits until the modem has been set up (the line opens without waiting for it).
bool startMonitoring(EngineRig& rig)
{
    rig.start();
    return QTest::qWaitFor([&] { return rig.form().statusText().startsWith("Monitoring Home Line"); }, 15000);
}

} // namespace

class ModemEndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_locks.isValid());
        qputenv("KALVO_LOCK_DIR", m_locks.path().toLocal8Bit());
    }

    // A caller rings four times with formatted caller ID, hears the greeting and the beep, speaks,
    // and the busy tone ends the call: message, record, list row and logs are checked.
    void callIsAnsweredRecordedAndStored()
    {
        ModemSimulator modem;
        EngineRig rig(Values{{"NumOfRing", "4"}, {"MaxRec", "1"}}, 1.0, modemConf(modem.device()));
        const std::vector<int16_t> greeting = kalvo::sip::test::tone(300, 0.8, 8000);
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", greeting);
        QVERIFY(startMonitoring(rig));

        Caller caller;
        caller.rings = 8;
        caller.ringIntervalMs = 500;
        caller.callerId = kalvo::modem::test::formattedCallerId("5551234", "JOHN DOE");
        caller.voice =
            join({std::vector<int16_t>(8000 * 2, 0), kalvo::sip::test::tone(700, 3.0, 9000), busyTone(2)});
        caller.endEvent = 'b';
        modem.call(caller);

        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 20000);
        const auto record = rig.records().front();
        QCOMPARE(record.at("Call_Name"), QString("JOHN DOE"));
        QCOMPARE(record.at("Call_Number"), QString("5551234"));
        const QString file = rig.messagesFolder() + record.at("Call_Massage_Name");
        const std::vector<int16_t> message = kalvo::sip::test::readWav(file.toStdString());
        QVERIFY2(message.size() > 8000 * 2, qPrintable(QString::number(message.size())));
        QVERIFY2(share(message, 700) > 0.3, "the caller's voice is in the message");
        const size_t tail = message.size() - 4000;
        QVERIFY2(share(message, 480, tail) + share(message, 620, tail) < 0.1, "the busy tone was cut");
        QCOMPARE(rig.form().callList().rowCount(), 1);

        // What went down the line: the greeting as played (u-law), then the beep.
        const std::vector<int16_t> heard = modem.played();
        QVERIFY2(kalvo::sip::test::bestCorrelation(heard, greeting, 4000, 4000) > 0.95,
                 "the greeting, intact");
        QVERIFY2(share(heard, 1000, greeting.size()) > 0.1, "the beep followed it");
        QCOMPARE(modem.bufferStats().underruns, 0u);
        QCOMPARE(modem.bufferStats().overflows, 0u);

        QVERIFY(!rig.callsLog().filter(QRegularExpression("^Ring:4 \\[JOHN DOE:5551234\\]$")).isEmpty());
        const QStringList log = rig.sysLog();
        for (const char* line : {"InCommingCall[LineIndex:0]", "Ring[LineIndex:0]->4",
                                 "Connected[LineIndex:0]", "Disconnected[LineIndex:0]", "Idle[LineIndex:0]"})
            QVERIFY2(log.contains(line), line);
        QVERIFY(!log.filter("CallerID[LineIndex:0]->JOHN DOE-5551234").isEmpty());
    }

    // A private caller (caller ID in the unformatted form, so answered at the second ring) keys wrong
    // passwords on the phone: the keys reach remote access as digits, and the call is hung up after the third
    // try.
    void keysReachRemoteAccess()
    {
        ModemSimulator modem;
        EngineRig rig(Values{{"NumOfRing", "2"}, {"Pass", "42"}, {"AllowRemoteAccess", "1"}}, 1.0,
                      modemConf(modem.device()));
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav",
                              kalvo::sip::test::tone(300, 8.0, 8000));
        QVERIFY(startMonitoring(rig));
        Caller caller;
        caller.callerId = kalvo::modem::test::messageCallerId("P", "");
        caller.voice = std::vector<int16_t>(8000 * 20, 0);
        int at = 800;
        for (char key : std::string("1*2*43*"))
            caller.events.emplace_back(at += 250, key);
        modem.call(caller);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Remote Control Hang Up After 3 Tries [LineIndex:0]"),
                                 15000);
        QCOMPARE(rig.sysLog().filter("Remote Control Wrong Password [LineIndex:0]").size(), 3);
        QVERIFY2(!rig.sysLog().filter("CallerID[LineIndex:0]->Private-UNKNOWN").isEmpty(),
                 qPrintable(rig.sysLog().filter("CallerID").join('\n')));
        QTRY_VERIFY_WITH_TIMEOUT(!modem.offHook(), 5000);
    }

    // The modem is unplugged while the caller speaks: the message so far is stored and listed, the
    // status bar says why the line is out of service, and the line is back when the modem returns.
    void unplugDuringRecording()
    {
        ModemSimulator modem;
        EngineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}}, 1.0, modemConf(modem.device()));
        QVERIFY(startMonitoring(rig));
        Caller caller;
        caller.voice = join({std::vector<int16_t>(4000, 0), kalvo::sip::test::tone(700, 20, 9000)});
        modem.call(caller);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 15000);
        QTest::qWait(3000);
        modem.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 10000);
        const QString file = rig.messagesFolder() + rig.records().front().at("Call_Massage_Name");
        const std::vector<int16_t> message = kalvo::sip::test::readWav(file.toStdString());
        QVERIFY2(message.size() > 8000 * 2, "what was said before the unplugging is kept");
        QVERIFY(share(message, 700) > 0.3);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().statusText().startsWith("Out Of Service: "), 5000);
        QVERIFY2(rig.form().statusText().contains("unplugged"), qPrintable(rig.form().statusText()));
        modem.replug();
        // The first in-service line came when the line opened.
        QTRY_COMPARE_WITH_TIMEOUT(rig.sysLog().count("LineInService[LineIndex:0]"), 2, 15000);
        QVERIFY2(rig.form().statusText().startsWith("Monitoring Home Line"),
                 qPrintable(rig.form().statusText()));
    }

    // The owner calls in, keys the password during the greeting, and hears the message an earlier
    // caller left played down the line; then the line is hung up.
    void rightPasswordPlaysMessagesDownTheLine()
    {
        using kalvo::modem::test::silence;
        ModemSimulator modem;
        EngineRig rig(Values{{"NumOfRing", "2"}, {"MaxRec", "1"}, {"Pass", "42"}, {"AllowRemoteAccess", "1"}},
                      1.0, modemConf(modem.device()));
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav",
                              kalvo::sip::test::tone(300, 2.0, 8000));
        QVERIFY(startMonitoring(rig));
        Caller first;
        first.voice = join({silence(3.5), kalvo::sip::test::tone(700, 2.0, 9000), busyTone(2)});
        first.endEvent = 'b';
        modem.call(first);
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!modem.offHook(), 5000);
        QTest::qWait(500);

        const size_t before = modem.played().size();
        Caller owner;
        owner.voice = silence(30);
        owner.events = {{700, '4'}, {900, '2'}, {1100, '*'}};
        modem.call(owner);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Remote Control [LineIndex:0]"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!modem.offHook(), 15000);
        const std::vector<int16_t> all = modem.played();
        const std::vector<int16_t> heard(all.begin() + long(before), all.end());
        QVERIFY2(share(heard, 700) > 0.2, "the message reached the owner");
        QCOMPARE(int(rig.records().size()), 1);
    }

    // The program itself, "kalvo -st" in a process of its own, answers a caller on the simulated
    // modem at the second ring and stores the caller's voice with the caller ID.
    void startedProgramAnswersOnTheModem()
    {
        kalvo::test::IsolatedHome home;
        ModemSimulator modem;
        QFile conf(QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF")));
        QDir().mkpath(QFileInfo(conf).path());
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(modemConf(modem.device()).toUtf8());
        conf.close();
        const QString folder = home.programFolder();
        QDir().mkpath(folder + "/Greets");
        kalvo::test::writeWav(folder + "/Greets/Test.wav", kalvo::sip::test::tone(300, 1.0, 8000));
        for (const auto& [name, value] : Values{{"cLogSys", "1"},
                                                {"cLogCalls", "1"},
                                                {"Greeting", "Test"},
                                                {"RecordMessage", "1"},
                                                {"NumOfRing", "2"},
                                                {"MaxRec", "1"}})
            mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name, 1, value);

        QProcess kalvo;
        kalvo::test::startProgram(kalvo, {"-st"});
        QVERIFY(kalvo.waitForStarted());
        auto logHas = [&](const QString& pattern, const QString& text) {
            return kalvo::test::programLogHas(folder, pattern, text);
        };
        QTRY_VERIFY_WITH_TIMEOUT(logHas("*_Sys.txt", "LineInService[LineIndex:0]"), 30000);

        Caller caller;
        caller.callerId = kalvo::modem::test::formattedCallerId("5551234", "JOHN DOE");
        caller.voice =
            join({std::vector<int16_t>(8000 * 2, 0), kalvo::sip::test::tone(700, 3.0, 9000), busyTone(2)});
        caller.endEvent = 'b';
        modem.call(caller);
        // The program's logs are written by another process: wait for each line, never assume an order.
        QTRY_VERIFY_WITH_TIMEOUT(logHas("*_Calls.txt", "Ring:2 [JOHN DOE:5551234]"), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(QDir(folder + "/Messages").entryList({"*.wav"}, QDir::Files).size(), 1,
                                  30000);
        const QStringList messages = QDir(folder + "/Messages").entryList({"*.wav"}, QDir::Files);
        QTRY_VERIFY_WITH_TIMEOUT(
            share(kalvo::sip::test::readWav((folder + "/Messages/" + messages.front()).toStdString()), 700) >
                0.3,
            5000);
        QTRY_VERIFY_WITH_TIMEOUT(!modem.offHook(), 5000);
        kalvo.terminate();
        QVERIFY(kalvo.waitForFinished(20000));
    }

    // A data-only modem: the status bar and the system log give the reason, the line stays switched on.
    void deviceWithoutVoiceIsOutOfService()
    {
        ModemModel model;
        model.voice = false;
        ModemSimulator modem(model);
        EngineRig rig(Values{}, 1.0, modemConf(modem.device()));
        rig.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().statusText().startsWith("Out Of Service: "), 15000);
        QVERIFY2(rig.form().statusText().contains("no voice mode"), qPrintable(rig.form().statusText()));
        QVERIFY(rig.form().engine().state().LineIsOpen);
    }

    // Silence is the owner's setting, not the modem's: 11 s of silence with silence detection off
    // leave the call going (the caller speaks after it and is recorded), and with it on, 2 s of
    // silence end the call.
    void silenceFollowsTheOwnersSettings()
    {
        for (const bool drop : {false, true}) {
            ModemSimulator modem;
            EngineRig rig(Values{{"NumOfRing", "1"},
                                 {"MaxRec", "1"},
                                 {"cDropSilence", drop ? "1" : "0"},
                                 {"SecSilence", "2"},
                                 {"ValSilence", "10"}},
                          1.0, modemConf(modem.device()));
            kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav",
                                  kalvo::sip::test::tone(300, 0.5, 8000));
            QVERIFY(startMonitoring(rig));
            Caller caller;
            caller.voice =
                join({kalvo::modem::test::silence(11), kalvo::sip::test::tone(700, 3, 9000), busyTone(1.5)});
            caller.endEvent = 'b';
            modem.call(caller);
            QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 25000);
            const QString file = rig.messagesFolder() + rig.records().front().at("Call_Massage_Name");
            const std::vector<int16_t> message = kalvo::sip::test::readWav(file.toStdString());
            const QString length = QString::number(double(message.size()) / 8000);
            if (drop) {
                QVERIFY2(message.size() < 8000 * 5, qPrintable(length));
            } else {
                QVERIFY2(message.size() > 8000 * 10, qPrintable(length));
                QVERIFY2(share(message, 700, message.size() - 8000 * 4) > 0.3,
                         "the caller spoke after the silence");
            }
            QTRY_VERIFY_WITH_TIMEOUT(!modem.offHook(), 5000);
        }
    }

    // A modem that answers AT only after 5 s: the window keeps handling events meanwhile (a 50 ms
    // timer never stalls), the status bar says "Opening line...", and the line then opens.
    void slowModemLeavesTheWindowResponsive()
    {
        ModemModel model;
        model.startUpMs = 5000;
        ModemSimulator modem(model);
        EngineRig rig(Values{}, 1.0, modemConf(modem.device()));
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longestGap = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, clock.elapsed() - last);
            last = clock.elapsed();
        });
        ticker.start(50);
        rig.start();
        QVERIFY2(clock.elapsed() < 2000, "the start did not wait for the modem");
        QCOMPARE(rig.form().statusText(), QString("Opening line..."));
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().statusText().startsWith("Monitoring Home Line"), 20000);
        QVERIFY2(clock.elapsed() > 4000, "the modem was slow");
        QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
        QVERIFY(rig.form().engine().state().LineIsOpen);
    }

private:
    QTemporaryDir m_locks;
};

QTEST_MAIN(ModemEndToEndTest)
#include "ModemEndToEndTest.moc"
