// Interrupted recordings become calls at start: the details written beside the spool file during a
// real (simulated-line) recording, a spool file and details left as a crash leaves them, one without
// details, and a database that refuses the record (then nothing is deleted).
#include "RecoveredMessages.h"
#include "AnsweringEngine.h"
#include "CallDatabase.h"
#include "CallList.h"
#include "CallRecords.h"
#include "CallStore.h"
#include "EngineRig.h"
#include "RecordingFile.h"
#include "SimLine.h"
#include "SmallDrive.h"
#include "SqliteCallDatabase.h"
#include "VbError.h"
#include "WaveSoundDevice.h"
#include "mdlLog.h"
#include "mdlReg.h"

#include <QProcess>

#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using kalvo::sound::RecordingFile;
using kalvo::test::EngineRig;
using kalvo::test::tone;
using Values = std::map<QString, QString>;

namespace {
// The id of a process that has ended, so the spool file counts as interrupted.
qint64 deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An interrupted recording of tone(300) in spool with the caller's details beside it.
QString interruptedRecording(const QString& spool, const QByteArray& details)
{
    QDir().mkpath(spool);
    const QString part = spool + QString("/rec-%1-1.part.wav").arg(deadPid());
    kalvo::test::writeWav(part, tone(300));
    QFile file(RecoveredMessages::detailsPath(part));
    if (file.open(QIODevice::WriteOnly))
        file.write(details);
    return part;
}

// A database whose records cannot be stored.
class RefusingDatabase : public kalvo::SqliteCallDatabase
{
public:
    void Update() override { throw kalvo::VbError(kalvo::VbDiskFull); }
};
} // namespace

class RecoveredMessagesTest : public QObject
{
    Q_OBJECT

private slots:
    // While a message is recorded its caller's details sit beside the spool file; copied as a kill
    // would leave them (with a dead writer), the next start turns them into an unread call named by
    // the message-name rule with the audio up to the cut; a spool file without details becomes an
    // "UNKNOWN" call; each gets one system-log line and the spool is emptied.
    void interruptedRecordingsBecomeCalls()
    {
        EngineRig rig(Values{{"MaxRec", "0"}}, 0.001);
        const QString spool = RecordingFile::defaultSpoolFolder();
        rig.start();
        rig.sim().offerCall("5551234", "Mallory");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 5000);
        QTest::qWait(300);
        const QStringList parts = QDir(spool).entryList({"rec-*.part.wav"}, QDir::Files);
        QCOMPARE(parts.size(), 1);
        const QString part = spool + "/" + parts.first();
        const QString details = RecoveredMessages::detailsPath(part);
        QVERIFY(QFile::exists(details));
        const QByteArray written = readAll(details);
        QVERIFY2(written.contains("\"Call_Name\":\"Mallory\"") &&
                     written.contains("\"Call_Number\":\"5551234\""),
                 written.constData());
        // What a SIGKILL now would leave: the spool file as it stands and its details.
        const qint64 dead = deadPid();
        const QString crashed = spool + QString("/rec-%1-7.part.wav").arg(dead);
        QVERIFY(QFile::copy(part, crashed));
        QVERIFY(QFile::copy(details, RecoveredMessages::detailsPath(crashed)));
        const qint64 cutAt = QFileInfo(crashed).size();
        QVERIFY(cutAt > 44 + 1000);
        rig.sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
        QTRY_VERIFY(!QFile::exists(details)); // a finished recording leaves no details behind

        kalvo::test::writeWav(spool + QString("/rec-%1-8.part.wav").arg(dead), tone(400));
        kalvo::test::writeWav(spool + "/interrupted-20260101-101010-1.wav", tone(200));
        CallStore store(rig.form().DataBase1(), rig.form().Wave1(), rig.form().log());
        RecoveredMessages recovered(store, rig.form().log());
        QCOMPARE(recovered.recover(spool, rig.messagesFolder()), 3);

