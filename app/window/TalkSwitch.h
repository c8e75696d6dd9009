// The window's way to talk at the desk: one command "Pick Up" / "Hang Up" (object name mnuPickUp),
// on a key of the main window and in the tray menu, enabled with the reason as its tooltip, and
// the conversation's running time in the tray icon's tip.
#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>

class DeskTalk;
class QAction;
class QMenu;
class QWidget;
class StatusPanels;
class TrayIcon;

class TalkSwitch : public QObject
{
    Q_OBJECT

public:
    // The key that picks up and hangs up in the main window.
    static QKeySequence key() { return QKeySequence(Qt::Key_F8); }

    // window takes the key, trayMenu the item; the status bar says what a refused command could
    // not do.
    TalkSwitch(DeskTalk& talk, QWidget& window, QMenu& trayMenu, TrayIcon& tray, StatusPanels& status,
               QObject* parent);

    QAction* action() const { return m_action; }
    // Picks up, or hangs up while talking; a refusal goes to the status bar.
    void toggle();
    // Caption, enabled state and tooltip from the conversation's state.
    void refresh();

private:
    DeskTalk& m_talk;
    TrayIcon& m_tray;
    StatusPanels& m_status;
    QAction* m_action;
};
