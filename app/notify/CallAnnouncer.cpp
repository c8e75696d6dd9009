// Showing the current call as the caller window, a desktop notification, or both.
#include "CallAnnouncer.h"

#include "CallerIdentity.h"
#include "DesktopNotifications.h"

#include <QGuiApplication>
#include <QTimer>

namespace {
// A caller's name comes from the line; a screenful of it helps nobody.
constexpr int kMaxFieldLength = 120;

QString shortened(const QString& text)
{
    return text.size() <= kMaxFieldLength ? text : text.left(kMaxFieldLength - 1) + QChar(0x2026);
}
} // namespace

CallAnnouncer::CallAnnouncer(CallerViewer& window, DesktopNotifications& notifications,
                             const MainEvents& events, QObject* parent)
    : QObject(parent), m_window(window), m_notes(notifications), m_events(events),
      m_windowCanPlace(windowCanPlaceItself())
{
    connect(&m_notes, &DesktopNotifications::actionInvoked, this,
            [this](const QString& key, const QString& action) {
                if (key == callKey())
                    choose(action);
            });
    connect(&m_notes, &DesktopNotifications::closed, this, [this](const QString& key) {
        if (key == callKey())
            m_noteShown = false;
    });
}

bool CallAnnouncer::windowCanPlaceItself()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
           QGuiApplication::primaryScreen() != nullptr;
}

CallAnnouncer::Route CallAnnouncer::route(int shows, bool serviceAvailable, bool windowCanPlace)
{
    if (shows != kCallerWindow && shows != kNotification && shows != kBoth)
        shows = firstChoice(windowCanPlace);
    if (!serviceAvailable)
        return {true, false};
    if (!windowCanPlace && shows == kCallerWindow)
        return {false, true};
    return {shows != kNotification, shows != kCallerWindow};
}

void CallAnnouncer::choose(const QString& action)
{
    // Taking the call and ending the conversation leave the window and the notification up.
    if (action == QLatin1String("pickup") || action == QLatin1String("hangup")) {
        const auto& choice = action == QLatin1String("pickup") ? m_choices.pickUp : m_choices.hangUp;
        if (choice)
            choice();
        return;
    }
    const QString messagePath = m_messagePath;
    if (action == QLatin1String("answer") && m_choices.answerNow)
        m_choices.answerNow();
    else if (action == QLatin1String("drop") && m_choices.dropCall)
        m_choices.dropCall();
    else if (action == QLatin1String("nothing") && m_choices.doNotAnswer)
        m_choices.doNotAnswer();
    else if (action == QLatin1String("play") && m_play && !messagePath.isEmpty())
        m_play(messagePath);
    else
        return;
    // A choice made in one place is made: the other one goes.
    m_window.CloseViewer();
    if (m_noteShown) {
        m_noteShown = false;
        m_notes.close(callKey());
    }
}

void CallAnnouncer::newCall()
{
    ++m_call;
    m_noteShown = false;
    m_updateQueued = false;
    m_choicesOn = true;
    m_talking = false;
    m_canTalk = false;
    m_status.clear();
    m_name = CallerIdentity().nameText();
    m_number = CallerIdentity().numberText();
    m_date.clear();
    m_time.clear();
    m_messagePath.clear();
}

bool CallAnnouncer::isLoaded() const
{
    // The notification follows the whole call, so that one opened late (when the call ends) shows
    // where the call got to; the window takes only what it shows while loaded.
    return m_window.isLoaded() || m_call > 0;
}

void CallAnnouncer::ViewCallViewer(bool animation, int animationFast, int cCloseCallerView,
                                   int closeCallerView)
{
    const Route where = route(m_events.CallerViewAs, m_notes.available(), m_windowCanPlace);
    if (where.window) {
        // Notification services show in the top right corner, where the window would cover them.
        if (m_placeWindow)
            m_placeWindow(where.notification);
        m_window.ViewCallViewer(animation, animationFast, cCloseCallerView, closeCallerView);
    }
    if (!where.notification || m_noteShown)
        return;
    m_noteShown = true;
    m_timeoutMs = cCloseCallerView == 1 ? closeCallerView * 1000 : DesktopNotifications::kServerDefault;
    scheduleUpdate();
}

void CallAnnouncer::setStatus(const QString& text)
{
    if (m_window.isLoaded())
        m_window.setStatus(text);
    m_status = text;
    scheduleUpdate();
}

void CallAnnouncer::setDetails(const QString& name, const QString& number, const QString& date,
                               const QString& time)
{
    if (m_window.isLoaded())
        m_window.setDetails(name, number, date, time);
    m_name = name;
    m_number = number;
    m_date = date;
    m_time = time;
    scheduleUpdate();
}

void CallAnnouncer::setMessagePath(const QString& path)
{
    if (m_window.isLoaded())
        m_window.setMessagePath(path);
    m_messagePath = path;
    scheduleUpdate();
}

void CallAnnouncer::DisableChoices()
{
    if (m_window.isLoaded())
        m_window.DisableChoices();
    m_choicesOn = false;
    scheduleUpdate();
}

void CallAnnouncer::setTalkChoice(bool talking, const QString& unavailable)
{
    m_window.setTalkChoice(talking, unavailable);
    if (m_talking == talking && m_canTalk == unavailable.isEmpty())
        return;
    m_talking = talking;
    m_canTalk = unavailable.isEmpty();
    scheduleUpdate();
}

void CallAnnouncer::CloseViewer()
{
    // The notification leaves by itself (after the close delay when one is set) or with a choice.
    m_window.CloseViewer();
}

void CallAnnouncer::scheduleUpdate()
{
    // The engine writes status and labels in a row; the notification changes once for them.
    if (!m_noteShown || m_updateQueued)
        return;
    m_updateQueued = true;
    QTimer::singleShot(0, this, [this, call = m_call] {
        m_updateQueued = false;
        if (call == m_call && m_noteShown)
            update();
    });
}

void CallAnnouncer::update()
{
    QStringList actions;
    const bool over = m_status == QLatin1String("Idle") || m_status == QLatin1String("Diconnected");
    if (!m_messagePath.isEmpty())
        actions << "play"
                << "Play";
    else if (m_choicesOn && !over)
        actions << "answer"
                << "Answer Now"
                << "drop"
                << "Drop Call"
                << "nothing"
                << "Do Nothing";
    if (m_talking && !over)
        actions << "hangup"
                << "Hang Up";
    else if (m_canTalk && !over && m_messagePath.isEmpty())
        actions << "pickup"
                << "Pick Up";
    QString body = shortened(m_name) + "\n" + shortened(m_number);
    if (!m_date.isEmpty() || !m_time.isEmpty())
        body += "\n" + m_date + " " + m_time;
    const QString summary = m_status.isEmpty() ? QStringLiteral("Kalvo") : m_status;
    // A message waits for the owner: its notification stays until dismissed or played.
    if (!m_messagePath.isEmpty())
        m_notes.showUntilDismissed(callKey(), summary, body, actions);
    else
        m_notes.show(callKey(), summary, body, actions, m_timeoutMs);
}
