// The tray on a real X server with a real tray host: the icon and its tip after the first list
// fill, the blink after a call that ends while hidden, a real click that restores, Exit from the
// tray menu; and with real processes, the second start that raises the first and a fresh program
// folder whose first caller is greeted and recorded.
#include "CallList.h"
#include "EngineRig.h"
#include "FrameCommands.h"
#include "LineControl.h"
#include "TrayIcon.h"
#include "UserNotices.h"

#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QtTest>

using kalvo::test::EngineRig;
using kalvo::test::tone;
using kalvo::test::writeWav;
using Values = std::map<QString, QString>;

namespace {
bool xdotool(const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess p;
    p.start("xdotool", arguments);
    if (!p.waitForFinished(10000))
        return false;
    if (output)
        *output = p.readAllStandardOutput();
    return p.exitCode() == 0;
}

// Real mouse clicks at the middle of the tray icon until done() holds: the tray host may still be
// embedding an icon whose geometry is already known.
bool clickTrayUntil(const QSystemTrayIcon& tray, int button, const std::function<bool()>& done)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        QTest::qWait(300);
        const QPoint centre = tray.geometry().center();
        if (!xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click",
                      QString::number(button)}))
            return false;
        if (QTest::qWaitFor(done, 2000))
            return true;
    }
    return false;
}

QStringList logLines(const QString& folder, const QString& suffix)
{
    QStringList lines;
    for (const QString& name : QDir(folder).entryList({"*" + suffix}, QDir::Files)) {
        QFile file(folder + "/" + name);
        if (file.open(QIODevice::ReadOnly))
            lines << QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
    }
    return lines;
}

// A kalvo process on a private home whose one line is simulated.
class KalvoProcess
{
public:
    explicit KalvoProcess(const QString& scenario = QString())
    {
        QFile conf(QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF")));
        QDir().mkpath(QFileInfo(conf).path());
        conf.open(QIODevice::WriteOnly);
        conf.write("[Line0]\nname = Sim\nprovider = sim\naudio = fast\n");
        if (!scenario.isEmpty())
            conf.write(("scenario = " + scenario + "\n").toUtf8());
        conf.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KALVO_MESSAGEBOX", "stderr");
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        m_process.setProcessEnvironment(env);
    }
    ~KalvoProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    QProcess& process() { return m_process; }
    void start(const QStringList& arguments) { m_process.start(kalvo::test::binaryPath("kalvo"), arguments); }

private:
    QProcess m_process;
};
} // namespace

class TrayTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(TrayIcon::available(), "the tray host is not running"); }

    // Started in the tray: the icon appears with the first list fill and counts the calls; a call
    // that ends while the window is hidden starts the blink; a real left click restores the window
    // and stops the blink.
    void iconBlinkAndRestore()
    {
        EngineRig rig(Values{{"NumOfRing", "9"}});
        frmMain& form = rig.form();
        form.startInTray();
        QVERIFY(form.WindowHidden());
        QVERIFY(!form.tray().isShown());
        rig.start();
        QVERIFY(!form.isVisible());
        QTRY_VERIFY(form.tray().isShown());
        QCOMPARE(form.tray().toolTip(), QString("Kalvo - Calls:0  New:0"));

        rig.sim().offerCall("5551234", "Alice");
        rig.sim().ring(1);
        rig.sim().hangUp(true);
        QTRY_COMPARE_WITH_TIMEOUT(form.callList().rowCount(), 1, 5000);
        QCOMPARE(form.tray().toolTip(), QString("Kalvo - Calls:1  New:1"));
        QVERIFY(form.tray().isBlinking());
        QTRY_VERIFY(form.tray().showsEmpty());

        QTRY_VERIFY(form.tray().systemTrayIcon()->geometry().isValid());
        QVERIFY(clickTrayUntil(*form.tray().systemTrayIcon(), 1, [&] { return form.isVisible(); }));
        QVERIFY(!form.WindowHidden());
        QVERIFY(!form.tray().isBlinking());
        QVERIFY(!form.tray().showsEmpty());
    }

    // A mail that cannot be sent and a program that cannot start are told in the status bar and as a
    // tray message once, not at every call.
    void failuresToldOncePerCause()
    {
        EngineRig rig(Values{{"pMailTo", "1"},
                             {"MailTo", "owner@example.com"},
                             {"SMTPServer", "127.0.0.1:1"},
                             {"MailFrom", "kalvo@example.com"},
                             {"ActionsMailAllCalls", "0"},
                             {"pAppTo", "1"},
                             {"AppTo", "/no/such/program <NAME>"},
                             {"ActionsAppAllCalls", "0"},
                             {"MaxRec", "1"}});
        frmMain& form = rig.form();
        auto* notices = form.findChild<UserNotices*>();
        QVERIFY(notices);
        QSignalSpy shown(notices, &UserNotices::shown);
        rig.start();
        QTRY_VERIFY(form.tray().isShown());
        for (int call = 0; call < 2; ++call) {
            rig.sim().offerCall("5551234", "Alice");
            rig.sim().ring(1);
            QTRY_VERIFY_WITH_TIMEOUT(form.Wave1().IsRecording(), 5000);
            rig.sim().hangUp(true);
            QTRY_COMPARE_WITH_TIMEOUT(form.callList().rowCount(), call + 1, 5000);
            QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().filter("Error Sending To Mail To").size() == call + 1,
                                     10000);
        }
        QStringList causes;
        for (const QList<QVariant>& told : shown)
            causes << told.at(0).toString();
        causes.sort();
        QCOMPARE(causes, (QStringList{"mail", "program"}));
        QVERIFY(notices->told().value("mail").contains("127.0.0.1:1") ||
                notices->told().value("mail").contains("owner@example.com"));
    }

    // A right click opens mnuSystry; its Exit closes the line, writes "Unload Kalvo" and empties the
    // tray.
    void exitFromTrayMenu()
    {
        EngineRig rig;
        frmMain& form = rig.form();
        form.startInTray();
        rig.start();
        QTRY_VERIFY(form.tray().isShown());
        QTRY_VERIFY(form.tray().systemTrayIcon()->geometry().isValid());
        QMenu* menu = form.commands().mnuSystry();
        QVERIFY(clickTrayUntil(*form.tray().systemTrayIcon(), 3, [&] { return menu->isVisible(); }));
        menu->hide();
        form.commands().action("mnuExitSys")->trigger();
        QVERIFY(!form.Tapi1().LineOpened(0));
        QVERIFY(rig.sysLogHas("Unload Kalvo"));
        QVERIFY(!form.tray().isShown());
    }

    // Two real processes: the second start says "Kalvo is still running", ends, and the first shows
    // its window; SIGTERM then ends the first through its Exit path.
    void secondStartShowsTheRunningWindow()
    {
        kalvo::test::IsolatedHome home;
        KalvoProcess first;
        first.start({"-st"});
        QVERIFY(first.process().waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logLines(home.programFolder() + "/Log", "_Sys.txt")
                                         .filter(QRegularExpression("LineOpen.*SUCCESS"))
                                         .size() == 1,
                                 30000);
        QByteArray found;
        QVERIFY(!xdotool({"search", "--onlyvisible", "--name", "^Kalvo 1.0$"}, &found));

        KalvoProcess second;
        second.start({});
        QVERIFY(second.process().waitForFinished(30000));
        QCOMPARE(second.process().exitCode(), 0);
        QVERIFY(second.process().readAllStandardError().contains("Kalvo is still running"));
        QTRY_VERIFY_WITH_TIMEOUT(xdotool({"search", "--onlyvisible", "--name", "^Kalvo 1.0$"}, &found),
                                 10000);

        first.process().terminate();
        QVERIFY(first.process().waitForFinished(30000));
        QCOMPARE(first.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.process().exitCode(), 0);
        QVERIFY(logLines(home.programFolder() + "/Log", "_Sys.txt").last().endsWith("Unload Kalvo"));
    }

    // A fresh program folder, no setting touched: the first caller is answered with the seeded
    // greeting and recorded, and the call is stored.
    void freshFolderAnswersAndRecords()
    {
        kalvo::test::IsolatedHome home;
        const QString folder = home.path() + "/scenario";
        QDir().mkpath(folder);
        writeWav(folder + "/caller.wav", tone(1500));
        QFile scenario(folder + "/call.txt");
        QVERIFY(scenario.open(QIODevice::WriteOnly));
        scenario.write("3 offer number=5550100 name=\"First Caller\"\n+0.2 ring 4\n+1 audio " +
                       (folder + "/caller.wav").toUtf8() + "\n+3 hangup\n");
        scenario.close();
        KalvoProcess kalvo(folder + "/call.txt");
        kalvo.start({"-st"});
        QVERIFY(kalvo.process().waitForStarted());
        const QString messages = home.programFolder() + "/Messages";
        QTRY_VERIFY_WITH_TIMEOUT(QDir(messages).entryList({"*.wav"}, QDir::Files).size() == 1, 40000);
        QTRY_VERIFY_WITH_TIMEOUT(
            logLines(home.programFolder() + "/Log", "_Calls.txt").filter("First Caller").size() == 1, 10000);
        const QStringList sys = logLines(home.programFolder() + "/Log", "_Sys.txt");
        QVERIFY(sys.filter("Start Record Message").size() == 1);
        QVERIFY(sys.filter("Play Greeting").isEmpty()); // logged only when the greeting cannot play
        const QString message = QDir(messages).entryList({"*.wav"}, QDir::Files).first();
        QVERIFY(QFileInfo(messages + "/" + message).size() > 8000);
        kalvo.process().terminate();
        QVERIFY(kalvo.process().waitForFinished(30000));
    }
};

QTEST_MAIN(TrayTest)
#include "TrayTest.moc"
