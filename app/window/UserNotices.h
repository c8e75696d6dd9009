// Failures the user must act on, told where the user looks: the status bar and a desktop
// notification, or where the desktop has no notification service, a tray message. Each cause is told once,
// not at every call, until it is solved; the log keeps its own lines.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

class DesktopNotifications;
class TrayIcon;

class UserNotices : public QObject
{
    Q_OBJECT

public:
    // status writes the first status-bar panel.
    UserNotices(TrayIcon& tray, std::function<void(const QString&)> status, QObject* parent);

    // The notification service failures go to while it answers.
    void setDesktop(DesktopNotifications* notifications) { m_desktop = notifications; }
    // Tells text for cause unless that cause was told already. @return true when told.
    bool tell(const QString& cause, const QString& text);
    // The cause is over: the next failure of it is told again.
    void solved(const QString& cause);
    // What is being told now, by cause.
    const QHash<QString, QString>& told() const { return m_told; }

signals:
    // A failure was just told to the user.
    void shown(const QString& cause, const QString& text);

private:
    TrayIcon& m_tray;
    DesktopNotifications* m_desktop = nullptr;
    std::function<void(const QString&)> m_status;
    QHash<QString, QString> m_told;
};
