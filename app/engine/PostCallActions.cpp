// The end-of-call steps, the mail and program actions, and the mail sender's events.
#include "PostCallActions.h"

#include "CallStore.h"
#include "CallerViewer.h"
#include "EngineRules.h"
#include "ErrorTrap.h"
#include "LineMonitor.h"
#include "MailSender.h"
#include "MessageList.h"
#include "MessageStore.h"
#include "Settings.h"
#include "TimeBase.h"
#include "VbError.h"

namespace {
constexpr int kAfterMailSentMs = 3000;

// The caller as the user knows them: the name, else the number.
QString callerOf(const CurrentCall& call)
{
    const CallerIdentity& caller = call.caller;
    const bool giveReason = caller.absence == CallerIdentity::Absence::Withheld ||
                            caller.absence == CallerIdentity::Absence::Unavailable;
    if (caller.name ? !caller.name->isEmpty() : giveReason)
        return call.CallerName;
    return call.CallerNumber.isEmpty() ? QStringLiteral("an unknown caller") : call.CallerNumber;
}
} // namespace

PostCallActions::PostCallActions(EngineContext& context, LineMonitor& monitor, MessageList& list,
                                 const MessageStore& messages, CallStore& store, kalvo::MailSender& mail1,
                                 QObject* parent)
    : QObject(parent), m_context(context), m_monitor(monitor), m_list(list), m_messages(messages),
      m_store(store), m_mail1(mail1)
{
    connect(&mail1, &kalvo::MailSender::SendProgress, this, &PostCallActions::Mail1SendProgress);
    connect(&mail1, &kalvo::MailSender::MailSent, this, &PostCallActions::Mail1MailSent);
    connect(&mail1, &kalvo::MailSender::SendFailed, this, &PostCallActions::Mail1SendFailed);
}

bool PostCallActions::mailWanted() const
{
    // "ActionsMailAllCalls" holds the actions dialog's entry: 0 is "Act with all calls".
    return m_context.settings.actions.ActionsMailAllCalls == 0 || m_context.state.call.GotMessage;
}

bool PostCallActions::appWanted() const
{
    return m_context.settings.actions.ActionsAppAllCalls == 0 || m_context.state.call.GotMessage;
}

void PostCallActions::storeCall()
{
    const CurrentCall& call = m_context.state.call;
    if (!CallStore::keepsCall(m_context.settings.options.ListMessageOnly, call.GotMessage))
        return;
    if (m_store.PutCallDetailsInDB(call, m_context.messagesFolder())) {
        // Calls kept while the database failed are stored after this one: then the whole list is read.
        const bool others = m_store.storePending() > 0;
        m_context.tellSolved("store");
        if (!others) {
            m_list.addNewest();
            return;
        }
    } else {
        // Kept beside the database, and listed as soon as a record can be stored again.
        const bool kept = m_store.queue(call, m_context.messagesFolder());
        m_context.tellProblem("store", "The call from " + callerOf(call) +
                                           " could not be stored in the call database" +
                                           (kept ? "; it is kept and listed once the database works again"
                                                 : "; see the log (File > Log)"));
    }
    m_list.makeList();
}

void PostCallActions::run()
{
    ErrorTrap trap("ErrTapiIdle ", [this](const QString& l) { logLine(l); });
    const CurrentCall& call = m_context.state.call;
    const Settings& settings = m_context.settings;
    CallerViewer& viewer = m_context.viewer;
    trap.step([&] {
        if (viewer.isLoaded())
            viewer.setStatus("Idle");
    });
    trap.step([&] {
        if (m_windowHidden && m_windowHidden() && m_startTrayBlink)
            m_startTrayBlink();
    });
    trap.step([&] { storeCall(); });
    m_appStarted = false;
    const bool notify = !(settings.events.cOnlyIfGotMessage == 1 && !call.GotMessage);
    trap.step([&] {
        if (settings.events.cPlayInIdle != 0 && notify && m_playOnCard && !(m_cardPlaying && m_cardPlaying()))
            m_playOnCard(m_context.programFolder + "/Sound/" + settings.events.PlayInIdle);
    });
    trap.step([&] {
        if (settings.events.WhenMsgViewMsg == 0 || !notify)
            return;
        const MainEvents& events = settings.events;
        viewer.ViewCallViewer(events.cAnimation != 0, events.AnimationFast, events.cCloseCallerView,
                              events.CloseCallerView);
        if (call.GotMessage) {
            viewer.DisableChoices();
            viewer.setStatus("New Message");
            viewer.setDetails(call.CallerName, call.CallerNumber, call.CallDate, call.CallTime);
            viewer.setMessagePath(m_messages.pathOf(call.MessageFile));
        }
    });
    trap.step([&] {
        if (settings.actions.pMailTo != 0 && mailWanted())
            DoActions("Mail");
    });
    trap.step([&] {
        if (settings.actions.pAppTo != 0 && appWanted())
            DoActions("App");
    });
}

void PostCallActions::DoActions(const QString& what)
{
    ErrorTrap trap("ErrDoActions ", [this](const QString& l) { logLine(l); });
    const MainActions& actions = m_context.settings.actions;
    const CurrentCall& call = m_context.state.call;
    if (what == QLatin1String("Mail") && mailWanted()) {
        logLine("Start Sending Mail");
        trap.step([&] {
            m_mail1.SendMail(actions.SMTPServer, actions.MailFrom, "Kalvo", actions.MailTo,
                             "New Call From " + call.CallerName + " - " + call.CallerNumber,
                             m_messages.pathOf(call.MessageFile));
        });
    } else if (what == QLatin1String("App") && actions.pAppTo != 0 && !m_appStarted) {
        m_appStarted = true;
        logLine("Send To APP");
        trap.step([&] { SendToApp(); });
    }
}

void PostCallActions::SendToApp()
{
    // The stored template keeps its placeholders; it is split into words before the caller's
    // details go in, so nothing a caller sends can become another word, option or command.
    const QStringList argv = EngineRules::ReplacePlaceholders(
        EngineRules::splitCommandLine(m_context.settings.actions.AppTo), m_context.state.call);
    int number = 0;
    QString error;
    if (EngineRules::startDetached(argv, &number, &error)) {
        m_context.tellSolved("program");
        return;
    }
    logLine("Error Send To APP ->" + QString::number(number) + " " + error);
    m_context.tellProblem("program", "The program for calls did not start: " + error);
}

int PostCallActions::percentOf(qint64 done, qint64 total)
{
    const qint64 scaled = done * 100;
    qint64 quotient = scaled / total;
    const qint64 twice = 2 * (scaled % total);
    if (twice > total || (twice == total && quotient % 2 != 0))
        ++quotient;
    return int(quotient);
}

void PostCallActions::Mail1SendProgress(int total, int done)
{
    try {
        if (total == 0)
            return;
        m_context.status("Send Mail : " + QString::number(percentOf(done, total)) + " %");
    } catch (...) {
    }
}

void PostCallActions::Mail1MailSent()
{
    try {
        m_context.status("Mail Was Sent");
        m_context.timeBase.wait(kAfterMailSentMs);
        m_monitor.PutStatusBarMonitoringModem();
        logLine("Mail was sent to " + m_context.settings.actions.MailTo);
        m_context.tellSolved("mail");
    } catch (...) {
    }
}

void PostCallActions::Mail1SendFailed(const QString& reason)
{
    try {
        logLine("Error Sending To Mail To : " + m_context.settings.actions.MailTo + " Becouse:" + reason);
        m_context.tellProblem("mail", "The mail to " + m_context.settings.actions.MailTo +
                                          " was not sent: " + reason);
    } catch (...) {
    }
}
