// Call screening in the call flow: a screened caller is answered at once, without ring sound or
// caller window, hears the prompt and has a few seconds to press the key. One who does goes on as
// a normal call (and is remembered); anyone else is hung up on and kept only among the
// screened-out calls, never in the call list.
#pragma once

#include "EngineState.h"
#include "ScreenVerdict.h"
#include "ScreenedCallStore.h"

#include <QObject>

class CallFlow;
class CallerRules;
class QTimer;

class CallScreen : public QObject
{
    Q_OBJECT

public:
    CallScreen(EngineContext& context, CallFlow& flow, CallerRules& rules, QObject* parent);

    // The policy the settings give now.
    ScreenVerdict::Policy policy() const;
    // The prompt file the settings name: a greeting, or the spoken default in the program folder.
    static QString promptPath(const QString& programFolder, const QString& prompt, const QString& key);
    // The spoken default's words for a key.
    static QString defaultPromptText(const QString& key);

    // Screens the offered call: answers it now; nothing is announced unless the key comes.
    void start(int lineIndex, const QString& reason);
    // The line connected a screened call: the prompt plays, keys are listened for.
    void connected(int lineIndex);
    // Calls screened out today, as kept.
    int screenedOutToday();

signals:
    // A call was screened out (the window may show the day's count).
    void screenedOut(int today);

public slots:
    void digit(int lineIndex, const QString& digit);
    void disconnected(int lineIndex);
    void idle(int lineIndex);

private:
    void pass(int lineIndex);
    void screenOut(const QString& outcome);
    QString callerTag() const;

    EngineContext& m_context;
    CallFlow& m_flow;
    CallerRules& m_rules;
    QTimer* m_wait;
    kalvo::ScreenedCallStore m_store;
};
