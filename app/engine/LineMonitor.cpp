// The watched line.
#include "LineMonitor.h"

#include "ErrorTrap.h"
#include "LineControl.h"
#include "MessageBox.h"
#include "Settings.h"
#include "mdlReg.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>

namespace {
// Hourglass while a line operation runs, back to normal on every way out.
class WaitCursor
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
} // namespace

LineMonitor::LineMonitor(EngineContext& context, QObject* parent)
    : QObject(parent), m_context(context), m_onOff(new QAction("Off", parent)),
      m_mnuOn(new QAction("On", parent)), m_mnuOff(new QAction("Off", parent))
{
    m_onOff->setObjectName("OnOff");
    m_onOff->setCheckable(true);
    m_onOff->setProperty("image", 1);
    m_mnuOn->setObjectName("mnuOn");
    m_mnuOn->setCheckable(true);
    m_mnuOff->setObjectName("mnuOff");
    m_mnuOff->setCheckable(true);
    m_mnuOff->setChecked(true);
    // A click leaves the button down (open the line) or up (close it).
    connect(m_onOff, &QAction::triggered, this, [this](bool down) {
        if (down)
            OpenLine(m_context.state.LineIndex);
        else
            CloseLine(m_context.state.LineIndex);
    });
    connect(m_mnuOn, &QAction::triggered, this, [this] {
        m_mnuOn->setChecked(m_context.state.LineIsOpen);
        OpenLine(m_context.state.LineIndex);
    });
    connect(m_mnuOff, &QAction::triggered, this, [this] {
        m_mnuOff->setChecked(!m_context.state.LineIsOpen);
        CloseLine(m_context.state.LineIndex);
    });
}

void LineMonitor::showOn(bool on)
{
    m_onOff->setChecked(on);
    m_onOff->setProperty("image", on ? 2 : 1);
    m_onOff->setText(on ? "On" : "Off");
    m_mnuOn->setChecked(on);
    m_mnuOff->setChecked(!on);
}

void LineMonitor::storeModem(int16_t index, const QString* name)
{
    m_context.settings.options.Modem = index;
    m_context.settings.engine.LineIndex = index;
    mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "Modem", 1, QString::number(index));
    if (name) {
        m_context.settings.options.ModemName = *name;
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "ModemName", 1, *name);
    }
}

bool LineMonitor::SelectModemDevice()
{
    ErrorTrap trap("ErrSelectModemDevice ", [this](const QString& l) { m_context.sysLog(l); });
    EngineState& state = m_context.state;
    trap.step([&] {
        if (state.LineIndex != -1)
            return;
        QString name;
        state.LineIndex = FindVoiceLine(m_context.tapi, name);
        storeModem(static_cast<int16_t>(state.LineIndex), &name);
        m_context.sysLog("SelectDevice->LineIndex: " + QString::number(state.LineIndex) +
                         "  Device Name: " + name);
    });
    // The name decides: line indexes move when devices come and go.
    trap.step(
        [&] { state.LineIndex = FindLineByName(m_context.tapi, m_context.settings.options.ModemName); });
    if (state.LineIndex == -1) {
        storeModem(-1, nullptr);
        MessageBox::show("Select Modem Device From Options/Devices [Modem Device]", MessageBox::Information);
        return false;
    }
    return true;
}

void LineMonitor::OpenLine(int lineIndex)
{
    if (lineIndex < 0)
        return;
    ErrorTrap trap("ErrOpenLine ", [this](const QString& l) { m_context.sysLog(l); });
    WaitCursor hourglass;
    trap.step([&] {
        LineControl& tapi = m_context.tapi;
        if (tapi.LineOpened(lineIndex))
            return;
        const int result =
            tapi.LineOpen(lineIndex, LineControl::kPrivilegeOwner, LineControl::kMediaAutomatedVoice);
        const QString name = deviceName(m_context.state.LineIndex);
        const QString where = "[LineIndex:" + QString::number(lineIndex) + " Device Name:" + name + "]->" +
                              tapi.GetTapiStrError(result);
        if (result != 0) {
            m_context.sysLog("Error LineOpen" + where);
            m_onOff->setChecked(false);
            m_onOff->setProperty("image", 1);
            return;
        }
        m_context.sysLog("LineOpen" + where);
        m_context.state.LineIsOpen = true;
        showOn(true);
        // A line that could not start before it was opened reports no change, so ask once.
        const QString reason = tapi.LineInService(lineIndex);
        if (reason.isEmpty())
            m_context.status("Monitoring " + name);
        else
            showOutOfService(lineIndex, reason);
    });
}

