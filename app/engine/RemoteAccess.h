// Remote access by touch tones: the password and "*" keyed during the greeting let the caller in to
// the stored messages (RemotePlayback); a refused try gets a tone and the greeting again.
#pragma once

#include "EngineState.h"
#include "RemoteLockout.h"

#include <QObject>

class CallFlow;
class MessageStore;
class RemotePlayback;
class RemotePrompts;

class RemoteAccess : public QObject
{
    Q_OBJECT

public:
    RemoteAccess(EngineContext& context, CallFlow& flow, MessageStore& store, QObject* parent);

    // The "MonitorDigit" log text of a key: digits and A-D as "x" (they may be a password), "*"
    // and "#" as they are.
    static QString maskedDigit(const QString& digit);

    RemotePlayback& playback() { return *m_playback; }
    RemotePrompts& prompts() { return *m_prompts; }

signals:
    // Remote access has come to this call (the window shows where it is).
    void showing(qint64 id);
    // A call was marked read or deleted by the caller.
    void callsChanged();

public slots:
    void TapiMonitorDigit(int lineIndex, const QString& digit);

private:
    void logLine(const QString& line) const { m_context.sysLog(line); }
    void startRemoteAccess(int lineIndex);
    // A password try that is not let in: counts it, locks out at the limit across calls and hangs
    // up at the limit of the call. @return true when it hung up.
    bool refuse(int lineIndex, bool wrongPassword);
    // The refused caller hears the error tone; the greeting then starts again.
    void playErrorTone();

    EngineContext& m_context;
    CallFlow& m_flow;
    MessageStore& m_store;
    RemoteLockout m_lockout;
    RemotePrompts* m_prompts;
    RemotePlayback* m_playback;
};
