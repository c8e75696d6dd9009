// The watched line: choosing the modem line, opening and closing it, and showing its state in the
// status bar; the window's line switch follows its signals.
#pragma once

#include "EngineState.h"

#include <QObject>
#include <functional>

class LineMonitor : public QObject
{
    Q_OBJECT

public:
    LineMonitor(EngineContext& context, QObject* parent);

    // Chooses LineIndex by the "ModemName" setting (the first voice line when none was chosen yet).
    bool SelectModemDevice();
    // Opens the line when it is not open yet.
    void OpenLine(int lineIndex);
    // Shuts the line down when it is open.
    void CloseLine(int lineIndex);
    void PutStatusBarMonitoringModem();
    void PutStatusBarUnMonitorModem();
    // The device name of a line; empty when it cannot be read.
    QString deviceName(int lineIndex) const;
    // How a caller reaches the watched line while it is open ("" otherwise).
    QString reach() const { return m_reach; }

signals:
    // The line was opened (on) or closed: the switch shows it.
    void lineSwitched(bool on);
    // A switch click that changed nothing: the switch goes back to down (open) or up.
    void switchRestored(bool down);
    // A text the user must read now (no line chosen).
    void userNotice(const QString& text);
    // How a caller reaches the watched line changed (empty: closed or out of service).
    void reachChanged(const QString& reach);

public slots:
    // An asynchronous request of the line control completed.
    void TapiProcError(int lineIndex, int procNumber, int errorNumber);
    // The open line went out of service or came back; the line stays open either way.
    void TapiLineState(int lineIndex, bool inService, const QString& reason);

private:
    // Runs a line operation under its error label with the hourglass shown; no line, nothing to do.
    void lineOperation(const char* label, int lineIndex, const std::function<void(LineControl&)>& body);
    void showOutOfService(int lineIndex, const QString& reason);
    void storeModem(int16_t index, const QString* name);
    // "Monitoring " and the line's name, followed by how to reach it when the line says.
    void showMonitoring(int lineIndex);
    void setReach(const QString& reach);

    EngineContext& m_context;
    QString m_reach;
};
