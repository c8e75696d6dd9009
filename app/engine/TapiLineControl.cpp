// The loaded line control behind the engine's LineControl.
#include "TapiLineControl.h"

#include "TapiControl.h"

TapiLineControl::TapiLineControl(std::unique_ptr<kalvo::TapiControl> control, QObject* parent)
    : LineControl(parent), m_control(std::move(control))
{
    kalvo::TapiControl* c = m_control.get();
    connect(c, &kalvo::TapiControl::ProcError, this, &LineControl::ProcError);
    connect(c, &kalvo::TapiControl::InComeCall, this, &LineControl::InComeCall);
    connect(c, &kalvo::TapiControl::MonitorDigit, this, &LineControl::MonitorDigit);
    connect(c, &kalvo::TapiControl::Idle, this, &LineControl::Idle);
    connect(c, &kalvo::TapiControl::Disconnected, this, &LineControl::Disconnected);
    connect(c, &kalvo::TapiControl::Connected, this, &LineControl::Connected);
    connect(c, &kalvo::TapiControl::Ring, this, &LineControl::Ring);
    connect(c, &kalvo::TapiControl::CallerID, this, &LineControl::CallerID);
    connect(c, &kalvo::TapiControl::LineState, this, &LineControl::LineState);
}

TapiLineControl::~TapiLineControl() = default;

std::unique_ptr<TapiLineControl> TapiLineControl::load(QString* error)
{
    kalvo::TapiControl::ensureRegistered();
    std::unique_ptr<kalvo::TapiControl> control = kalvo::TapiControl::create(error);
    if (!control)
        return nullptr;
    return std::make_unique<TapiLineControl>(std::move(control));
}

int TapiLineControl::LineInitialize()
{
    return m_control->LineInitialize();
}

int TapiLineControl::NumOfLines()
{
    return m_control->NumOfLines();
}

void TapiLineControl::LineGetDevDetails(int lineIndex, LineDevDetails& details)
{
    korvan::LineDevCap caps;
    m_control->LineGetDevDetails(lineIndex, caps);
    details.DeviceName = QString::fromStdString(caps.DeviceName);
    details.TapiCapability = caps.TapiCapability != korvan::VFalse;
    details.MediaAutomatedvoice = caps.MediaAutomatedvoice != korvan::VFalse;
}

bool TapiLineControl::LineOpened(int lineIndex)
{
    return m_control->LineOpened(lineIndex);
}

bool TapiLineControl::LineConnected(int lineIndex)
{
    return m_control->LineConnected(lineIndex);
}

QString TapiLineControl::LineInService(int lineIndex)
{
    return m_control->LineInService(lineIndex);
}

QString TapiLineControl::LineCannotTalk(int lineIndex)
{
    return m_control->LineCannotTalk(lineIndex);
}

QString TapiLineControl::LineReach(int lineIndex)
{
    return m_control->LineReach(lineIndex);
}

bool TapiLineControl::LineOpening(int lineIndex)
{
    return m_control->LineOpening(lineIndex);
}

int TapiLineControl::LineOpen(int lineIndex, int callPrivilege, int mediaMode)
{
    return m_control->LineOpen(lineIndex, callPrivilege, mediaMode);
}

int TapiLineControl::LineShutdown(int lineIndex)
{
    return m_control->LineShutdown(lineIndex);
}

int TapiLineControl::LineAnswer(int lineIndex)
{
    return m_control->LineAnswer(lineIndex);
}

int TapiLineControl::LineAccept(int lineIndex)
{
    return m_control->LineAccept(lineIndex);
}

int TapiLineControl::LineCallerIDFlags(int lineIndex)
{
    return m_control->LineCallerIDFlags(lineIndex);
}

int TapiLineControl::LineDrop(int lineIndex)
{
    return m_control->LineDrop(lineIndex);
}

int TapiLineControl::LineMonitorDigits(int lineIndex, bool on)
{
    return m_control->LineMonitorDigits(lineIndex, on);
}

int TapiLineControl::LineGetWaveOutID(int lineIndex)
{
    return m_control->LineGetWaveOutID(lineIndex);
}

int TapiLineControl::lineGetID(int lineIndex, int deviceClass)
{
    return m_control->lineGetID(lineIndex, deviceClass);
}

QString TapiLineControl::GetTapiStrError(int number)
{
    return m_control->GetTapiStrError(number);
}

int TapiLineControl::LineDialogLineConfig(int lineIndex)
{
    return m_control->LineDialogLineConfig(QString::number(lineIndex));
}
