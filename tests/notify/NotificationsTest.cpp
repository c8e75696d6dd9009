// The call, its message and the failures as desktop notifications, with a real notification
// service (dunst) on a private session bus; its buttons are pressed through dunst's own menu.
#include "CallAnnouncer.h"
#include "CallList.h"
#include "DesktopNotifications.h"
#include "EngineRig.h"
#include "MessagePlayer.h"
#include "NotificationServer.h"
#include "PlaybackFlags.h"
#include "PrivatePulse.h"
#include "SoundCardBackend.h"
#include "UserNotices.h"
#include "WaveDevice.h"

#include <QtTest>

using kalvo::test::EngineRig;
using kalvo::test::NotificationServer;
using Values = std::map<QString, QString>;

namespace {
// The events settings that show a call and its message, as a notification only.
Values notificationSettings()
{
    return {{"NumOfRing", "9"},
            {"ViewDetails", "1"},
            {"WhenMsgViewMsg", "1"},
            {"CallerViewAs", "1"},
            {"MaxRec", "1"}};
}

// Whether the service on the bus answers, once its answer is in.
bool serviceAnswers(frmMain& form)
{
    auto* notes = form.findChild<DesktopNotifications*>();
    if (!notes)
        return false;
    QSignalSpy ready(notes, &DesktopNotifications::ready);
    notes->probe();
    return ready.wait(10000) && ready.last().at(0).toBool();
}
} // namespace

class NotificationsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(m_server.problem().isEmpty(), qPrintable(m_server.problem())); }

    // Where a call goes for each choice: without a service always the window; where the window
    // cannot place itself (Wayland) a window-only choice becomes the notification; a stored value
    // out of range falls back to the first start's choice.
    void routeFollowsTheDesktop()
    {
        using A = CallAnnouncer;
        const auto is = [](A::Route r, bool window, bool note) {
            return r.window == window && r.notification == note;
        };
        QVERIFY(is(A::route(A::kNotification, false, true), true, false));
        QVERIFY(is(A::route(A::kNotification, false, false), true, false));
        QVERIFY(is(A::route(A::kCallerWindow, true, true), true, false));
        QVERIFY(is(A::route(A::kCallerWindow, true, false), false, true));
        QVERIFY(is(A::route(A::kBoth, true, true), true, true));
        QVERIFY(is(A::route(A::kAutomatic, true, false), false, true));
        QVERIFY(is(A::route(7, true, true), true, false));
    }

    // No notification service on the bus: the call shows in the caller window although the setting
    // asks for a notification.
    void noServiceShowsTheCallerWindow()
    {
        EngineRig rig(notificationSettings());
        frmMain& form = rig.form();
        QVERIFY(!serviceAnswers(form));
        rig.start();
        rig.sim().offerCall("5551234", "Alice");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(form.viewer().isLoaded(), 5000);
        QVERIFY(m_server.shown().isEmpty());
    }

    // With the service: the ringing call is one notification that each change replaces; its
    // "Answer Now" answers the call. The message the caller leaves comes with "Play" in a
    // notification that stays until dismissed (critical, never expiring: dunst keeps no others);
    // "Play" shows the main window and plays that message alone, not on into the older one. A
    // failure told to the user is a notification too.
    void callAnsweredAndMessagePlayedFromNotifications()
    {
        kalvo::test::PrivatePulse pulse;
        kalvo::wave::SoundCardBackend backend;
        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        Values settings = notificationSettings();
        settings["Sound"] = "0";
        EngineRig rig(settings);
        frmMain& form = rig.form();
        QVERIFY(serviceAnswers(form));
        rig.addCall("older.wav", kalvo::test::tone(2000));
        rig.start();
        if (pulse.started())
            QTRY_VERIFY_WITH_TIMEOUT(!form.WavePlay().IsPlaying(), 10000); // the start beep
        form.hide();
        rig.sim().offerCall("5551234", "Alice");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(
            !m_server.shown().isEmpty() && m_server.shown().last().body.contains("Alice"), 10000);
        rig.sim().ring(1);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.shown().last().summary, QString("Ring : 2"), 10000);
        const auto calls = m_server.shown();
        for (const auto& shown : calls)
            QCOMPARE(shown.id, calls.first().id);
        QCOMPARE(m_server.displayed(), 1);
        QVERIFY(calls.last().body.contains("5551234"));
        QCOMPARE(calls.last().urgency, QString("NORMAL"));
        QVERIFY(calls.last().timeoutMs != 0);
        QVERIFY(!form.viewer().isLoaded());

        QVERIFY(m_server.choose("Answer Now"));
        QTRY_VERIFY_WITH_TIMEOUT(form.Tapi1().LineConnected(0), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(form.Wave1().IsRecording(), 10000);
        rig.sim().hangUp(true);
        QTRY_COMPARE_WITH_TIMEOUT(form.callList().rowCount(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.shown().last().summary, QString("New Message"), 10000);
        QCOMPARE(m_server.shown().last().urgency, QString("CRITICAL"));
        QCOMPARE(m_server.shown().last().timeoutMs, 0);
        const QString message = form.callList().keyAt(1);
        QVERIFY(!message.isEmpty());
        QCOMPARE(form.callList().unreadCalls(), 2);
        QTest::qWait(1500);
        QCOMPARE(m_server.displayed(), 1);

        QVERIFY(m_server.choose("Play"));
        QTRY_VERIFY_WITH_TIMEOUT(form.isVisible(), 10000);
        QCOMPARE(form.player().playingFile(), rig.messagesFolder() + message);
        QCOMPARE(form.callList().unreadCalls(), 1);
        QCOMPARE(form.callList().selectedPosition(), 1);
        // The short message ends on the sound card and the older one (two seconds) is not started.
        QTRY_VERIFY_WITH_TIMEOUT(!form.WavePlay().IsPlaying(), 15000);
        QTest::qWait(1000);
        QVERIFY(!form.WavePlay().IsPlaying());
        QVERIFY(!form.playbackFlags().ListPlaying);
        QCOMPARE(form.player().playingFile(), rig.messagesFolder() + message);
        QCOMPARE(form.callList().unreadCalls(), 1);

        auto* notices = form.findChild<UserNotices*>();
        QVERIFY(notices && notices->tell("mail", "The mail about the call could not be sent"));
        QTRY_VERIFY_WITH_TIMEOUT(m_server.shown().last().body == "The mail about the call could not be sent",
                                 10000);
        m_server.stop();
    }

    // With both the caller window and a notification, the window keeps to the top left corner, out
    // of the top right one where the notification shows; with the window alone it stands at the right.
    void callerWindowLeavesTheNotificationCorner()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        for (const char* shows : {"2", "0"}) {
            Values settings = notificationSettings();
            settings["CallerViewAs"] = shows;
            settings["cAnimation"] = "0";
            EngineRig rig(settings);
            frmMain& form = rig.form();
            QVERIFY(serviceAnswers(form));
            rig.start();
            rig.sim().offerCall("5551234", "Alice");
            rig.sim().ring(1);
            QTRY_VERIFY_WITH_TIMEOUT(form.viewer().isVisible(), 10000);
            const QRect screen = QGuiApplication::primaryScreen()->geometry();
            const QRect window = form.viewer().frameGeometry();
            if (QString(shows) == "2") {
                QTRY_VERIFY_WITH_TIMEOUT(!m_server.shown().isEmpty(), 10000);
                QVERIFY2(window.right() < screen.center().x(), qPrintable(QString::number(window.x())));
            } else {
                QVERIFY2(window.left() > screen.center().x(), qPrintable(QString::number(window.x())));
            }
            rig.sim().hangUp(true);
        }
        m_server.stop();
    }

private:
    NotificationServer m_server;
};

QTEST_MAIN(NotificationsTest)
#include "NotificationsTest.moc"
