// Failures the user must act on, told where the user looks: the status bar and, where the desktop
// has a notification area, a tray message. Each cause is told once, not at every call, until it is
// solved; the log keeps its own lines.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

class TrayIcon;

class UserNotices : public QObject
{
    Q_OBJECT

public:
    // status writes the first status-bar panel.
    UserNotices(TrayIcon& tray, std::function<void(const QString&)> status, QObject* parent);

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
    std::function<void(const QString&)> m_status;
    QHash<QString, QString> m_told;
};