        const auto records = rig.records();
        QCOMPARE(int(records.size()), 4);
        const auto& mallory = records[1];
        QCOMPARE(mallory.at("Call_Name"), QString("Mallory"));
        QCOMPARE(mallory.at("Call_Number"), QString("5551234"));
        QCOMPARE(mallory.at("Read"), QString("0"));
        QCOMPARE(mallory.at("Call_Massage_Name"),
                 CallStore::messageFileName("/nonexistent/", mallory.at("Call_Date"), mallory.at("Call_Time"))
                     .replace(".wav", "_2.wav")); // the finished call of the same moment has the plain name
        QCOMPARE(QFileInfo(rig.messagesFolder() + mallory.at("Call_Massage_Name")).size(), cutAt);
        QVERIFY(mallory.at("Type").toDouble() > 0.1);
        for (int r : {2, 3}) {
            QCOMPARE(records[size_t(r)].at("Call_Name"), QString("UNKNOWN"));
            QCOMPARE(records[size_t(r)].at("Call_Number"), QString("UNKNOWN"));
            QVERIFY(QFile::exists(rig.messagesFolder() + records[size_t(r)].at("Call_Massage_Name")));
        }
        QCOMPARE(rig.sysLog().filter(QRegularExpression("^Recovered Message ")).size(), 3);
        QVERIFY(rig.sysLog().contains("Recovered Message " + mallory.at("Call_Massage_Name") +
                                      " [Mallory:5551234] from " + QFileInfo(crashed).fileName()));
        QCOMPARE(QDir(spool).entryList(QDir::Files), QStringList());
        rig.form().callList().makeList();
        QCOMPARE(rig.form().callList().rowCount(), 4);
        QCOMPARE(rig.form().callList().unreadCalls(), 4);
    }

    // The real program killed with SIGKILL while it records a caller: started again, it lists the
    // call with the caller's name and number and the audio up to the kill.
    void killedProgramListsTheCallAtNextStart()
    {
        kalvo::test::IsolatedHome home;
        const QString folder = home.programFolder();
        QDir().mkpath(folder + "/Greets");
        kalvo::test::writeWav(folder + "/Greets/Test.wav", tone(200, 4000, 300));
        kalvo::test::writeWav(home.path() + "/voice.wav", tone(20000, 6000, 700));
        const Values settings = {{"First", "0"},         {"cLogSys", "1"},
                                 {"Greeting", "Test"},   {"MassagesPath", folder + "/Messages/"},
                                 {"RecordMessage", "1"}, {"NumOfRing", "1"},
                                 {"MaxRec", "0"},        {"SecSilence", "0"},
                                 {"cDropSilence", "0"},  {"ListMessageOnly", "0"}};
        for (const auto& [name, value] : settings)
            mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name, 1, value);
        const QString conf = qEnvironmentVariable("KALVO_TELEPHONY_CONF");
        QDir().mkpath(QFileInfo(conf).path());
        const auto writeText = [](const QString& path, const QByteArray& text) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        };
        writeText(home.path() + "/call.scenario",
                  "0.5 offer number=5551234 name=Mallory\n+0.2 ring 1\n+1.0 audio voice.wav\n");
        writeText(conf, "[Line0]\nname = Sim 0\nprovider = sim\nscenario = " + home.path().toUtf8() +
                            "/call.scenario\n");

        QProcess first;
        first.setProcessChannelMode(QProcess::ForwardedChannels);
        first.start(kalvo::test::binaryPath("kalvo"), {"-st"});
        QVERIFY(first.waitForStarted(10000));
        const QString spool = folder + "/.recording";
        QString part;
        QVERIFY2(kalvo::test::waitUntil(
                     [&] {
                         const QStringList parts = QDir(spool).entryList({"rec-*.part.wav"}, QDir::Files);
                         part = parts.isEmpty() ? QString() : spool + "/" + parts.first();
                         return !part.isEmpty() && QFileInfo(part).size() > 16000;
                     },
                     30000),
                 "the program records the caller");
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(10000));
        const qint64 cutAt = QFileInfo(part).size();
        QVERIFY(QFile::exists(RecoveredMessages::detailsPath(part)));

        writeText(conf, "[Line0]\nname = Sim 0\nprovider = sim\n");
        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        second.start(kalvo::test::binaryPath("kalvo"), {"-st"});
        QVERIFY(second.waitForStarted(10000));
        QVERIFY2(kalvo::test::waitUntil([&] { return !QFile::exists(part); }, 30000),
                 "the recording is taken in");
        QTest::qWait(300);
        ::kill(pid_t(second.processId()), SIGTERM);
        QVERIFY(second.waitForFinished(20000));

        kalvo::SqliteCallDatabase db;
        db.Open(folder + "/Calls");
        QCOMPARE(db.RecordCount(), 1);
        db.MoveFirst();
        QCOMPARE(db.GetField("Call_Name"), QString("Mallory"));
        QCOMPARE(db.GetField("Call_Number"), QString("5551234"));
        QCOMPARE(db.GetField("Read"), QString("0"));
        const QString message = folder + "/Messages/" + db.GetField("Call_Massage_Name");
        QCOMPARE(QFileInfo(message).size(), cutAt);
        QVERIFY(db.GetField("Type").toDouble() > 0.9);
        QVERIFY(QDir(spool).entryList(QDir::Files).isEmpty());
    }

    // When the record cannot be stored, the spool file and its details stay for the next start and
    // no copy is left in the messages folder.
    void failedStepDeletesNothing()
    {
        kalvo::test::IsolatedHome home;
        const QString spool = home.programFolder() + "/.recording";
        const QString messages = home.programFolder() + "/Messages/";
        QDir().mkpath(messages);
        const QString part = interruptedRecording(
            spool, R"({"Call_Name":"Ann","Call_Number":"1","Call_Date":"1/2/26","Call_Time":"10:00:00"})");
        const QFile details(RecoveredMessages::detailsPath(part));
        RefusingDatabase db;
        db.Open(home.programFolder() + "/Calls");
        mdlLog log(home.programFolder() + "/Log/");
        kalvo::sound::WaveSoundDevice wave;
        CallStore store(db, wave, log);
        QCOMPARE(RecoveredMessages(store, log).recover(spool, messages), 0);
        QVERIFY(QFile::exists(part));
        QVERIFY(QFile::exists(details.fileName()));
        QCOMPARE(QDir(messages).entryList(QDir::Files), QStringList());
    }

    // A call whose record was stored but whose message file could not be written gets its audio
    // back in that same record, not as a second call.
    void recoveredAudioJoinsItsStoredCall()
    {
        kalvo::test::IsolatedHome home;
        const QString spool = home.programFolder() + "/.recording";
        const QString messages = home.programFolder() + "/Messages/";
        QDir().mkpath(messages);
        kalvo::SqliteCallDatabase db;
        db.Open(home.programFolder() + "/Calls");
        kalvo::test::appendCall(db, kalvo::test::shortCall("lost.wav"));
        const QString part =
            interruptedRecording(spool, R"({"Call_Name":"N","Call_Number":"1","Call_Date":"1/2/26",)"
                                        R"("Call_Time":"10:00:00","Call_Massage_Name":"lost.wav"})");
        const QByteArray audio = readAll(part);
        const QFile details(RecoveredMessages::detailsPath(part));
        mdlLog log(home.programFolder() + "/Log/");
        kalvo::sound::WaveSoundDevice wave;
        CallStore store(db, wave, log);
        QCOMPARE(RecoveredMessages(store, log).recover(spool, messages), 1);
        QCOMPARE(db.RecordCount(), 1);
        QCOMPARE(readAll(messages + "lost.wav"), audio);
        db.MoveTo(1);
        QCOMPARE(db.GetField("Type"), CallStore::lengthText(0.3));
        QVERIFY(!QFile::exists(part) && !QFile::exists(details.fileName()));
    }

    // A greeting take cut short by a kill goes back to the greeting creator, never into the list.
    void greetingTakeIsNoCall()
    {
        kalvo::test::IsolatedHome home;
        const QString spool = home.programFolder() + "/.recording";
        const QString part = interruptedRecording(spool, R"({"Greeting":true})");
        const QByteArray audio = readAll(part);
        kalvo::SqliteCallDatabase db;
        db.Open(home.programFolder() + "/Calls");
        mdlLog log(home.programFolder() + "/Log/");
        kalvo::sound::WaveSoundDevice wave;
        CallStore store(db, wave, log);
        const QString take = home.programFolder() + "/spktmp.wav";
        QCOMPARE(RecoveredMessages(store, log).recover(spool, home.programFolder() + "/Messages/", take), 0);
        QCOMPARE(db.RecordCount(), 0);
        QCOMPARE(readAll(take), audio);
        QVERIFY(!QFile::exists(part));
    }

    // A messages folder that cannot be written (here a file stands where a folder should be) gives
    // way to the program folder's: the message is kept there, its record points at it, and the user
    // is told.
    void unwritableMessagesFolderKeepsTheMessage()
    {
        EngineRig rig(Values{{"MaxRec", "1"}}, 0.001);
        QFile blocker(rig.programFolder() + "/drive");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        rig.form().settings().engine.MessagesPath = rig.programFolder() + "/drive/Messages/";
        QSignalSpy told(&rig.form().engine(), &AnsweringEngine::problem);
        rig.start();
        rig.sim().offerCall("5551234", "Mallory");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 5000);
        rig.sim().hangUp(false);
        QTRY_COMPARE_WITH_TIMEOUT(rig.records().size(), size_t(1), 5000);
        const QString kept = rig.records().front().at("Call_Massage_Name");
        QVERIFY2(kept.startsWith(rig.programFolder() + "/Messages/"), qPrintable(kept));
        QVERIFY(QFileInfo(kept).isFile());
        QVERIFY(!told.isEmpty() && told.first().at(0).toString() == "folder");
    }
    // A messages folder whose drive fills up during the call: the message goes to the program
    // folder's at once, its record points there and plays, and the owner is told.
    void messagesFolderFullMidCall()
    {
        EngineRig rig({}, 0.01); // five minutes of recording last three seconds
        const QString drive = rig.programFolder() + "/drive";
        rig.form().settings().engine.MessagesPath = drive + "/Messages/";
        QSignalSpy told(&rig.form().engine(), &AnsweringEngine::problem);
        QSignalSpy solved(&rig.form().engine(), &AnsweringEngine::solved);
        rig.start();
        rig.sim().offerCall("5551234", "Mallory");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 5000);
        kalvo::test::SmallDrive small(drive, 64);
        if (!small.mounted())
            QSKIP("mounting a tmpfs needs root");
        QVERIFY(QDir().mkpath(drive + "/Messages"));
        small.fill();
        rig.sim().queueCallerAudio(tone(300));
        QTRY_COMPARE(rig.sim().pendingCallerAudio(), size_t(0));
        rig.sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(rig.records().size(), size_t(1), 5000);
        const QString kept = rig.records().front().at("Call_Massage_Name");
        QVERIFY2(kept.startsWith(rig.programFolder() + "/Messages/"), qPrintable(kept));
        QVERIFY(WaveFileLength(rig.form().Wave1(), kept) > 0.2);
        QVERIFY(rig.records().front().at("Type").toDouble() > 0.2);
        QCOMPARE(rig.form().callList().rowCount(), 1);
        QVERIFY(QDir(kalvo::sound::RecordingFile::defaultSpoolFolder()).entryList({"rec-*"}).isEmpty());
        const auto causes = [](const QSignalSpy& spy) {
            QStringList names;
            for (const auto& signal : spy)
                names << signal.at(0).toString();
            return names;
        };
        QVERIFY2(causes(told).contains("folder"), qPrintable(causes(told).join(',')));
        QVERIFY(!causes(solved).contains("folder"));
    }

    // The notice of a messages folder that had to be made again is not withdrawn by the same call.
    void missingFolderNoticeStays()
    {
        EngineRig rig(Values{{"MaxRec", "1"}}, 0.001);
        QStringList notices;
        AnsweringEngine& engine = rig.form().engine();
        connect(&engine, &AnsweringEngine::problem, this,
                [&](const QString& cause, const QString& text) { notices << cause + ": " + text; });
        connect(&engine, &AnsweringEngine::solved, this,
                [&](const QString& cause) { notices << cause + " solved"; });
        rig.start();
        QVERIFY(QDir(rig.messagesFolder()).removeRecursively());
        rig.sim().offerCall("5551234", "Mallory");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 5000);
        rig.sim().hangUp(false);
        QTRY_COMPARE_WITH_TIMEOUT(rig.records().size(), size_t(1), 5000);
        const QStringList made = notices.filter("was missing; it was made again");
        QCOMPARE(made.size(), 1);
        const QString cause = made.first().section(':', 0, 0);
        QCOMPARE(notices.filter(QRegularExpression("^" + cause + "[: ]")).last(), made.first());
    }
};

QTEST_MAIN(RecoveredMessagesTest)
#include "RecoveredMessagesTest.moc"
