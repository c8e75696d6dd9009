// The watched line.
#include "LineMonitor.h"

#include "EngineRules.h"
#include "ErrorTrap.h"
#include "LineControl.h"
#include "Settings.h"
#include "SettingsWriter.h"

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

LineMonitor::LineMonitor(EngineContext& context, QObject* parent) : QObject(parent), m_context(context) {}

void LineMonitor::storeModem(int16_t index, const QString* name)
{
    SettingsWriter(m_context.settings).PutModem(index, name);
}

bool LineMonitor::SelectModemDevice()
{
    ErrorTrap trap("ErrSelectModemDevice ", [this](const QString& l) { m_context.sysLog(l); });
    EngineState& state = m_context.state;
    trap.step([&] {
        if (state.LineIndex != -1)
            return;
        QString name;
        state.LineIndex = EngineRules::FindVoiceLine(m_context.tapi, name);
        storeModem(static_cast<int16_t>(state.LineIndex), &name);
        m_context.sysLog("SelectDevice->LineIndex: " + QString::number(state.LineIndex) +
                         "  Device Name: " + name);
    });
    // The name decides: line indexes move when devices come and go.
    trap.step([&] {
        state.LineIndex = EngineRules::FindLineByName(m_context.tapi, m_context.settings.options.ModemName);
    });
    if (state.LineIndex == -1) {
        storeModem(-1, nullptr);
        emit userNotice("Select Modem Device From Options/Devices [Modem Device]");
        return false;
    }
    return true;
}

void LineMonitor::lineOperation(const char* label, int lineIndex,
                                const std::function<void(LineControl&)>& body)
{
    if (lineIndex < 0)
        return;
    ErrorTrap trap(QString::fromLatin1(label), [this](const QString& l) { m_context.sysLog(l); });
    WaitCursor hourglass;
    trap.step([&] { body(m_context.tapi); });
}

void LineMonitor::OpenLine(int lineIndex)
{
    lineOperation("ErrOpenLine ", lineIndex, [&](LineControl& tapi) {
        if (tapi.LineOpened(lineIndex))
            return;
        const int result =
            tapi.LineOpen(lineIndex, LineControl::kPrivilegeOwner, LineControl::kMediaAutomatedVoice);
        const QString name = deviceName(m_context.state.LineIndex);
        const QString where = "[LineIndex:" + QString::number(lineIndex) + " Device Name:" + name + "]->" +
                              tapi.GetTapiStrError(result);
        if (result != 0) {
            m_context.sysLog("Error LineOpen" + where);
            emit switchRestored(false);
            return;
        }
        m_context.sysLog("LineOpen" + where);
        m_context.state.LineIsOpen = true;
        emit lineSwitched(true);
        // A line still reaching its device (a slow modem) says later whether it is in service.
        if (tapi.LineOpening(lineIndex)) {
            m_context.status("Opening line...");
            return;
        }
        // A line that could not start before it was opened reports no change, so ask once.
        const QString reason = tapi.LineInService(lineIndex);
        if (reason.isEmpty())
            showMonitoring(lineIndex);
        else
            showOutOfService(lineIndex, reason);
    });
}

void LineMonitor::CloseLine(int lineIndex)
{
    lineOperation("ErrCloseLine ", lineIndex, [&](LineControl& tapi) {
        if (!tapi.LineOpened(lineIndex)) {
            // The click moved the button; it shows the line's real state again.
            emit switchRestored(m_context.state.LineIsOpen);
            return;
        }
        const int result = tapi.LineShutdown(lineIndex);
        m_context.sysLog("LineClose[LineIndex=" + QString::number(lineIndex) + "]->" +
                         tapi.GetTapiStrError(result));
        m_context.state.LineIsOpen = false;
        emit lineSwitched(false);
        setReach({});
        PutStatusBarUnMonitorModem();
    });
}

void LineMonitor::PutStatusBarMonitoringModem()
{
    showMonitoring(m_context.state.LineIndex);
}

void LineMonitor::showMonitoring(int lineIndex)
{
    QString reach;
    try {
        reach = m_context.tapi.LineReach(lineIndex);
    } catch (...) {
    }
    setReach(reach);
    const QString name = "Monitoring " + deviceName(lineIndex);
    m_context.status(reach.isEmpty() ? name : name + " - " + reach);
}

void LineMonitor::setReach(const QString& reach)
{
    if (reach == m_reach)
        return;
    m_reach = reach;
    emit reachChanged(reach);
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
    m_context.sysLog("LineInService[LineIndex:" + QString::number(lineIndex) + "]" +
                     (reason.isEmpty() ? QString() : "->" + reason));
    m_context.tellSolved("line");
    if (m_context.state.LineIsOpen && lineIndex == m_context.state.LineIndex) {
        PutStatusBarMonitoringModem();
        // A line that works but could not use a setting, or runs a risk, says so once.
        if (!reason.isEmpty())
            m_context.tellProblem("line notice: " + reason, reason);
    }
}

void LineMonitor::showOutOfService(int lineIndex, const QString& reason)
{
    m_context.sysLog("LineOutOfService[LineIndex:" + QString::number(lineIndex) + "]->" + reason);
    if (m_context.state.LineIsOpen && lineIndex == m_context.state.LineIndex) {
        setReach({});
        m_context.status("Out Of Service: " + reason);
        m_context.tellProblem("line", "Out Of Service: " + reason);
    }
}
