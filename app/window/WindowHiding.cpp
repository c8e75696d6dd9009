// Hiding the main window to the tray.
#include "WindowHiding.h"

#include "ErrorTrap.h"
#include "TrayIcon.h"
#include "WindowView.h"

#include <QMainWindow>
#include <QSystemTrayIcon>

WindowHiding::WindowHiding(QMainWindow& window, TrayIcon& tray, Settings& settings,
                           std::function<void(const QString&)> log)
    : m_window(window), m_tray(tray), m_settings(settings), m_log(std::move(log))
{
}

void WindowHiding::minimiseInstead(const QString& why)
{
    if (!m_noTrayLogged)
        m_log(why);
    m_noTrayLogged = true;
    m_window.showMinimized();
}

void WindowHiding::startInTray()
{
    if (TrayIcon::available()) {
        m_hidden = true;
        return;
    }
    m_noTrayLogged = false;
    minimiseInstead("No notification area on this desktop: Kalvo starts minimised instead of hidden");
}

void WindowHiding::hideToTray()
{
    if (!TrayIcon::available()) {
        // Hiding without a tray icon would leave no way back to the window.
        minimiseInstead("No notification area on this desktop: the window is minimised instead of hidden");
        return;
    }
    saveView();
    m_hidden = true;
    m_window.hide();
    // A window that goes away could look like a program that ended; the first time, say it did not.
    if (!m_hideTold) {
        m_hideTold = true;
        m_tray.systemTrayIcon()->showMessage(
            "Kalvo", "Kalvo keeps answering calls. Click its icon here to open the window again.",
            QSystemTrayIcon::Information, 8000);
    }
}

void WindowHiding::restore(int totalCalls, int unreadCalls)
{
    ErrorTrap("ErrForm_MouseMove ", m_log).step([&] {
        m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
        m_window.showNormal();
        m_window.raise();
        m_window.activateWindow();
        m_hidden = false;
        m_tray.stopBlink();
        m_tray.MakeSysTryBaloon(totalCalls, unreadCalls);
    });
}

void WindowHiding::saveView()
{
    ErrorTrap("ErrSetView ", m_log).step([&] { WindowView::SetView(m_window, m_hidden, m_settings); });
}
