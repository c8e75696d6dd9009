// Telling the user about failures.
#include "UserNotices.h"

#include "TrayIcon.h"

#include <QSystemTrayIcon>

UserNotices::UserNotices(TrayIcon& tray, std::function<void(const QString&)> status, QObject* parent)
    : QObject(parent), m_tray(tray), m_status(std::move(status))
{
}

bool UserNotices::tell(const QString& cause, const QString& text)
{
    const auto known = m_told.constFind(cause);
    if (known != m_told.constEnd() && known.value() == text)
        return false;
    m_told.insert(cause, text);
    m_status(text);
    if (TrayIcon::available() && m_tray.isShown())
        m_tray.systemTrayIcon()->showMessage("Kalvo", text, QSystemTrayIcon::Warning);
    return true;
}

void UserNotices::solved(const QString& cause)
{
    m_told.remove(cause);
}
