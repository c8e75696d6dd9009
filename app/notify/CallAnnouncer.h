// The caller view as the answering engine sees it: the caller window, a desktop notification, or
// both, as the events setting "CallerViewAs" chooses and the desktop allows. The notification shows
// the call's status, name, number, date and time, carries the window's three choices while the call
// rings, "Pick Up" (or "Hang Up") while the call lasts and "Play" once it left a message, and
// replaces itself for the same call.
#pragma once

#include "CallerViewer.h"
#include "Settings.h"

#include <QObject>
#include <QString>
#include <functional>

class DesktopNotifications;

class CallAnnouncer : public QObject, public CallerViewer
{
    Q_OBJECT

public:
    // The stored choices of "CallerViewAs"; kAutomatic is a key never stored.
    enum Shows : int16_t { kAutomatic = -1, kCallerWindow = 0, kNotification = 1, kBoth = 2 };
    struct Route
    {
        bool window = false;
        bool notification = false;
    };

    // window is the caller window; events are the main window's in-memory events settings.
    CallAnnouncer(CallerViewer& window, DesktopNotifications& notifications, const MainEvents& events,
                  QObject* parent = nullptr);

    // Whether a window can place itself at the top of the screen (not on Wayland, where the
    // compositor places windows, nor without a screen).
    static bool windowCanPlaceItself();
    // What a first start stores: the caller window where it can be placed, else a notification.
    static Shows firstChoice(bool windowCanPlace) { return windowCanPlace ? kCallerWindow : kNotification; }
    // Where a call is shown: the setting, except that without a notification service the window
    // is used, and where the window cannot place itself the notification takes its place.
    static Route route(int shows, bool serviceAvailable, bool windowCanPlace);

    // The choices on the ringing call (the window's buttons do the same), and playing a message
    // by its full path.
    void setChoices(ViewerChoices choices) { m_choices = std::move(choices); }
    void setPlayMessage(std::function<void(const QString& path)> play) { m_play = std::move(play); }
    // Told before the window opens whether a notification shows beside it.
    void setWindowPlacement(std::function<void(bool besideNotification)> place)
    {
        m_placeWindow = std::move(place);
    }
    // Runs a choice by its action name ("answer", "drop", "nothing", "play") as the window or the
    // notification made it; the other one is closed.
    void choose(const QString& action);
    // Overrides windowCanPlaceItself() (tests).
    void setWindowCanPlace(bool canPlace) { m_windowCanPlace = canPlace; }

    // The notification's key for the current call; empty when none is shown.
    QString notificationKey() const { return m_noteShown ? callKey() : QString(); }

    // CallerViewer
    void newCall() override;
    bool isLoaded() const override;
    void ViewCallViewer(bool animation, int animationFast, int cCloseCallerView,
                        int closeCallerView) override;
    void setDetails(const QString& name, const QString& number, const QString& date,
                    const QString& time) override;
    void setStatus(const QString& text) override;
    void setMessagePath(const QString& path) override;
    void DisableChoices() override;
    void CloseViewer() override;
    void setTalkChoice(bool talking, const QString& unavailable) override;

private:
    QString callKey() const { return "call-" + QString::number(m_call); }
    void scheduleUpdate();
    void update();

    CallerViewer& m_window;
    DesktopNotifications& m_notes;
    const MainEvents& m_events;
    ViewerChoices m_choices;
    std::function<void(const QString&)> m_play;
    std::function<void(bool)> m_placeWindow;
    bool m_windowCanPlace;
    bool m_updateQueued = false;
    // The current call as the notification shows it.
    int m_call = 0;
    bool m_noteShown = false;
    bool m_choicesOn = true;
    bool m_talking = false;
    bool m_canTalk = false;
    int m_timeoutMs = -1;
    QString m_status, m_name, m_number, m_date, m_time, m_messagePath;
};
