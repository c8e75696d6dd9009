// Remote access by touch tones: the password and "*" keyed during the greeting play the messages
// of the call list to the caller, one after another, then hang up.
#pragma once

#include "EngineState.h"
#include "RemoteLockout.h"

#include <QObject>

class CallFlow;
class MessageList;

class RemoteAccess : public QObject
{
    Q_OBJECT

public:
    RemoteAccess(EngineContext& context, CallFlow& flow, MessageList& list, QObject* parent);

    // The "MonitorDigit" log text of a key: digits and A-D as "x" (they may be a password), "*"
    // and "#" as they are.
    static QString maskedDigit(const QString& digit);

    // Plays the message of the selected row, or of the next row below it that has one; hangs up
    // when there is none.
    void PlayForAdmin();
    // A remote message has been played: the next one, or hang up after the last row.
    void continuePlayback();

public slots:
    void TapiMonitorDigit(int lineIndex, const QString& digit);

private:
    void logLine(const QString& line) const { m_context.sysLog(line); }
    void startRemoteAccess(int lineIndex);
    // A password try that is not let in: counts it, locks out at the limit across calls and hangs
    // up at the limit of the call. @return true when it hung up.
    bool refuse(int lineIndex, bool wrongPassword);

    EngineContext& m_context;
    CallFlow& m_flow;
    MessageList& m_list;
    RemoteLockout m_lockout;
};
