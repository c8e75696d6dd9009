// The desktop's notification service beside the caller window: the call and its new message as a
// notification whose actions do what the window's choices do ("Play" shows the main window and
// plays the message), and the failures told to the user.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class AnsweringEngine;
class CallAnnouncer;
class CallerViewer;
class DesktopNotifications;
class MessageStore;
class UserNotices;
class frmMSG;
struct MainEvents;

class CallNotices : public QObject
{
    Q_OBJECT

public:
    // window is the caller window; events the in-memory events settings.
    CallNotices(frmMSG& window, const MainEvents& events, QObject* parent);
    ~CallNotices() override;

    // What the engine shows a call on.
    CallerViewer& viewer();
    CallAnnouncer& announcer() { return *m_announcer; }
    DesktopNotifications& notifications() { return *m_notifications; }

    // The choices act on the engine's ringing call; "Play" runs restoreWindow and hands play the
    // message's call in store (0 when it is not stored) and its file; failures told by notices also
    // go out as notifications.
    void bind(AnsweringEngine& engine, UserNotices& notices, MessageStore& store,
              std::function<void(qint64 id, const QString& path)> play, std::function<void()> restoreWindow);

private:
    frmMSG& m_window;
    DesktopNotifications* m_notifications;
    CallAnnouncer* m_announcer;
};
