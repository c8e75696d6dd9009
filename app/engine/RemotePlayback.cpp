// Remote playback with spoken counts, tones and keys.
#include "RemotePlayback.h"

#include "CallFlow.h"
#include "ErrorTrap.h"
#include "LineControl.h"
#include "MessageStore.h"
#include "RemotePrompts.h"
#include "TimeBase.h"
#include "WaveControl.h"

#include <QTimer>

namespace {
// How long the delete question waits for its answer before the message is kept.
constexpr int kAnswerWaitMs = 6000;
} // namespace

RemotePlayback::RemotePlayback(EngineContext& context, CallFlow& flow, MessageStore& store,
                               RemotePrompts& prompts, QObject* parent)
    : QObject(parent), m_context(context), m_flow(flow), m_store(store), m_prompts(prompts),
      m_answerWait(new QTimer(this))
{
    m_answerWait->setSingleShot(true);
    m_context.timeBase.setInterval(*m_answerWait, kAnswerWaitMs);
    connect(m_answerWait, &QTimer::timeout, this, [this] {
        if (m_step == Step::Answer && stillIn())
            keep();
    });
}

bool RemotePlayback::stillIn() const
{
    try {
        return m_context.state.AdminMode && m_context.tapi.LineConnected(m_context.state.LineIndex);
    } catch (...) {
        return false;
    }
}

void RemotePlayback::start()
{
    ErrorTrap trap("ErrPlayForAdmin ", [this](const QString& l) { logLine(l); });
    const int session = ++m_session;
    m_current = 0;
    m_step = Step::Preparing;
    m_answerWait->stop();
    trap.step([&] {
        if (m_context.wave1.IsPlaying())
            m_context.wave1.StopPlay();
    });
    int unread = 0, read = 0;
    trap.step([&] {
        m_store.readAll(
            [&](qint64, const MessageStore::Texts& call) {
                if (call.type == "-1")
                    return;
                ++(call.read == "1" ? read : unread);
            },
            trap);
    });
    logLine("Remote Control Messages " + QString::number(unread) + " New " + QString::number(read) + " Old");
    m_prompts.speak({{"counts", RemotePrompts::countsText(unread, read)},
                     {"question", "To delete this message, press 3 again. To keep it, press 9."},
                     {"deleted", "Message deleted."},
                     {"goodbye", "No more messages. Goodbye."}},
                    [this, session] {
                        if (session == m_session)
                            spoken();
                    });
}

void RemotePlayback::spoken()
{
    if (m_step != Step::Preparing)
        return;
    if (!stillIn()) {
        m_step = Step::Idle;
        m_flow.DropCall();
        return;
    }
    if (!play(m_prompts.spokenPath("counts"), Step::Counts))
        next(0);
}

bool RemotePlayback::play(const QString& path, Step step)
{
    if (path.isEmpty())
        return false;
    WaveControl& wave = m_context.wave1;
    EngineState& state = m_context.state;
    bool started = false;
    ErrorTrap("ErrPlayForAdmin ", [this](const QString& l) { logLine(l); }).step([&] {
        if (wave.IsPlaying())
            wave.StopPlay();
        const int result = wave.PlayFile(path, m_context.tapi.LineGetWaveOutID(state.LineIndex));
        if (result != 0) {
            logLine("Error Playing Remote Control " + wave.PlayErrorText(result));
            return;
        }
        started = true;
    });
    if (!started)
        return false;
    m_step = step;
    state.RemotePlaying = true;
    return true;
}

void RemotePlayback::moveTo(qint64 id)
{
    m_current = id;
    if (id != 0)
        emit showing(id);
}

void RemotePlayback::next(qint64 from)
{
    qint64 id = 0;
    ErrorTrap("ErrPlayForAdmin ", [this](const QString& l) { logLine(l); }).step([&] {
        // The list follows through calls without a message too, as the window's remote access did.
        for (id = from == 0 ? m_store.newest() : m_store.olderThan(from); id != 0;
             id = m_store.olderThan(id)) {
            moveTo(id);
            if (!m_store.pathOf(id).isEmpty())
                break;
        }
    });
    if (id == 0) {
        goodbye();
        return;
    }
    if (!play(m_prompts.tonePath(), Step::Tone))
        PlayForAdmin();
}

