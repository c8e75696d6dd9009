// The watched line: choosing the modem line, opening and closing it, and showing its state in the
// status bar, on the "OnOff" toolbar button and in the menu items mnuOn and mnuOff.
#pragma once

#include "EngineState.h"

#include <QObject>

class QAction;

class LineMonitor : public QObject
{
    Q_OBJECT

public:
    // The three actions are created here, parented to parent, for the form to place.
    LineMonitor(EngineContext& context, QObject* parent);

    QAction* onOffButton() const { return m_onOff; }
    QAction* mnuOn() const { return m_mnuOn; }
    QAction* mnuOff() const { return m_mnuOff; }

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

    // The first line able to answer as an automated voice application; -2 when there is none.
    static int FindVoiceLine(LineControl& tapi, QString& deviceName);
    // The first line with exactly this device name; -1 when there is none.
    static int FindLineByName(LineControl& tapi, const QString& deviceName);

public slots:
    // An asynchronous request of the line control completed.
    void TapiProcError(int lineIndex, int procNumber, int errorNumber);
    // The open line went out of service or came back; the line stays open either way.
    void TapiLineState(int lineIndex, bool inService, const QString& reason);

private:
    void showOutOfService(int lineIndex, const QString& reason);
    void showOn(bool on);
    void storeModem(int16_t index, const QString* name);

    EngineContext& m_context;
    QAction* m_onOff;
    QAction* m_mnuOn;
    QAction* m_mnuOff;
};
