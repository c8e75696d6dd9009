// The end-of-call steps on the main form against real parts: aiosmtpd on 127.0.0.1 receives the
// mail, a real script records how the user's program was started, the call database is a real file.
#include "ActionsTestKit.h"
#include "AnsweringEngine.h"
#include "CallList.h"
#include "CallerViewer.h"
#include "EngineRig.h"
#include "EngineRules.h"
#include "LineControl.h"
#include "MailSender.h"
#include "SmtpTestServer.h"

#include <QFile>
#include <QFrame>
#include <QJsonArray>
#include <QLabel>
#include <QtTest>
#include <unistd.h>

using namespace kalvo::test;

namespace {
const QString kFile = QStringLiteral("12-07-2004_09-41-07.wav");

CurrentCall callFrom(const QString& name, const QString& number, const QString& messageFile = QString())
{
    CurrentCall call;
    call.setCaller(CallerIdentity::fromText(name, number));
    call.CallDate = "12/07/2004";
    call.CallTime = "09:41:07";
    call.RingsAtAnswer = "1";
    call.MessageFile = messageFile;
    call.GotMessage = !messageFile.isEmpty();
    return call;
}

// The line goes idle after `call`, as the line control reports it.
void endCall(EngineRig& rig, const CurrentCall& call, bool remoteAccess = false)
{
    EngineState& state = rig.form().engine().state();
    state.InCall = true;
    state.AdminMode = remoteAccess;
    state.call = call;
    rig.form().engine().flow().TapiIdle(0);
}

Values merged(Values base, const Values& more)
{
    for (const auto& [name, value] : more)
        base[name] = value;
    return base;
}

QString quoted(const QString& path)
{
    return "'" + path + "'";
}
} // namespace

