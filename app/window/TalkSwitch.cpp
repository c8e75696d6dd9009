// The Pick Up / Hang Up command of the main window and the tray.
#include "TalkSwitch.h"

#include "DeskTalk.h"
#include "StatusPanels.h"
#include "TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

TalkSwitch::TalkSwitch(DeskTalk& talk, QWidget& window, QMenu& trayMenu, TrayIcon& tray, StatusPanels& status,
                       QObject* parent)
    : QObject(parent), m_talk(talk), m_tray(tray), m_status(status), m_action(new QAction(&window))
{
    m_action->setObjectName("mnuPickUp");
    m_action->setShortcut(key());
    // The key works wherever the focus is in the main window, menus closed.
    m_action->setShortcutContext(Qt::WindowShortcut);
    window.addAction(m_action);
    QAction* first = trayMenu.actions().isEmpty() ? nullptr : trayMenu.actions().first();
    trayMenu.insertAction(first, m_action);
    trayMenu.insertSeparator(first);
    connect(m_action, &QAction::triggered, this, &TalkSwitch::toggle);
    connect(&talk, &DeskTalk::changed, this, &TalkSwitch::refresh);
    connect(&talk, &DeskTalk::talkStatus, this, [this](const QString& text) { m_tray.setCallTip(text); });
    refresh();
}

void TalkSwitch::toggle()
{
    const bool talking = m_talk.talking();
    const QString why = talking ? m_talk.HangUp() : m_talk.PickUp();
    if (!why.isEmpty())
        m_status.setStatus((talking ? "Hang Up: " : "Pick Up: ") + why);
    refresh();
}

void TalkSwitch::refresh()
{
    const bool talking = m_talk.talking();
    const QString why = talking ? QString() : m_talk.cannotPickUp();
    m_action->setText(talking ? "Hang Up" : "Pick Up");
    m_action->setEnabled(why.isEmpty());
    m_action->setToolTip(why.isEmpty() ? (talking ? "End the conversation and hang up ("
                                                  : "Talk with the caller on the microphone and speakers (") +
                                             key().toString(QKeySequence::NativeText) + ")"
                                       : why);
}
