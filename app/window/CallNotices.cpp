// The caller window and the desktop notifications, bound to the engine, list and player.
#include "CallNotices.h"

#include "AnsweringEngine.h"
#include "CallAnnouncer.h"
#include "CallList.h"
#include "DesktopNotifications.h"
#include "MessagePlayer.h"
#include "UserNotices.h"
#include "frmMSG.h"

CallNotices::CallNotices(frmMSG& window, const MainEvents& events, QObject* parent)
    : QObject(parent), m_window(window),
      m_notifications(new DesktopNotifications(QDBusConnection::sessionBus(), this)),
      m_announcer(new CallAnnouncer(window, *m_notifications, events, this))
{
}

CallNotices::~CallNotices() = default;

CallerViewer& CallNotices::viewer()
{
    return *m_announcer;
}

void CallNotices::bind(AnsweringEngine& engine, UserNotices& notices, CallList& list, MessagePlayer& player,
                       std::function<void()> restoreWindow)
{
    m_announcer->setChoices({[&engine] { engine.answerNow(); }, [&engine] { engine.dropIncoming(); },
                             [&engine] { engine.doNotAnswer(); }});
    // A choice in the window also takes the call's notification away.
    m_window.setChoices({[this] { m_announcer->choose("answer"); }, [this] { m_announcer->choose("drop"); },
                         [this] { m_announcer->choose("nothing"); }});
    m_announcer->setPlayMessage([&list, &player, restore = std::move(restoreWindow)](const QString& path) {
        restore();
        const QString key = MessagePlayer::FileNameOf(path);
        for (int position = 1; position <= list.rowCount(); ++position) {
            if (list.keyAt(position) == key) {
                list.select(position);
                player.PlayMessages();
                return;
            }
        }
        // A call the list does not keep (the database failed): its file still plays.
        player.PlayWave(path, false);
    });
    notices.setDesktop(m_notifications);
}
