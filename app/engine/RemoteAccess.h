// Remote access by touch tones: the password and "*" keyed during the greeting play the stored
// messages to the caller, newest first, one after another, then hang up. It keeps its own place in
// the calls by id, so calls deleted or added at the desk meanwhile do not move it.
#pragma once

#include "EngineState.h"
#include "RemoteLockout.h"

#include <QObject>

class CallFlow;
class MessageStore;

class RemoteAccess : public QObject
{
    Q_OBJECT

public:
    RemoteAccess(EngineContext& context, CallFlow& flow, MessageStore& store, QObject* parent);

    // The "MonitorDigit" log text of a key: digits and A-D as "x" (they may be a password), "*"
    // and "#" as they are.
    static QString maskedDigit(const QString& digit);

    // Plays the message of the current call, or of the next older call that has one; hangs up
    // when there is none.
    void PlayForAdmin();
    // A remote message has been played: the next one, or hang up after the last row.
    void continuePlayback();

    // The call remote access is at; 0 before it starts.
    qint64 currentCall() const { return m_current; }

signals:
    // Remote access has come to this call (the window shows where it is).
    void showing(qint64 id);

public slots:
    void TapiMonitorDigit(int lineIndex, const QString& digit);

private:
    void logLine(const QString& line) const { m_context.sysLog(line); }
    void startRemoteAccess(int lineIndex);
    // A password try that is not let in: counts it, locks out at the limit across calls and hangs
    // up at the limit of the call. @return true when it hung up.
    bool refuse(int lineIndex, bool wrongPassword);
    void moveTo(qint64 id);

    EngineContext& m_context;
    CallFlow& m_flow;
    MessageStore& m_store;
    RemoteLockout m_lockout;
    qint64 m_current = 0;
};