void LineMonitor::CloseLine(int lineIndex)
{
    if (lineIndex < 0)
        return;
    ErrorTrap trap("ErrCloseLine ", [this](const QString& l) { m_context.sysLog(l); });
    WaitCursor hourglass;
    trap.step([&] {
        LineControl& tapi = m_context.tapi;
        if (!tapi.LineOpened(lineIndex)) {
            // The click moved the button; it shows the line's real state again.
            m_onOff->setChecked(m_context.state.LineIsOpen);
            return;
        }
        const int result = tapi.LineShutdown(lineIndex);
        m_context.sysLog("LineClose[LineIndex=" + QString::number(lineIndex) + "]->" +
                         tapi.GetTapiStrError(result));
        m_context.state.LineIsOpen = false;
        showOn(false);
        PutStatusBarUnMonitorModem();
    });
}

void LineMonitor::PutStatusBarMonitoringModem()
{
    m_context.status("Monitoring " + deviceName(m_context.state.LineIndex));
}

void LineMonitor::PutStatusBarUnMonitorModem()
{
    m_context.status("Off Mode");
}

QString LineMonitor::deviceName(int lineIndex) const
{
    LineDevDetails details;
    try {
        m_context.tapi.LineGetDevDetails(lineIndex, details);
    } catch (...) {
        return {};
    }
    return details.DeviceName;
}

int LineMonitor::FindVoiceLine(LineControl& tapi, QString& deviceName)
{
    const int lines = tapi.NumOfLines();
    for (int i = 0; i < lines; ++i) {
        LineDevDetails details;
        tapi.LineGetDevDetails(i, details);
        if (details.TapiCapability && details.MediaAutomatedvoice) {
            deviceName = details.DeviceName;
            return i;
        }
    }
    return -2;
}

int LineMonitor::FindLineByName(LineControl& tapi, const QString& deviceName)
{
    const int lines = tapi.NumOfLines();
    for (int i = 0; i < lines; ++i) {
        LineDevDetails details;
        tapi.LineGetDevDetails(i, details);
        if (details.DeviceName == deviceName)
            return i;
    }
    return -1;
}

void LineMonitor::TapiProcError(int lineIndex, int procNumber, int errorNumber)
{
    const QString tag = "Proc[LineIndex:" + QString::number(lineIndex) + "]->" + QString::number(procNumber);
    m_context.sysLog(tag + " " + QString::number(errorNumber));
    if (errorNumber == 0)
        m_context.sysLog(tag + " Success.");
    else
        m_context.sysLog(tag + " " + m_context.tapi.GetTapiStrError(errorNumber));
}

void LineMonitor::TapiLineState(int lineIndex, bool inService, const QString& reason)
{
    if (!inService) {
        showOutOfService(lineIndex, reason);
        return;
    }
    m_context.sysLog("LineInService[LineIndex:" + QString::number(lineIndex) + "]");
    if (m_context.state.LineIsOpen && lineIndex == m_context.state.LineIndex)
        PutStatusBarMonitoringModem();
}

void LineMonitor::showOutOfService(int lineIndex, const QString& reason)
{
    m_context.sysLog("LineOutOfService[LineIndex:" + QString::number(lineIndex) + "]->" + reason);
    if (m_context.state.LineIsOpen && lineIndex == m_context.state.LineIndex)
        m_context.status("Out Of Service: " + reason);
}
