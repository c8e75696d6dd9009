// A client of the desktop's notification service (org.freedesktop.Notifications on the session
// bus). Each notification is kept under a key of the caller's choosing; showing a key again
// replaces its notification on the screen instead of adding another. Without a bus or a service
// nothing is shown and available() stays false; nothing here ever blocks.
#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <optional>

class DesktopNotifications : public QObject
{
    Q_OBJECT

public:
    // How long a notification stays: the service's own choice, or until it is closed.
    static constexpr int kServerDefault = -1;
    static constexpr int kUntilClosed = 0;
    enum Urgency { Low = 0, Normal = 1, Critical = 2 };

    // Asks the service on bus for its capabilities at once (see probe()).
    explicit DesktopNotifications(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                  QObject* parent = nullptr);

    // Asks the service for its capabilities again; ready() tells the answer. A service that starts
    // later is found by itself.
    void probe();
    // A service answered; false before its answer, without a bus or a service.
    bool available() const { return m_available; }
    // The service shows buttons for actions.
    bool hasActions() const { return m_capabilities.contains(QLatin1String("actions")); }
    // The service reads markup in the body (which must then be escaped).
    bool hasBodyMarkup() const { return m_capabilities.contains(QLatin1String("body-markup")); }
    // The service keeps notifications until the user acknowledges them.
    bool hasPersistence() const { return m_capabilities.contains(QLatin1String("persistence")); }

    // Shows the notification kept under key, or replaces it when it is shown already. actions are
    // pairs of identifier and label; they are left out where the service offers no actions.
    // summary and body are plain text. timeoutMs is in milliseconds, or one of the two above.
    void show(const QString& key, const QString& summary, const QString& body,
              const QStringList& actions = {}, int timeoutMs = kServerDefault, Urgency urgency = Normal);
    // The same for news that must wait for the user: never expiring, resident where the service
    // keeps notifications, critical where it does not (services let only those stay).
    void showUntilDismissed(const QString& key, const QString& summary, const QString& body,
                            const QStringList& actions = {});
    // Takes the notification under key off the screen.
    void close(const QString& key);
    // A notification is on the screen (or on its way) under key.
    bool isShown(const QString& key) const { return m_entries.contains(key); }

signals:
    // The service answered the probe (available) or did not (not available).
    void ready(bool available);
    // The user chose an action of the notification under key.
    void actionInvoked(const QString& key, const QString& action);
    // The notification under key left the screen (expired, dismissed, chosen or closed by us).
    void closed(const QString& key);

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

private:
    struct Content
    {
        QString summary, body;
        QStringList actions;
        int timeoutMs = kServerDefault;
        Urgency urgency = Normal;
        bool resident = false;
    };
    // id is the service's number once it answered; while a Notify is on its way, a later show waits
    // in next (only the newest counts) and a close in closeWanted.
    struct Entry
    {
        uint id = 0;
        bool pending = false;
        std::optional<Content> next;
        bool closeWanted = false;
    };
    void showContent(const QString& key, Content content);
    void send(const QString& key, Entry& entry, const Content& content);
    void sendClose(uint id);
    QString keyOf(uint id) const;

    QDBusConnection m_bus;
    bool m_available = false;
    QStringList m_capabilities;
    QHash<QString, Entry> m_entries;
};
