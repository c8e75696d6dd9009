// Remote access by touch tones through the loaded line control and a simulated line: the password
// and "*" during the greeting play the listed messages to the caller, then hang up.
#include "RemoteAccess.h"
#include "AnsweringEngine.h"
#include "CallDatabase.h"
#include "CallList.h"
#include "Clock.h"
#include "EngineRig.h"
#include "LineControl.h"
#include "RemoteLockout.h"

#include <QFile>

#include <QDir>
#include <QtTest>

using kalvo::test::EngineRig;
using kalvo::test::tone;
using Values = std::map<QString, QString>;

namespace {
// Starts a call and waits until its greeting plays.
void callIntoGreeting(EngineRig& rig)
{
    kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", tone(3000));
    rig.start();
}

bool droppedAfterRemote(EngineRig& rig)
{
    return rig.sysLog().filter(QRegularExpression("^LineDrop\\[LineIndex:0\\]")).size() >= 1;
}
} // namespace

class RemoteAccessTest : public QObject
{
    Q_OBJECT

private slots:
    // A wrong code and "*" empties the buffer; the code followed by "#" does not match; the code and
    // "*" plays every message from the newest down, skipping calls without one, then hangs up; the
    // call itself is not stored, and the messages heard to their end are read now.
    void wrongThenRightPassword()
    {
        EngineRig rig(Values{{"Pass", "123"}, {"AllowRemoteAccess", "1"}});
        callIntoGreeting(rig);
        rig.addCall("old.wav");
        rig.addCall("");
        rig.addCall("new.wav");
        rig.form().callList().makeList();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().engine().state().GreetingPlaying, 5000);
        rig.sim().sendDigits("9*");
        QTRY_COMPARE(rig.sysLog().filter("MonitorDigit[LineIndex:0]->").size(), 2);
        QCOMPARE(rig.form().statusText(), QString("Monitoring Digits: "));
        rig.sim().sendDigits("123#*");
        QTRY_COMPARE(rig.sysLog().filter("MonitorDigit[LineIndex:0]->").size(), 7);
        QVERIFY(!rig.form().engine().state().AdminMode);
        rig.sim().clearPlayedToCaller();
        rig.sim().sendDigits("123*");
        QTRY_VERIFY(rig.sysLog().contains("Remote Control [LineIndex:0]"));
        QCOMPARE(rig.form().statusText(), QString("Administrator Mode"));
        QTRY_VERIFY_WITH_TIMEOUT(droppedAfterRemote(rig), 20000);
        QCOMPARE(rig.form().callList().selectedPosition(), 3);
        // Two messages of 100 ms reached the caller (the greeting was cut off).
        QVERIFY(rig.sim().playedToCaller().size() >= 1600);
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.sysLog().contains("Idle[LineIndex:0]") || !rig.form().Tapi1().LineConnected(0), 5000);
        QCOMPARE(int(rig.records().size()), 3);
        QCOMPARE(rig.form().callList().unreadCalls(), 1);
        QVERIFY(!rig.sysLog().contains("Idle[LineIndex:0]"));
    }

    // A refused password is answered with the error tone, then the greeting again from its start. A
    // caller who keyed and then stayed silent leaves no message (the call is listed without one); one
    // who keyed and then spoke keeps it.
    void refusedTryAndSilenceAfterKeys()
    {
        EngineRig rig(Values{{"Pass", "123"},
                             {"AllowRemoteAccess", "1"},
                             {"cDropSilence", "1"},
                             {"SecSilence", "50"},
                             {"ValSilence", "10"},
                             {"MaxRec", "0"}});
        callIntoGreeting(rig);
        for (const bool speaks : {false, true}) {
            rig.sim().offerCall("1", speaks ? "Bob" : "Ann");
            rig.sim().ring(1);
            QTRY_VERIFY_WITH_TIMEOUT(rig.form().engine().state().GreetingPlaying, 5000);
            rig.sim().sendDigits("9*");
            if (speaks)
                rig.sim().queueCallerAudio(tone(1000, 8000, 700));
            QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 15000);
            QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), speaks ? 2 : 1, 15000);
        }
        // The error tone (480 Hz first) came after some greeting, and the whole greeting after it.
        const auto heard = rig.sim().playedToCaller();
        const auto refused = kalvo::test::windowsOf(heard, 480);
        QVERIFY2(!refused.empty(), "the caller heard the error tone");
        const auto greeting = kalvo::test::windowsOf(heard, 440);
        const auto after = std::count_if(greeting.begin(), greeting.end(), [&](size_t at) {
            return at > refused.front() && at < refused.front() + 8000 * 5;
        });
        QVERIFY2(after > 100, qPrintable(QString::number(after))); // 3 s are 120 windows
        const auto records = rig.records();
        QCOMPARE(records[0].at("Call_Massage_Name"), QString());
        QCOMPARE(records[0].at("Type"), QString("-1"));
        QVERIFY(rig.sysLog().contains("Silent Message Not Kept[LineIndex:0]"));
        QVERIFY(records[1].at("Type").toDouble() > 0.5);
        QVERIFY(QFile::exists(rig.messagesFolder() + records[1].at("Call_Massage_Name")));
        QCOMPARE(QDir(rig.messagesFolder()).entryList(QDir::Files).size(), 1);
    }

    // Remote access stays shut while "AllowRemoteAccess" is off, and an empty password never opens it.
    void remoteAccessClosed()
    {
        {
            EngineRig rig(Values{{"Pass", "123"}, {"AllowRemoteAccess", "0"}});
            callIntoGreeting(rig);
            rig.sim().offerCall("1", "Ann");
            rig.sim().ring(1);
            QTRY_VERIFY_WITH_TIMEOUT(rig.form().engine().state().GreetingPlaying, 5000);
            rig.sim().sendDigits("123*");
            QTRY_COMPARE(rig.sysLog().filter("MonitorDigit[LineIndex:0]->").size(), 4);
            QVERIFY(!rig.form().engine().state().AdminMode);
            QCOMPARE(rig.form().statusText(), QString("Monitoring Digits: "));
        }
        EngineRig rig(Values{{"Pass", ""}, {"AllowRemoteAccess", "1"}});
        callIntoGreeting(rig);
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().engine().state().GreetingPlaying, 5000);
        rig.sim().sendDigits("*");
        QTRY_COMPARE(rig.sysLog().filter("MonitorDigit[LineIndex:0]->").size(), 1);
        QVERIFY(!rig.form().engine().state().AdminMode);
    }

    // A list whose calls have no message: the call is dropped as soon as the password is accepted.
    void listWithoutMessages()
    {
        EngineRig rig(Values{{"Pass", "7"}, {"AllowRemoteAccess", "1"}});
        callIntoGreeting(rig);
        rig.addCall("");
        rig.addCall("");
        rig.form().callList().makeList();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().engine().state().GreetingPlaying, 5000);
        rig.sim().sendDigits("7*");
        QTRY_VERIFY_WITH_TIMEOUT(droppedAfterRemote(rig), 5000);
        QCOMPARE(rig.form().callList().selectedPosition(), 2);
        QCOMPARE(int(rig.records().size()), 2);
    }

    // The caller hangs up during remote playback: the call is dropped at the end of the message
    // and is not stored.
    void hangUpDuringRemotePlayback()
    {
        EngineRig rig(Values{{"Pass", "7"}, {"AllowRemoteAccess", "1"}});
        callIntoGreeting(rig);
        rig.addCall("long.wav", tone(600));
        rig.form().callList().makeList();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().engine().state().GreetingPlaying, 5000);
        rig.sim().sendDigits("7*");
        QTRY_VERIFY(rig.form().engine().state().RemotePlaying);
        rig.sim().hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(droppedAfterRemote(rig), 5000);
        QTest::qWait(100);
        QCOMPARE(int(rig.records().size()), 1);
        QVERIFY(!rig.sysLog().contains("Disconnected[LineIndex:0]"));
    }

    // Three wrong passwords end the call; five within the hour across calls lock remote access out,
    // so even the right password is refused; the lockout is in an owner-only file that a restart
    // reads back. Keys are logged masked, each refusal and the lockout logged.
    void lockoutWithinAndAcrossCalls()
    {
        EngineRig rig(Values{{"Pass", "123"}, {"AllowRemoteAccess", "1"}});
        callIntoGreeting(rig);
        rig.addCall("new.wav");
        rig.form().callList().makeList();
        rig.sim().offerCall("1", "Ann");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().engine().state().GreetingPlaying, 5000);
        rig.sim().sendDigits("1*2*3#*");
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Remote Control Hang Up After 3 Tries [LineIndex:0]"),
                                 5000);
        QTRY_VERIFY_WITH_TIMEOUT(droppedAfterRemote(rig), 5000);
        QCOMPARE(rig.sysLog().filter("Remote Control Wrong Password [LineIndex:0]").size(), 3);
        QCOMPARE(rig.sysLog().filter(QRegularExpression("^MonitorDigit\\[LineIndex:0\\]->x$")).size(), 3);
        QCOMPARE(rig.sysLog().filter("MonitorDigit[LineIndex:0]->#").size(), 1);
        QCOMPARE(rig.sysLog().filter(QRegularExpression("MonitorDigit.*->[0-9]")).size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 2, 5000); // the caller's call is kept

        rig.sim().offerCall("2", "Bob");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().engine().state().GreetingPlaying, 5000);
        rig.sim().sendDigits("4*5*");
        QTRY_VERIFY_WITH_TIMEOUT(!rig.sysLog().filter("Remote Control Locked Out Until ").isEmpty(), 5000);
        rig.sim().sendDigits("123*");
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Remote Control Refused, Locked Out [LineIndex:0]"),
                                 5000);
        QVERIFY(!rig.form().engine().state().AdminMode);
        QVERIFY(!rig.sysLog().contains("Remote Control [LineIndex:0]"));

        const QString file = RemoteLockout::defaultPath();
        const auto userBits = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser; // the same as owner
        QCOMPARE(QFile::permissions(file) & ~userBits, QFile::ReadOwner | QFile::WriteOwner);
        RemoteLockout afterRestart(file, Clock::system());
        QVERIFY(afterRestart.lockedOut());
        QVERIFY(afterRestart.until() > QDateTime::currentDateTime().addSecs(14 * 60));
    }

    // The hour's window and the quarter-hour lockout by the clock: old tries expire, the lockout ends
    // on time, the right password clears the count, and a clock set back never makes a lockout
    // longer; a state that cannot be read or saved fails closed.
    void lockoutRulesByTheClock()
    {
        kalvo::test::IsolatedHome home;
        const QString file = home.programFolder() + "/lockout";
        FixedClock clock(QDateTime(QDate(2026, 3, 1), QTime(10, 0)));
        RemoteLockout lockout(file, clock);
        for (int i = 0; i < 4; ++i)
            QVERIFY(!lockout.recordWrong());
        clock.set(clock.now().addSecs(3601));
        for (int i = 0; i < 4; ++i)
            QVERIFY(!lockout.recordWrong()); // the first four have expired
        lockout.recordRight();
        for (int i = 0; i < 4; ++i)
            QVERIFY(!lockout.recordWrong());
        QVERIFY(!lockout.lockedOut());
        QVERIFY(lockout.recordWrong());
        QVERIFY(lockout.lockedOut());
        clock.set(clock.now().addSecs(15 * 60 - 1));
        QVERIFY(RemoteLockout(file, clock).lockedOut());
        clock.set(clock.now().addSecs(1));
        QVERIFY(!lockout.lockedOut());

        // A lockout time beyond what a lockout lasts (a clock set back) is no lockout.
        auto writeState = [&file](const QByteArray& text) {
            QFile state(file);
            QVERIFY(state.open(QIODevice::WriteOnly | QIODevice::Truncate));
            state.write(text);
        };
        writeState("locked_until 99999999999\n");
        QVERIFY(!lockout.lockedOut() && lockout.cannotRead().isEmpty());

        // State that cannot be read (damaged lines, a folder in the file's place) refuses everyone
        // and is never written over, not even by a wrong try.
        const QByteArray damaged = "locked_until " + QByteArray::number(clock.now().toSecsSinceEpoch() + 60) +
                                   "\nwrong x\ngarbage\n";
        writeState(damaged);
        QVERIFY(lockout.lockedOut());
        QCOMPARE(lockout.cannotRead(), QString("line 2 is damaged"));
        QVERIFY(!lockout.recordWrong());
        lockout.recordRight();
        QFile kept(file);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), damaged);
        kept.close();
        QVERIFY(QFile::remove(file) && QDir().mkpath(file + "/inside"));
        QVERIFY(lockout.lockedOut() && !lockout.cannotRead().isEmpty() && !lockout.cannotSave());
        QVERIFY(!lockout.recordWrong());
        QVERIFY(QDir(file + "/inside").exists());
        QVERIFY(QDir(file).removeRecursively());

        // A state that cannot be saved (a folder where its temporary file goes) refuses everyone
        // until it can.
        QVERIFY(QDir().mkpath(file + ".tmp"));
        QVERIFY(lockout.lockedOut() && lockout.cannotSave() && lockout.cannotRead().isEmpty());
        QVERIFY(QDir(file + ".tmp").removeRecursively());
        QVERIFY(!lockout.lockedOut() && !lockout.cannotSave());

        QCOMPARE(RemoteAccess::maskedDigit("7"), QString("x"));
        QCOMPARE(RemoteAccess::maskedDigit("D"), QString("x"));
        QCOMPARE(RemoteAccess::maskedDigit("*"), QString("*"));
        QCOMPARE(RemoteAccess::maskedDigit("#"), QString("#"));
    }

private:
    // Remote access speaks through the built helper.
    kalvo::test::ScopedEnv m_path{"PATH", QFile::encodeName(qEnvironmentVariable("KALVO_BIN_DIR")) + ":" +
                                              qgetenv("PATH")};
};

QTEST_MAIN(RemoteAccessTest)
#include "RemoteAccessTest.moc"
