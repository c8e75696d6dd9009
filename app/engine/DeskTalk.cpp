// Picking up at the desk and hanging up again.
#include "DeskTalk.h"

#include "CallFlow.h"
#include "CallerViewer.h"
#include "ErrorTrap.h"
#include "LineControl.h"
#include "MessageStore.h"
#include "Settings.h"
#include "SoundCardBackend.h"
#include "TalkBridge.h"
#include "WaveControl.h"
#include "WaveDeviceTable.h"
#include "mdlLog.h"

#include <QFile>
#include <QTimer>

using kalvo::wave::WaveDevice;
using kalvo::wave::WaveDeviceTable;
using kalvo::wave::WaveDirection;

namespace {
// A message shorter than this before the pick-up is only the caller's first breath: not kept.
constexpr double kShortestMessageSeconds = 1.0;
} // namespace

DeskTalk::DeskTalk(EngineContext& context, CallFlow& flow, QObject* parent)
    : QObject(parent), m_context(context), m_flow(flow), m_ticker(new QTimer(this))
{
    m_ticker->setInterval(1000);
    connect(m_ticker, &QTimer::timeout, this, &DeskTalk::tick);
    m_cardDevices = [this](std::shared_ptr<WaveDevice>& speaker, std::shared_ptr<WaveDevice>& microphone) {
        return kalvo::wave::SoundCardBackend::talkDevices(m_context.settings.options.Sound, speaker,
                                                          microphone);
    };
    m_cardUnavailable = [this] {
        return kalvo::wave::SoundCardBackend::talkUnavailable(m_context.settings.options.Sound);
    };
}

DeskTalk::~DeskTalk()
{
    stopBridge();
}

void DeskTalk::setCardDevices(CardDevices devices, std::function<QString()> unavailable)
{
    m_cardDevices = std::move(devices);
    m_cardUnavailable = std::move(unavailable);
}

QString DeskTalk::cannotTalk() const
{
    QString why;
    try {
        if (m_context.state.LineIndex >= 0)
            why = m_context.tapi.LineCannotTalk(m_context.state.LineIndex);
    } catch (...) {
        why = QStringLiteral("The line cannot be asked");
    }
    if (why.isEmpty() && m_cardUnavailable)
        why = m_cardUnavailable();
    return why;
}

QString DeskTalk::cannotPickUp() const
{
    const EngineState& state = m_context.state;
    if (state.Talking || state.PickUpPending)
        return QStringLiteral("The call is already picked up");
    if (!state.InCall || state.Blocked)
        return QStringLiteral("No call to pick up");
    if (state.AdminMode)
        return QStringLiteral("The caller is listening to the messages");
    return cannotTalk();
}

QString DeskTalk::callerText() const
{
    const CurrentCall& call = m_context.state.call;
    if (call.caller.name && !call.caller.name->trimmed().isEmpty())
        return call.CallerName;
    return call.caller.noNumber() ? call.CallerName : call.CallerNumber;
}

QString DeskTalk::talkTime() const
{
    const qint64 seconds = m_context.state.Talking ? m_since.elapsed() / 1000 : 0;
    return QString::number(seconds / 60) + ":" + QString::number(seconds % 60).rightJustified(2, '0');
}

QString DeskTalk::PickUp()
{
    if (QString why = cannotPickUp(); !why.isEmpty())
        return why;
    EngineState& state = m_context.state;
    const CurrentCall& call = state.call;
    logLine("Pick Up" + m_context.lineTag());
    m_context.log.WriteCallsLog("Pick Up [" + call.CallerName + ":" + call.CallerNumber + "]");
    bool connected = false;
    ErrorTrap trap("ErrPickUp ", [this](const QString& l) { logLine(l); });
    trap.step([&] { connected = m_context.tapi.LineConnected(state.LineIndex); });
    if (!connected) {
        // A ringing call is answered; the conversation starts when the line is connected.
        state.PickUpPending = true;
        m_flow.AnswerToCall(state.LineIndex, 0, true);
        return {};
    }
    return startConversation();
}

bool DeskTalk::lineConnected()
{
    if (!m_context.state.PickUpPending)
        return false;
    m_context.state.PickUpPending = false;
    if (const QString why = startConversation(); !why.isEmpty()) {
        // No conversation after all: the caller hears the greeting and may leave a message.
        m_context.tellProblem("talk", "Pick Up: " + why);
        return false;
    }
    return true;
}