void RemotePlayback::PlayForAdmin()
{
    ErrorTrap("ErrPlayForAdmin ", [this](const QString& l) { logLine(l); }).step([this] {
        if (m_current == 0) {
            next(0);
            return;
        }
        const QString path = m_store.pathOf(m_current);
        if (path.isEmpty()) {
            next(m_current);
            return;
        }
        WaveControl& wave = m_context.wave1;
        if (wave.IsPlaying())
            wave.StopPlay();
        const int result = wave.PlayFile(path, m_context.tapi.LineGetWaveOutID(m_context.state.LineIndex));
        if (result != 0) {
            logLine("Error Playing Remote Control " + wave.PlayErrorText(result));
            m_step = Step::Idle;
            m_flow.DropCall();
            return;
        }
        m_step = Step::Message;
        m_context.state.RemotePlaying = true;
    });
}

void RemotePlayback::goodbye()
{
    if (!play(m_prompts.spokenPath("goodbye"), Step::Goodbye)) {
        m_step = Step::Idle;
        if (stillIn())
            m_flow.DropCall();
    }
}

void RemotePlayback::donePlay()
{
    switch (m_step) {
    case Step::Counts:
        next(0);
        break;
    case Step::Tone:
        PlayForAdmin();
        break;
    case Step::Message:
        // Heard to its end: it is an old message now.
        ErrorTrap("ErrPlayForAdmin ", [this](const QString& l) { logLine(l); }).step([this] {
            m_store.setRead(m_current, true);
        });
        emit callsChanged();
        next(m_current);
        break;
    case Step::Asking:
        m_step = Step::Answer;
        m_answerWait->start();
        break;
    case Step::Deleted:
        next(m_current);
        break;
    case Step::Goodbye:
    case Step::Idle:
    case Step::Preparing:
    case Step::Answer:
        m_step = Step::Idle;
        m_flow.DropCall();
        break;
    }
}

void RemotePlayback::key(const QString& digit)
{
    const bool hearing = m_step == Step::Tone || m_step == Step::Message;
    const bool asked = m_step == Step::Asking || m_step == Step::Answer;
    if (m_step == Step::Counts && digit == QLatin1String("2")) {
        next(0);
    } else if (hearing && digit == QLatin1String("1")) {
        logLine("Remote Control Repeat");
        PlayForAdmin();
    } else if (hearing && digit == QLatin1String("2")) {
        logLine("Remote Control Next");
        next(m_current);
    } else if (hearing && digit == QLatin1String("3")) {
        m_answerWait->stop();
        // Without speech the tone asks the question.
        if (!play(m_prompts.spokenPath("question"), Step::Asking) &&
            !play(m_prompts.tonePath(), Step::Asking)) {
            m_step = Step::Answer;
            m_answerWait->start();
        }
    } else if (asked && digit == QLatin1String("3")) {
        m_answerWait->stop();
        remove();
    } else if ((hearing || asked) && digit == QLatin1String("9")) {
        m_answerWait->stop();
        keep();
    }
}

void RemotePlayback::keep()
{
    logLine("Remote Control Keep");
    ErrorTrap("ErrPlayForAdmin ", [this](const QString& l) { logLine(l); }).step([this] {
        m_store.setRead(m_current, true);
    });
    emit callsChanged();
    next(m_current);
}

void RemotePlayback::remove()
{
    bool removed = false;
    ErrorTrap trap("ErrPlayForAdmin ", [this](const QString& l) { logLine(l); });
    trap.step([this] {
        if (m_context.wave1.IsPlaying())
            m_context.wave1.StopPlay();
    });
    trap.step([&] { removed = m_store.remove(m_current); });
    logLine(removed ? "Remote Control Deleted" : "Remote Control Not Deleted");
    emit callsChanged();
    if (!play(m_prompts.spokenPath("deleted"), Step::Deleted))
        next(m_current);
}
