// Talking at the desk: the owner picks up a call while it rings, while its greeting plays or while
// its message is recorded, and talks on the sound card until either side hangs up.
#pragma once

#include "EngineState.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <memory>

class CallFlow;
class QTimer;

namespace kalvo::sound {
class TalkBridge;
}
namespace kalvo::wave {
class WaveDevice;
}

class DeskTalk : public QObject
{
    Q_OBJECT

public:
    // The speaker and microphone of a conversation, or why there are none.
    using CardDevices = std::function<QString(std::shared_ptr<kalvo::wave::WaveDevice>& speaker,
                                              std::shared_ptr<kalvo::wave::WaveDevice>& microphone)>;

    DeskTalk(EngineContext& context, CallFlow& flow, QObject* parent);
    ~DeskTalk() override;

    // Where the conversation's sound-card devices come from (the sound card of "Sound" and the
    // default microphone unless set), and the quick check of the same without opening anything.
    void setCardDevices(CardDevices devices, std::function<QString()> unavailable);

    // Why "Pick Up" does nothing now (no call, a refused or remote-access call, a line without
    // full-duplex voice, no sound card or microphone); empty when it works.
    QString cannotPickUp() const;
    // Why the line or the card can never carry a conversation, whether or not a call is there: the
    // reason a window shows as the tooltip of its disabled "Pick Up"; empty when it can.
    QString cannotTalk() const;
    bool talking() const { return m_context.state.Talking; }
    // The caller as the status bar names them, and the conversation's running time ("m:ss").
    QString callerText() const;
    QString talkTime() const;

    // Takes the call: a ringing one is answered first (no greeting); a greeting or beep stops; a
    // message being recorded is kept as the call's message (shorter than a second: not kept).
    // @return empty, or why nothing was done.
    QString PickUp();
    // Ends the conversation and hangs up. @return empty, or why nothing was done.
    QString HangUp();

    // From the call flow: the line connected for a pick-up. @return true when the conversation took
    // the call (no greeting then).
    bool lineConnected();
    // The caller hung up or the call is gone.
    void callEnded();
    // Something the talk choice depends on changed (a call came, connected or went): once the
    // event is handled, the viewer's choice and changed() follow.
    void scheduleChanged();

signals:
    // The conversation started or ended.
    void talkingChanged(bool talking);
    // Every second while it lasts: "Talking with <name> m:ss"; empty when it ends.
    void talkStatus(const QString& text);
    // What cannotPickUp() or talking() say may have changed.
    void changed();

private:
    QString startConversation();
    void keepMessageSoFar();
    void stopBridge();
    void tick();
    void announceChange();
    void logLine(const QString& line) const { m_context.sysLog(line); }

    EngineContext& m_context;
    CallFlow& m_flow;
    CardDevices m_cardDevices;
    std::function<QString()> m_cardUnavailable;
    std::unique_ptr<kalvo::sound::TalkBridge> m_bridge;
    QTimer* m_ticker;
    QElapsedTimer m_since;
    bool m_changeQueued = false;
};