class PostCallActionsTest : public QObject
{
    Q_OBJECT

private slots:
    // A call with a message: stored, the viewer shows it, the tray blinks, the mail reaches the server
    // with the recording attached byte for byte, the status follows the transfer, and the program is
    // started once with the details as separate arguments.
    void messageIsMailedAndProgramStarted()
    {
        SmtpTestServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errors()));
        ScriptStarts starts;
        const QString tmpl =
            quoted(ScriptStarts::script()) + " <NAME> <NUMBER> <MESSAGE_PATH> '<DATE> at <TIME>'";
        EngineRig rig(merged(actionSettings(server.address(), tmpl), {{"WhenMsgViewMsg", "1"}}), 0.1);
        rig.start();
        int blinks = 0;
        rig.form().engine().actions().setWindowHooks([] { return true; }, [&] { ++blinks; });
        QStringList progress;
        QObject::connect(&rig.form().Mail1(), &kalvo::MailSender::SendProgress, &rig.form(),
                         [&] { progress << rig.form().statusText(); });
        QStringList shown;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (shown.isEmpty() || shown.last() != rig.form().statusText())
                shown << rig.form().statusText();
        });
        watch.start(5);
        kalvo::test::writeWav(rig.messagesFolder() + kFile, kalvo::test::tone(700));

        endCall(rig, callFrom("Alice", "5551234", kFile));
        QCOMPARE(blinks, 1);
        QCOMPARE(int(rig.records().size()), 1);
        QCOMPARE(rig.form().callList().rowCount(), 1);
        QVERIFY(rig.sysLogHas("Start Sending Mail"));
        QVERIFY(rig.sysLogHas("Send To APP"));

        CallerViewer& viewer = rig.form().viewer();
        QVERIFY(viewer.isLoaded());
        auto* window = dynamic_cast<QWidget*>(&viewer);
        QCOMPARE(window->findChild<QLabel*>("lblStatus")->text(), QString("New Message"));
        QCOMPARE(window->findChild<QLabel*>("lblCallerName")->text(), QString("Alice"));
        QCOMPARE(window->findChild<QLabel*>("lblTime")->text(), QString("09:41:07"));
        QCOMPARE(window->findChild<QLabel*>("lblMessagePath")->text(), rig.messagesFolder() + kFile);
        QVERIFY(!window->findChild<QFrame*>("Picture3")->isEnabled());

        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLogHas("Mail was sent to owner@example.com"), 15000);
        // The status panel during the pumping wait after the mail went, as the user sees it.
        QTRY_COMPARE(shown.last(), QString("Monitoring Sim 0"));
        const qsizetype sentAt = shown.indexOf("Mail Was Sent");
        QVERIFY2(sentAt >= 0, qPrintable(shown.join('|')));
        QCOMPARE(shown.mid(sentAt), QStringList({"Mail Was Sent", "Monitoring Sim 0"}));
        QVERIFY(!progress.isEmpty());
        QVERIFY2(progress.filter(QRegularExpression("^Send Mail : \\d+ %$")).size() == progress.size(),
                 qPrintable(progress.join('|')));
        QCOMPARE(progress.last(), QString("Send Mail : 100 %"));

        QCOMPARE(server.messageCount(), 1);
        const QJsonObject mail = server.message(1);
        QCOMPARE(mail["headers"].toObject()["Subject"].toString(), QString("New Call From Alice - 5551234"));
        QCOMPARE(mail["headers"].toObject()["From"].toString(), QString("Kalvo <kalvo@example.com>"));
        QCOMPARE(mail["rcpt_tos"].toArray().first().toString(), QString("owner@example.com"));
        const QJsonArray attachments = mail["attachments"].toArray();
        QCOMPARE(attachments.size(), 1);
        QFile sent(rig.messagesFolder() + kFile), received(attachments[0].toObject()["path"].toString());
        QVERIFY(sent.open(QIODevice::ReadOnly) && received.open(QIODevice::ReadOnly));
        QCOMPARE(received.readAll(), sent.readAll());

        QTRY_COMPARE(int(starts.starts().size()), 1);
        QTest::qWait(200);
        const auto start = starts.starts();
        QCOMPARE(int(start.size()), 1);
        QCOMPARE(start[0].arguments, QStringList({"Alice", "5551234", kFile, "12/07/2004 at 09:41:07"}));
        // Detached as promised: a session of its own, nothing to read from.
        QVERIFY(start[0].sessionId != QString::number(getsid(0)));
        QCOMPARE(start[0].standardInput, QString("/dev/null"));
    }

    // Caller names built to break out of a command line arrive as one argument each and run nothing.
    void hostileNamesStayArguments()
    {
        ScriptStarts starts;
        const QString trap = starts.path() + "/ran-";
        const QStringList names = {"x\"; touch " + trap + "1; \"",
                                   "$(touch " + trap + "2)",
                                   "`touch " + trap + "3`",
                                   "two\nlines; touch " + trap + "4",
                                   "it's \\\"quoted\\\" | touch " + trap + "5",
                                   "-rf <NUMBER> *"};
        const QString tmpl = quoted(ScriptStarts::script()) + " <NAME> \"<NUMBER>\" && touch " + trap + "6";
        EngineRig rig(actionSettings("127.0.0.1:1", tmpl));
        rig.start();
        rig.form().settings().actions.pMailTo = 0;
        for (const QString& name : names)
            endCall(rig, callFrom(name, "555; touch " + trap + "7", kFile));
        QTRY_COMPARE(int(starts.starts().size()), int(names.size()));
        QTest::qWait(300);
        const auto all = starts.starts();
        QCOMPARE(int(all.size()), int(names.size()));
        QStringList received;
        for (const auto& start : all) {
            QCOMPARE(start.arguments.size(), 5);
            QCOMPARE(start.arguments[1], "555; touch " + trap + "7");
            QCOMPARE(start.arguments.mid(2), QStringList({"&&", "touch", trap + "6"}));
            received << start.arguments[0];
        }
        // A placeholder inside the name is not touched: <NUMBER> was replaced before <NAME> went in.
        QStringList expected = names;
        received.sort();
        expected.sort();
        QCOMPARE(received, expected);
        for (int n = 1; n <= 7; ++n)
            QVERIFY2(!QFile::exists(trap + QString::number(n)), qPrintable(trap + QString::number(n)));
    }

    // A call without a message, mail for messages only, program for all calls: no mail, the program
    // gets "UNKNOWN" twice and the second <NAME> stays as written. With "ListMessageOnly" 1 the call
    // is not stored, but the viewer and the program still follow their own settings.
    void messageLessCallFollowsEachSetting()
    {
        ScriptStarts starts;
        const QString tmpl = quoted(ScriptStarts::script()) + " <NAME> <NUMBER> <NAME>";
        EngineRig rig(merged(actionSettings("127.0.0.1:1", tmpl), {{"ActionsAppAllCalls", "0"},
                                                                   {"ListMessageOnly", "1"},
                                                                   {"WhenMsgViewMsg", "1"},
                                                                   {"cOnlyIfGotMessage", "0"}}));
        rig.start();
        endCall(rig, CurrentCall());
        QVERIFY(!rig.sysLogHas("Start Sending Mail"));
        QCOMPARE(int(rig.records().size()), 0);
        QVERIFY(rig.callsLog().filter("Ring:").isEmpty());
        QVERIFY(rig.form().viewer().isLoaded());
        QTRY_COMPARE(int(starts.starts().size()), 1);
        QCOMPARE(starts.starts()[0].arguments, QStringList({"UNKNOWN", "UNKNOWN", "<NAME>"}));
    }

    // Mail for all calls and a call without a message: the mail goes without an attachment.
    // "cOnlyIfGotMessage" keeps the viewer closed for it.
    void messageLessMailHasNoAttachment()
    {
        SmtpTestServer server;
        QVERIFY(server.isRunning());
        EngineRig rig(merged(actionSettings(server.address(), QString()), {{"ActionsMailAllCalls", "0"},
                                                                           {"pAppTo", "0"},
                                                                           {"WhenMsgViewMsg", "1"},
                                                                           {"cOnlyIfGotMessage", "1"}}));
        rig.start();
        endCall(rig, callFrom("Bob", "42"));
        QVERIFY(!rig.form().viewer().isLoaded());
        QTRY_COMPARE_WITH_TIMEOUT(server.messageCount(), 1, 15000);
        QCOMPARE(server.message(1)["attachments"].toArray().size(), 0);
        QCOMPARE(server.message(1)["headers"].toObject()["Subject"].toString(),
                 QString("New Call From Bob - 42"));
        QVERIFY(!rig.sysLogHas("Send To APP"));
    }

    // A server that refuses the recipient gives the failure line; a program that cannot start gives
    // its error line; the program runs at most once per call.
    void failuresAreLogged()
    {
        SmtpTestServer server({"--refuse"});
        QVERIFY(server.isRunning());
        EngineRig rig(actionSettings(server.address(), "/nonexistent/program <NAME>"));
        rig.start();
        endCall(rig, callFrom("Carol", "7", kFile));
        QTRY_VERIFY_WITH_TIMEOUT(
            !rig.sysLog()
                 .filter(QRegularExpression("^Error Sending To Mail To : owner@example.com Becouse:.+"))
                 .isEmpty(),
            15000);
        QVERIFY(!rig.sysLogHas("Mail was sent to owner@example.com"));
        QVERIFY(rig.sysLogHas("Error Send To APP ->53 File not found: /nonexistent/program"));
        rig.form().engine().actions().DoActions("App");
        QCOMPARE(rig.sysLog().filter("Send To APP").size(), 2); // "Send To APP" and its error, once
    }

    // The viewer opened by a ringing call acts on it through the main form: "Do Nothing" keeps the
    // threshold from answering, "Answer Now" answers at once with rings-at-answer "0", and on the
    // next call "Drop Call" rejects it.
    void viewerChoicesActOnTheCall()
    {
        EngineRig rig(Values{{"NumOfRing", "2"}, {"ViewDetails", "1"}});
        rig.start();
        auto* viewer = dynamic_cast<QWidget*>(&rig.form().viewer());
        rig.sim().offerCall("555", "Eve");
        QTRY_VERIFY(rig.form().viewer().isLoaded());
        QTest::mouseClick(viewer->findChild<QWidget*>("lblDoNothing"), Qt::LeftButton);
        QVERIFY(rig.form().engine().state().DoNotAnswer);
        rig.sim().ring(3);
        QTRY_COMPARE(rig.form().statusText(), QString("Ring :3"));
        QVERIFY(!rig.form().Tapi1().LineConnected(0));

        rig.form().viewer().CloseViewer();
        rig.sim().hangUp(true);
        QTRY_VERIFY(!rig.form().viewer().isLoaded());
        rig.sim().offerCall("556", "Fay");
        QTRY_VERIFY(rig.form().viewer().isLoaded());
        QTest::mouseClick(viewer->findChild<QWidget*>("Picture3"), Qt::LeftButton);
        QTRY_VERIFY(rig.form().Tapi1().LineConnected(0));
        QCOMPARE(rig.form().engine().state().call.RingsAtAnswer, QString("0"));
        rig.sim().hangUp(true);
        QTRY_VERIFY(!rig.form().Tapi1().LineConnected(0));

        rig.form().viewer().CloseViewer();
        QTRY_VERIFY(!rig.form().viewer().isLoaded());
        rig.sim().offerCall("557", "Gus");
        QTRY_VERIFY(rig.form().viewer().isLoaded());
        const qsizetype answers = rig.sysLog().filter("LineAnswer[LineIndex:0]").size();
        QTest::mouseClick(viewer->findChild<QWidget*>("lblDrop"), Qt::LeftButton);
        QVERIFY(rig.sysLogHas("DropChice[LineIndex:0]"));
        QVERIFY(!rig.form().viewer().isLoaded());
        // The ringing call is refused, never answered first.
        QTRY_VERIFY(rig.sysLog().filter("LineDrop[LineIndex:0]").size() > 0);
        QCOMPARE(rig.sysLog().filter("LineAnswer[LineIndex:0]").size(), answers);
        QVERIFY(!rig.form().Tapi1().LineConnected(0));
    }

    // A remote-access call runs none of the end-of-call steps.
    void remoteAccessCallRunsNothing()
    {
        ScriptStarts starts;
        EngineRig rig(
            merged(actionSettings("127.0.0.1:1", quoted(ScriptStarts::script())),
                   {{"ActionsAppAllCalls", "0"}, {"ActionsMailAllCalls", "0"}, {"WhenMsgViewMsg", "1"}}));
        rig.start();
        endCall(rig, callFrom("Dave", "1", kFile), true);
        QTest::qWait(300);
        QCOMPARE(int(rig.records().size()), 0);
        QVERIFY(!rig.form().viewer().isLoaded());
        QVERIFY(!rig.sysLogHas("Start Sending Mail"));
        QCOMPARE(int(starts.starts().size()), 0);
        QCOMPARE(rig.form().statusText(), QString("Monitoring Sim 0"));
    }

    // Progress to the status bar: rounded to the nearest percent, halves to even; a total of 0
    // writes nothing.
    void progressRoundsHalfToEven()
    {
        EngineRig rig;
        rig.start();
        PostCallActions& actions = rig.form().engine().actions();
        const std::vector<std::tuple<int, int, QString>> cases = {{8, 1, "12"},  {8, 3, "38"}, {200, 1, "0"},
                                                                  {200, 3, "2"}, {3, 2, "67"}, {7, 7, "100"}};
        for (const auto& [total, done, percent] : cases) {
            actions.Mail1SendProgress(total, done);
            QCOMPARE(rig.form().statusText(), "Send Mail : " + percent + " %");
        }
        actions.Mail1SendProgress(0, 5);
        QCOMPARE(rig.form().statusText(), QString("Send Mail : 100 %"));
    }

    // The template's words: quotes group as a shell's do; nothing else is interpreted.
    void templateIsSplitLikeShellWords()
    {
        QCOMPARE(EngineRules::splitCommandLine("  prog  a\tb\n c "), QStringList({"prog", "a", "b", "c"}));
        QCOMPARE(EngineRules::splitCommandLine("'/opt/my app/run' \"<NAME> x\" y'z'\"w\""),
                 QStringList({"/opt/my app/run", "<NAME> x", "yzw"}));
        QCOMPARE(EngineRules::splitCommandLine("a\\ b \"c\\\"d\\\\e\\n\" 'f\\g' \"\" $HOME;"),
                 QStringList({"a b", "c\"d\\e\\n", "f\\g", "", "$HOME;"}));
        QCOMPARE(EngineRules::splitCommandLine("prog 'unclosed arg"), QStringList({"prog", "unclosed arg"}));
        QCOMPARE(EngineRules::splitCommandLine("   "), QStringList());
    }

    // The placeholder rule: first occurrence only, in the designed order, and a value holding a
    // later placeholder is replaced too.
    void placeholdersFirstOccurrenceInOrder()
    {
        CurrentCall call = callFrom("<DATE>", "<NAME>", kFile);
        QCOMPARE(EngineRules::ReplacePlaceholders("p <NUMBER> <NAME> <TIME> <TIME> <MESSAGE_PATH>", call),
                 QString("p 12/07/2004 <NAME> 09:41:07 <TIME> ") + kFile);
        // "<NUMBER>" brings "<NAME>", whose first occurrence is now the one it brought.
        QCOMPARE(EngineRules::ReplacePlaceholders(QStringList({"<NUMBER>", "<NAME>"}), call),
                 QStringList({"12/07/2004", "<NAME>"}));
        QCOMPARE(EngineRules::ReplacePlaceholders(QStringList({"<name>", "<NAME><NAME>"}), CurrentCall()),
                 QStringList({"<name>", "UNKNOWN<NAME>"}));
    }

    // The recipient check, from the six-character valid address outward.
    void emailCheck()
    {
        QVERIFY(EngineRules::IsValidEmail("a@b.cd"));
        QVERIFY(EngineRules::IsValidEmail("first.last@mail.example.org"));
        for (const char* bad : {"a@bcd", "a@b.c", "a @b.cd", "a@b.cd ", "a@@b.cd", "a@b.c@d", "a@b..cd",
                                "\"a\"@b.cd", "a.b@cd", "a!@b.cd", "a@b.cd;", "a@b.cd/", "", "ab.cde"})
            QVERIFY2(!EngineRules::IsValidEmail(bad), bad);
    }
};

QTEST_MAIN(PostCallActionsTest)
#include "PostCallActionsTest.moc"
