// The call, its message and the failures as desktop notifications, with a real notification
// service (dunst) on a private session bus; its buttons are pressed through dunst's own menu.
#include "CallAnnouncer.h"
#include "CallList.h"
#include "DesktopNotifications.h"
#include "EngineRig.h"
#include "MessagePlayer.h"
#include "NotificationServer.h"
#include "UserNotices.h"

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
    // "Answer Now" answers the call. The message the caller leaves comes with "Play", which shows
    // the main window and plays that message. A failure told to the user is a notification too.
    void callAnsweredAndMessagePlayedFromNotifications()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        EngineRig rig(notificationSettings());
        frmMain& form = rig.form();
        QVERIFY(serviceAnswers(form));
        rig.start();
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
        QVERIFY(!form.viewer().isLoaded());

        QVERIFY(m_server.choose("Answer Now"));
        QTRY_VERIFY_WITH_TIMEOUT(form.Tapi1().LineConnected(0), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(form.Wave1().IsRecording(), 10000);
        rig.sim().hangUp(true);
        QTRY_COMPARE_WITH_TIMEOUT(form.callList().rowCount(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.shown().last().summary, QString("New Message"), 10000);
        const QString message = form.callList().keyAt(1);
        QVERIFY(!message.isEmpty());
        QCOMPARE(form.callList().unreadCalls(), 1);

        QVERIFY(m_server.choose("Play"));
        QTRY_VERIFY_WITH_TIMEOUT(form.isVisible(), 10000);
        QCOMPARE(form.player().playingFile(), rig.messagesFolder() + message);
        QCOMPARE(form.callList().unreadCalls(), 0);

        auto* notices = form.findChild<UserNotices*>();
        QVERIFY(notices && notices->tell("mail", "The mail about the call could not be sent"));
        QTRY_VERIFY_WITH_TIMEOUT(m_server.shown().last().body == "The mail about the call could not be sent",
                                 10000);
        m_server.stop();
    }

private:
    NotificationServer m_server;
};

QTEST_MAIN(NotificationsTest)
#include "NotificationsTest.moc"
