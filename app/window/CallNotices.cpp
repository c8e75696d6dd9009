// The caller window and the desktop notifications, bound to the engine and the message store.
#include "CallNotices.h"

#include "AnsweringEngine.h"
#include "CallAnnouncer.h"
#include "DesktopNotifications.h"
#include "MessageStore.h"
#include "UserNotices.h"
#include "frmMSG.h"

CallNotices::CallNotices(frmMSG& window, const MainEvents& events, QObject* parent)
    : QObject(parent), m_window(window),
      m_notifications(new DesktopNotifications(QDBusConnection::sessionBus(), this)),
      m_announcer(new CallAnnouncer(window, *m_notifications, events, this))
{
    m_announcer->setWindowPlacement([&window](bool beside) { window.setClearOfNotifications(beside); });
}

CallNotices::~CallNotices() = default;

CallerViewer& CallNotices::viewer()
{
    return *m_announcer;
}

void CallNotices::bind(AnsweringEngine& engine, UserNotices& notices, MessageStore& store,
                       std::function<void(qint64, const QString&)> play, std::function<void()> restoreWindow)
{
    // A pick-up that cannot be done says why where the owner looks.
    const auto talk = [&engine, &notices](QString (AnsweringEngine::*step)(), const char* what) {
        return [&engine, &notices, step, what] {
            if (const QString why = (engine.*step)(); !why.isEmpty())
                notices.tell("talk", QString::fromLatin1(what) + ": " + why);
        };
    };
    m_announcer->setChoices({[&engine] { engine.answerNow(); }, [&engine] { engine.dropIncoming(); },
                             [&engine] { engine.doNotAnswer(); }, talk(&AnsweringEngine::pickUp, "Pick Up"),
                             talk(&AnsweringEngine::hangUp, "Hang Up")});
    // A choice in the window also takes the call's notification away.
    m_window.setChoices({[this] { m_announcer->choose("answer"); }, [this] { m_announcer->choose("drop"); },
                         [this] { m_announcer->choose("nothing"); },
                         [this] { m_announcer->choose("pickup"); },
                         [this] { m_announcer->choose("hangup"); }});
    m_announcer->setPlayMessage(
        [&store, play = std::move(play), restore = std::move(restoreWindow)](const QString& path) {
            restore();
            qint64 id = 0;
            try {
                id = store.idOfMessage(path);
            } catch (...) {
                // A call the database cannot give (it failed): its file still plays.
            }
            play(id, path);
        });
    notices.setDesktop(m_notifications);
}
