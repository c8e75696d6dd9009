// The end-of-call steps run at Idle: viewer status, tray blink, storing the call, the end-of-call
// sound, the caller viewer, the mail about the call and the user's program; and the mail events.
#pragma once

#include "EngineState.h"

#include <QObject>
#include <QStringList>
#include <functional>

class MessageList;
class MessageStore;
class CallStore;
class LineMonitor;

namespace kalvo {
class MailSender;
}

class PostCallActions : public QObject
{
    Q_OBJECT

public:
    // mail1 is the main form's mail sender; its events are handled here.
    PostCallActions(EngineContext& context, LineMonitor& monitor, MessageList& list,
                    const MessageStore& messages, CallStore& store, kalvo::MailSender& mail1,
                    QObject* parent);

    // What the main window frame tells and does: whether the window is hidden to the tray, and
    // starting the tray icon's blink.
    void setWindowHooks(std::function<bool()> windowHidden, std::function<void()> startTrayBlink)
    {
        m_windowHidden = std::move(windowHidden);
        m_startTrayBlink = std::move(startTrayBlink);
    }
    // Plays a sound-card file (the end-of-call sound), and tells whether the sound card is busy.
    void setCardPlayer(std::function<void(const QString&)> play, std::function<bool()> playing)
    {
        m_playOnCard = std::move(play);
        m_cardPlaying = std::move(playing);
    }

    // The nine end-of-call steps, in their order.
    void run();
    // Step 3 alone: stores the call as "ListMessageOnly" says and rebuilds the list.
    void storeCall();
    // "Mail" sends the mail about the current call, "App" starts the user's program once per call.
    void DoActions(const QString& what);
    // Starts the user's program with the current call's details.
    void SendToApp();
    bool AppStarted() const { return m_appStarted; }

    // round(done / total * 100), halves to even; for total > 0.
    static int percentOf(qint64 done, qint64 total);

public slots:
    void Mail1SendProgress(int total, int done);
    void Mail1MailSent();
    void Mail1SendFailed(const QString& reason);

private:
    void logLine(const QString& line) const { m_context.sysLog(line); }
    bool mailWanted() const;
    bool appWanted() const;

    EngineContext& m_context;
    LineMonitor& m_monitor;
    MessageList& m_list;
    const MessageStore& m_messages;
    CallStore& m_store;
    kalvo::MailSender& m_mail1;
    bool m_appStarted = false;
    std::function<bool()> m_windowHidden;
    std::function<void()> m_startTrayBlink;
    std::function<void(const QString&)> m_playOnCard;
    std::function<bool()> m_cardPlaying;
};