QString DeskTalk::startConversation()
{
    EngineState& state = m_context.state;
    LineControl& tapi = m_context.tapi;
    ErrorTrap trap("ErrPickUp ", [this](const QString& l) { logLine(l); });
    // The sound card first: without it nothing of the call changes.
    std::shared_ptr<WaveDevice> speaker, microphone;
    if (QString why = m_cardDevices(speaker, microphone); !why.isEmpty()) {
        logLine("Pick Up" + m_context.lineTag() + "->" + why);
        m_context.tellProblem("talk", "Pick Up: " + why);
        return why;
    }
    // From here on it is a conversation: a greeting that ends or a recording's wait that runs out
    // meanwhile goes no further.
    state.Talking = true;
    trap.step([&] {
        if (m_context.wave1.IsPlaying())
            m_context.wave1.StopPlay();
        if (state.GreetingPlaying || state.BeepPlaying)
            tapi.LineMonitorDigits(state.LineIndex, false);
        state.GreetingPlaying = false;
        state.BeepPlaying = false;
    });
    trap.step([&] {
        if (m_context.wave1.IsRecording())
            keepMessageSoFar();
    });
    auto& table = WaveDeviceTable::instance();
    kalvo::sound::TalkBridge::Devices devices;
    trap.step([&] {
        devices.lineIn =
            table.find(WaveDirection::In, uint32_t(tapi.lineGetID(state.LineIndex, LineControl::kWaveIn)));
        devices.lineOut = table.find(WaveDirection::Out, uint32_t(tapi.LineGetWaveOutID(state.LineIndex)));
    });
    logLine("Talk Started" + m_context.lineTag() + "->speaker " +
            QString::fromStdString(speaker->info().name) + ", microphone " +
            QString::fromStdString(microphone->info().name));
    devices.speaker = std::move(speaker);
    devices.microphone = std::move(microphone);
    m_bridge = std::make_unique<kalvo::sound::TalkBridge>(std::move(devices));
    QString failed;
    if (const int result = m_bridge->start(&failed); result != 0) {
        m_bridge.reset();
        const QString why =
            "The " + failed + " cannot be opened (" + m_context.wave1.PlayErrorText(result) + ")";
        logLine("Pick Up" + m_context.lineTag() + "->" + why);
        m_context.tellProblem("talk", "Pick Up: " + why);
        // The call is the owner's now, but nobody can hear anyone: hang up rather than leave the
        // caller in silence.
        state.Talking = false;
        m_flow.DropCall();
        return why;
    }
    m_context.tellSolved("talk");
    m_since.start();
    m_ticker->start();
    tick();
    if (m_context.viewer.isLoaded())
        m_context.viewer.setStatus("Talking");
    emit talkingChanged(true);
    scheduleChanged();
    return {};
}

void DeskTalk::keepMessageSoFar()
{
    // The message up to the pick-up is the call's; the limits stop with it.
    m_flow.StopRecMessage();
    CurrentCall& call = m_context.state.call;
    const QString path = MessageStore::messagePath(m_context.messagesFolder(), call.MessageFile);
    double length = 0;
    try {
        length = WaveFileLength(m_context.wave1, path);
    } catch (...) {
        return;
    }
    if (length >= kShortestMessageSeconds)
        return;
    QFile::remove(path);
    call.GotMessage = false;
    call.MessageFile.clear();
}

QString DeskTalk::HangUp()
{
    EngineState& state = m_context.state;
    if (!state.Talking && !state.PickUpPending)
        return QStringLiteral("No conversation to hang up");
    const CurrentCall& call = state.call;
    logLine("Hang Up" + m_context.lineTag());
    m_context.log.WriteCallsLog("Hang Up [" + call.CallerName + ":" + call.CallerNumber + "]");
    state.PickUpPending = false;
    stopBridge();
    m_flow.DropCall();
    return {};
}

void DeskTalk::callEnded()
{
    m_context.state.PickUpPending = false;
    stopBridge();
    scheduleChanged();
}

void DeskTalk::scheduleChanged()
{
    if (m_changeQueued)
        return;
    m_changeQueued = true;
    QMetaObject::invokeMethod(this, &DeskTalk::announceChange, Qt::QueuedConnection);
}

void DeskTalk::announceChange()
{
    m_changeQueued = false;
    const EngineState& state = m_context.state;
    // A window still showing an ended call offers nothing to pick up.
    try {
        if (m_context.viewer.isLoaded())
            m_context.viewer.setTalkChoice(state.Talking, state.Talking ? QString() : cannotPickUp());
    } catch (...) {
    }
    emit changed();
}

void DeskTalk::stopBridge()
{
    m_ticker->stop();
    if (m_bridge) {
        m_bridge->stop();
        // What went each way, for a conversation that sounded wrong.
        const kalvo::sound::TalkBridge::Stats s = m_bridge->stats();
        logLine("Talk Ended" + m_context.lineTag() + "->caller " + QString::number(s.fromCaller) +
                " frames, microphone " + QString::number(s.fromMicrophone) + " frames, speaker silent " +
                QString::number(s.speakerUnderruns) + ", line silent " + QString::number(s.lineUnderruns) +
                ", dropped " + QString::number(s.dropped));
    }
    m_bridge.reset();
    if (!m_context.state.Talking)
        return;
    m_context.state.Talking = false;
    emit talkStatus({});
    emit talkingChanged(false);
    scheduleChanged();
}

void DeskTalk::tick()
{
    const QString text = "Talking with " + callerText() + " " + talkTime();
    m_context.status(text);
    emit talkStatus(text);
}
