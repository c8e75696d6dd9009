// Telling the user about failures.
#include "UserNotices.h"

#include "DesktopNotifications.h"
#include "TrayIcon.h"

#include <QSystemTrayIcon>

UserNotices::UserNotices(TrayIcon& tray, std::function<void(const QString&)> status, QObject* parent)
    : QObject(parent), m_tray(tray), m_status(std::move(status))
{
}

bool UserNotices::tell(const QString& cause, const QString& text)
{
    // Once per cause: the same failure at the next call (its details may differ) is not news.
    if (m_told.contains(cause))
        return false;
    m_told.insert(cause, text);
    m_status(text);
    if (m_desktop && m_desktop->available())
        m_desktop->show("problem-" + cause, "Kalvo", text, {}, DesktopNotifications::kServerDefault,
                        DesktopNotifications::Critical);
    else if (TrayIcon::available() && m_tray.isShown())
        m_tray.systemTrayIcon()->showMessage("Kalvo", text, QSystemTrayIcon::Warning);
    emit shown(cause, text);
    return true;
}

void UserNotices::solved(const QString& cause)
{
    m_told.remove(cause);
    if (m_desktop)
        m_desktop->close("problem-" + cause);
}
