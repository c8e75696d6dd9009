// Remote access once the caller is let in: the counts spoken, then the messages newest first with a
// short tone before each, and the caller's keys while they play (1 again, 2 next, 3 delete after a
// second 3, 9 keep). A message heard to its end, or kept, is marked read. It keeps its place in the
// calls by id, so calls deleted or added at the desk meanwhile do not move it.
#pragma once

#include "EngineState.h"

#include <QObject>

class CallFlow;
class MessageStore;
class QTimer;
class RemotePrompts;

class RemotePlayback : public QObject
{
    Q_OBJECT

public:
    // Where the caller is: waiting for the speech, hearing the counts, the tone, a message, the
    // delete question (and then its answer), the deletion said, the goodbye.
    enum class Step { Idle, Preparing, Counts, Tone, Message, Asking, Answer, Deleted, Goodbye };

    RemotePlayback(EngineContext& context, CallFlow& flow, MessageStore& store, RemotePrompts& prompts,
                   QObject* parent);

    // The caller is let in: says the counts, then plays the messages.
    void start();
    // Plays the message of the current call, or of the next older call that has one; hangs up when
    // there is none.
    void PlayForAdmin();
    // A remote sound has played down the line.
    void donePlay();
    // A key the caller pressed while in.
    void key(const QString& digit);

    qint64 currentCall() const { return m_current; }
    Step step() const { return m_step; }

signals:
    // Remote access has come to this call (the window shows where it is).
    void showing(qint64 id);
    // A call was marked read or deleted (the window's list is made again).
    void callsChanged();

private:
    void logLine(const QString& line) const { m_context.sysLog(line); }
    bool stillIn() const;
    void spoken();
    // Plays a prompt or tone as step; false when there is none to play.
    bool play(const QString& path, Step step);
    // The tone, then the message of the next older call with one (the newest when from is 0);
    // the goodbye after the last.
    void next(qint64 from);
    void goodbye();
    void keep();
    void remove();
    void moveTo(qint64 id);

    EngineContext& m_context;
    CallFlow& m_flow;
    MessageStore& m_store;
    RemotePrompts& m_prompts;
    QTimer* m_answerWait;
    Step m_step = Step::Idle;
    qint64 m_current = 0;
    int m_session = 0;
};
