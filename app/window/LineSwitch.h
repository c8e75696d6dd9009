// The line's switch on the main window: the "OnOff" toolbar button and the menu items mnuOn and
// mnuOff. A click opens or closes the engine's line; the switch shows what the line did.
#pragma once

#include <QObject>

class AnsweringEngine;
class QAction;

class LineSwitch : public QObject
{
    Q_OBJECT

public:
    // The three actions are created here as children of parent, for the frame to place.
    LineSwitch(AnsweringEngine& engine, QObject* parent);

    QAction* onOffButton() const { return m_onOff; }
    QAction* mnuOn() const { return m_mnuOn; }
    QAction* mnuOff() const { return m_mnuOff; }

private:
    void showOn(bool on);

    AnsweringEngine& m_engine;
    QAction* m_onOff;
    QAction* m_mnuOn;
    QAction* m_mnuOff;
};
