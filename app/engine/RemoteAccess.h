// Remote access by touch tones: the password and "*" keyed during the greeting play the messages
// of the call list to the caller, one after another, then hang up.
#pragma once

#include "EngineState.h"

#include <QObject>

class CallFlow;
class CallList;

class RemoteAccess : public QObject
{
    Q_OBJECT

public:
    RemoteAccess(EngineContext& context, CallFlow& flow, CallList& list, QObject* parent);

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

    EngineContext& m_context;
    CallFlow& m_flow;
    CallList& m_list;
};
