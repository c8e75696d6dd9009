// Process start-up: first and later runs, "-st", the instance rule in-process and with two real
// processes, and the version names.
#include "MessageBox.h"
#include "RecordingFile.h"
#include "SingleInstance.h"
#include "TestSupport.h"
#include "WinVersion.h"
#include "frmActions.h"
#include "frmEvents.h"
#include "frmMain.h"
#include "frmOptions.h"
#include "mMain.h"
#include "mdlReg.h"
#include "mdlWinVersion.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <sys/stat.h>

using namespace mdlReg;

namespace {
QString setting(const char* name)
{
    return GetRegString(HKeyLocalMachine, kSettingsKey, name);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

// Every file below a folder with its size and modification time, to see whether anything changed.
QStringList snapshot(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out << it.filePath() + " " + QString::number(it.fileInfo().size()) + " " +
                   QString::number(it.fileInfo().lastModified().toMSecsSinceEpoch());
    }
    out.sort();
    return out;
}
// The permission bits of a path (not following a link); -1 when it is missing.
int mode(const QString& path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

void writeFile(const QString& path, int permissions)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("x");
    file.close();
    ::chmod(QFile::encodeName(path).constData(), mode_t(permissions));
}
} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { MessageBox::clearShown(); }

    // The first run seeds the folder and writes the defaults, among them the values a working
    // answering machine needs; "-st" on a desktop without a tray leaves a minimised window rather
    // than none; a later run writes none of it again and keeps the user's own files and values.
    void firstRunThenLaterRun()
    {
        kalvo::test::IsolatedHome home;
        SingleInstance instance;
        QVERIFY(instance.isFirst());
        SetRegValue(HKeyLocalMachine, kSettingsKey, "MaxRec", 1, "5"); // the user's, kept
        {
            auto form = StartProgram({"-st"}, instance);
            QVERIFY(form);
            QVERIFY(form->isMinimized());
            QVERIFY(!form->WindowHidden());
            QCOMPARE(form->windowTitle(), QString("Kalvo 1.0"));
            QVERIFY(IsFormLoaded("frmMain"));
            QVERIFY(!IsFormLoaded("frmmain"));
            // A fresh start, and each settings dialog opened on it, writes no error to the log.
            frmOptions(form->dialogHost(), form.get()).reject();
            frmEvents(form->dialogHost(), form.get()).reject();
            frmActions(form->dialogHost(), form.get()).reject();
            QFile sysLog(form->log().folder() + form->log().systemLogName());
            QVERIFY(sysLog.open(QIODevice::ReadOnly));
            const QString logged = QString::fromUtf8(sysLog.readAll());
            QVERIFY2(logged.contains("Load Kalvo") && !logged.contains("Err"), qPrintable(logged));
        }
        QVERIFY(!IsFormLoaded("frmMain"));

        const QString folder = home.programFolder();
        for (const char* sub : {"Greets", "Sound", "Log", "Calls", "Help", "Messages"})
            QVERIFY2(QDir(folder + "/" + sub).exists(), sub);
        for (const char* file : {"beep.wav", "Greets/Default.wav", "Help/index.htm"})
            QVERIFY2(QFile(folder + "/" + file).size() > 0, file);
        QCOMPARE(QDir(folder + "/Sound").entryList(QDir::Files).size(), 2);

        QCOMPARE(setting("First"), QString("0"));
        QCOMPARE(setting("MassagesPath"), folder + "/Messages/");
        QCOMPARE(setting("cAnimation"), QString("1")); // the desktop reports NT 5.1
        const std::pair<const char*, const char*> working[] = {
            {"NumOfRing", "4"},        {"Greeting", "Default"}, {"RecordMessage", "1"}, {"MaxRec", "5"},
            {"SecSilence", "15"},      {"cDropSilence", "1"},   {"ValSilence", "20"},   {"WornDelete", "1"},
            {"WornClear", "1"},        {"pQuickToolbar", "1"},  {"cLogSys", "1"},       {"cLogCalls", "1"},
            {"LogFor", "3 Last Month"}};
        for (const auto& [name, value] : working)
            QCOMPARE(setting(name), QString(value));
        const QString run = GetRegString(HKeyLocalMachine, kRunKey, "Kalvo");
        QCOMPARE(run, QCoreApplication::applicationFilePath() + " -st");
        QVERIFY(QFile::exists(home.configHome() + "/autostart/kalvo.desktop"));

        // The user turned start-with-login off and replaced the beep; neither comes back.
        DeleteRegValue(HKeyLocalMachine, kRunKey, "Kalvo");
        QFile beep(folder + "/beep.wav");
        QVERIFY(beep.open(QIODevice::WriteOnly | QIODevice::Truncate));
        beep.write("mine");
        beep.close();
        QFile::remove(folder + "/Greets/Default.wav");
        SetRegValue(HKeyLocalMachine, kSettingsKey, "NumOfRing", 1, "2");
        {
            auto form = StartProgram({"-ST"}, instance);
            QVERIFY(form);
            QVERIFY(form->isVisible()); // only the exact "-st" hides
        }
        QCOMPARE(GetRegString(HKeyLocalMachine, kRunKey, "Kalvo"), QString("Not Found"));
        QCOMPARE(setting("NumOfRing"), QString("2"));
        QCOMPARE(QFile(folder + "/beep.wav").size(), 4);
        QVERIFY(QFile::exists(folder + "/Greets/Default.wav")); // missing seed files come back

        auto shown = StartProgram({"-st", "extra"}, instance);
        QVERIFY(shown->isVisible());
    }

    // The help pages are the program's: an old one is brought up to the installed version at the
    // next start, while a page the user added and every other seeded file the user changed stay.
    // A start-with-login entry naming a program that is gone is pointed at this one; one naming a
    // program that is still there is left, and so is a switched-off entry.
    void programFilesFollowTheProgram()
    {
        kalvo::test::IsolatedHome home;
        SingleInstance instance;
        StartProgram({"-st"}, instance).reset();
        const QString folder = home.programFolder();
        const QByteArray seeded = readAll(kalvo::test::sourcePath("data/Help/index.htm"));
        QVERIFY(!seeded.isEmpty());
        writeFile(folder + "/Help/index.htm", "<p>the old guide</p>");
        writeFile(folder + "/Help/notes.htm", "mine");
        writeFile(folder + "/Sound/Ding.wav", "mine");
        SetRegValue(HKeyLocalMachine, kRunKey, "Kalvo", 1, home.path() + "/removed/kalvo -st");

        StartProgram({"-st"}, instance).reset();
        QCOMPARE(readAll(folder + "/Help/index.htm"), seeded);
        QCOMPARE(readAll(folder + "/Help/notes.htm"), QByteArray("mine"));
        QCOMPARE(readAll(folder + "/Sound/Ding.wav"), QByteArray("mine"));
        const QString self = QCoreApplication::applicationFilePath() + " -st";
        QCOMPARE(GetRegString(HKeyLocalMachine, kRunKey, "Kalvo"), self);

        const QString other = kalvo::test::binaryPath("kalvo") + " -st"; // still there
        SetRegValue(HKeyLocalMachine, kRunKey, "Kalvo", 1, other);
        StartProgram({"-st"}, instance).reset();
        QCOMPARE(GetRegString(HKeyLocalMachine, kRunKey, "Kalvo"), other);
        DeleteRegValue(HKeyLocalMachine, kRunKey, "Kalvo");
        StartProgram({"-st"}, instance).reset();
        QCOMPARE(GetRegString(HKeyLocalMachine, kRunKey, "Kalvo"), QString("Not Found"));
    }

    // A settings file that does not parse is moved aside, counts as a first start, and the user is
    // told once where it went.
    void unreadableSettingsStartAsFirstRun()
    {
        kalvo::test::IsolatedHome home;
        QDir().mkpath(home.registryDir());
        QFile broken(home.registryDir() + "/HKEY_LOCAL_MACHINE.reg");
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("this is not a registry export\n[unclosed");
        broken.close();
        SingleInstance instance;
        MessageBox::scriptAnswers({MessageBox::Ok});
        auto form = StartProgram({}, instance);
        QVERIFY(form);
        const QStringList shown = MessageBox::shownTexts();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown.first().contains("HKEY_LOCAL_MACHINE.reg.unreadable-"));
        QCOMPARE(setting("First"), QString("0"));
        QCOMPARE(setting("RecordMessage"), QString("1"));
        QCOMPARE(QDir(home.registryDir()).entryList({"*.unreadable-*"}, QDir::Files).size(), 1);
        form.reset();
        MessageBox::clearShown();
        auto again = StartProgram({}, instance);
        QVERIFY(MessageBox::shownTexts().isEmpty());
    }

    // The program folder and what holds callers' data are owner-only: folders and files an earlier
    // version left open to others are tightened at start, and new ones are created private.
    void privateFilesAndFolders()
    {
        kalvo::test::IsolatedHome home;
        const QString folder = home.programFolder();
        writeFile(folder + "/Log/01-01-2026_Sys.txt", 0644);
        writeFile(folder + "/Messages/old.wav", 0644);
        writeFile(folder + "/.recording/left.bin", 0666);
        writeFile(folder + "/Greets/Mine.wav", 0644);
        for (const char* sub : {"", "/Log", "/Messages", "/.recording", "/Greets"})
            ::chmod(QFile::encodeName(folder + sub).constData(), 0755);
        SingleInstance instance;
        MessageBox::scriptAnswers({MessageBox::Ok, MessageBox::Ok, MessageBox::Ok});
        {
            auto form = StartProgram({"-st"}, instance);
            QVERIFY(form);
            QTRY_VERIFY(QFile::exists(folder + "/Calls/calls.sqlite3"));
            QTest::qWait(50);
        }
        for (const char* sub :
             {"", "/Log", "/Messages", "/.recording", "/Greets", "/Calls", "/Sound", "/Help"})
            QVERIFY2(mode(folder + sub) == 0700, sub);
        for (const char* file : {"/Log/01-01-2026_Sys.txt", "/Messages/old.wav", "/.recording/left.bin",
                                 "/Calls/calls.sqlite3", "/beep.wav", "/Greets/Default.wav"})
            QVERIFY2(mode(folder + file) == 0600, file);
        for (const char* sub : {"/Log/", "/Messages/"})
            for (const QString& file : QDir(folder + sub).entryList(QDir::Files))
                QVERIFY2(mode(folder + sub + file) == 0600, qPrintable(file));

        // A recording and its spool folder are made private from the start.
        const QString spool = folder + "/spool-new";
        kalvo::sound::RecordingFile recording;
        QCOMPARE(recording.open(spool, 1, 1, 16, 8000), 0);
        QCOMPARE(mode(spool), 0700);
        QCOMPARE(mode(recording.tempPath()), 0600);
        recording.discard();
    }

    // A second instance shows the message and gets no form, writing nothing.
    void secondInstanceInProcess()
    {
        kalvo::test::IsolatedHome home;
        SingleInstance first;
        SingleInstance second;
        QVERIFY(first.isFirst());
        QVERIFY(!second.isFirst());
        MessageBox::scriptAnswers({MessageBox::Ok});
        QVERIFY(!StartProgram({}, second));
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Kalvo is still running"});
        QVERIFY(!QDir(home.programFolder() + "/Log").exists());
        QCOMPARE(setting("First"), QString("Not Found"));
    }

    // Two real processes: the second prints the message, ends at once and changes no file.
    void secondProcessEndsWithoutWriting()
    {
        kalvo::test::IsolatedHome home;
        SetRegValue(HKeyLocalMachine, kSettingsKey, "cLogSys", 1, "1");
        SetRegValue(HKeyLocalMachine, kSettingsKey, "cLogCalls", 1, "1");
        // One simulated line, so the program opens no network port.
        QFile conf(QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF")));
        QDir().mkpath(QFileInfo(conf).path());
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[Line0]\nname = Sim\nprovider = sim\n");
        conf.close();
        QProcess first;
        first.start(kalvo::test::binaryPath("kalvo"), {"-st"});
        QVERIFY(first.waitForStarted());
        // Started when its first-run values are in place and it has logged its load.
        QTRY_VERIFY_WITH_TIMEOUT(QDir(home.programFolder() + "/Log").entryList(QDir::Files).size() == 2,
                                 30000);
        // ... and has finished its start (line, call list, start beep): nothing changes for a second.
        QStringList before = snapshot(home.path());
        for (int i = 0; i < 30; ++i) {
            QTest::qWait(1000);
            const QStringList now = snapshot(home.path());
            if (now == before)
                break;
            before = now;
        }

        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KALVO_MESSAGEBOX", "stderr");
        second.setProcessEnvironment(env);
        second.start(kalvo::test::binaryPath("kalvo"), {});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(QString::fromUtf8(second.readAllStandardError()).contains("Kalvo is still running"));
        QCOMPARE(snapshot(home.path()), before);
        QVERIFY(first.state() == QProcess::Running);

        first.kill();
        first.waitForFinished();
        QProcess version;
        version.start(kalvo::test::binaryPath("kalvo"), {"--version"});
        QVERIFY(version.waitForFinished(30000));
        QCOMPARE(version.readAllStandardOutput().trimmed(), QByteArray("Kalvo 1.0.0.22"));
    }

    // Without a display the program says so in one line and ends with a failure, not an abort.
    void noDisplayEndsWithOneLine()
    {
        kalvo::test::IsolatedHome home;
        QProcess kalvo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", ":4711");
        env.remove("WAYLAND_DISPLAY");
        kalvo.setProcessEnvironment(env);
        kalvo.start(kalvo::test::binaryPath("kalvo"), {});
        QVERIFY(kalvo.waitForFinished(30000));
        QCOMPARE(kalvo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(kalvo.exitCode(), 1);
        const QString error = QString::fromLocal8Bit(kalvo.readAllStandardError());
        QVERIFY2(error.contains("kalvo: cannot open the display"), qPrintable(error));
        QVERIFY(!QDir(home.programFolder() + "/Log").exists());
    }

    // The version record maps to the names the program branches on.
    void windowsVersionNames()
    {
        struct Case
        {
            uint32_t platform, major, minor;
            const char* name;
        } const cases[] = {{1, 4, 0, "Windows 95"},
                           {1, 4, 10, "Windows 98"},
                           {1, 4, 90, "Windows Mellinnium"},
                           {1, 4, 3, ""},
                           {2, 3, 51, "Windows NT 3.51"},
                           {2, 4, 0, "Windows NT 4.0"},
                           {2, 5, 0, "Windows 2000"},
                           {2, 5, 2, "Windows XP"},
                           {2, 6, 0, ""},
                           {0, 3, 1, "Failed"}};
        for (const Case& c : cases) {
            OSVERSIONINFOA info{};
            info.dwPlatformId = c.platform;
            info.dwMajorVersion = c.major;
            info.dwMinorVersion = c.minor;
            QCOMPARE(WindowsVersionName(info), QString(c.name));
        }
        QCOMPARE(WindowsVersionName(), QString("Windows XP"));
        OSVERSIONINFOA wrongSize{};
        wrongSize.dwOSVersionInfoSize = 100;
        QCOMPARE(GetVersionExA(&wrongSize), 0);
    }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
