// org.freedesktop.Notifications over Qt D-Bus: GetCapabilities, Notify with replaces_id,
// CloseNotification, and the ActionInvoked and NotificationClosed signals.
#include "DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QVariantMap>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage methodCall(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}
} // namespace

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    m_bus.connect(kService, kPath, kInterface, "ActionInvoked", this, SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, "NotificationClosed", this,
                  SLOT(onNotificationClosed(uint, uint)));
    // A service that starts (or restarts) after us is asked again; one that goes takes its
    // notifications with it.
    auto* watcher = new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                m_entries.clear();
                m_available = false;
                if (!newOwner.isEmpty())
                    probe();
            });
    probe();
}

void DesktopNotifications::probe()
{
    if (!m_bus.isConnected()) {
        emit ready(false);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(methodCall("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        m_available = reply.isValid();
        m_capabilities = m_available ? reply.value() : QStringList();
        emit ready(m_available);
    });
}

void DesktopNotifications::show(const QString& key, const QString& summary, const QString& body,
                                const QStringList& actions, int timeoutMs, Urgency urgency)
{
    showContent(key, {summary, body, actions, timeoutMs, urgency, false});
}

void DesktopNotifications::showUntilDismissed(const QString& key, const QString& summary, const QString& body,
                                              const QStringList& actions)
{
    const bool keeps = hasPersistence();
    showContent(key, {summary, body, actions, kUntilClosed, keeps ? Normal : Critical, keeps});
}

void DesktopNotifications::showContent(const QString& key, Content content)
{
    if (!m_available)
        return;
    Entry& entry = m_entries[key];
    entry.closeWanted = false;
    if (!hasActions())
        content.actions.clear();
    if (entry.pending)
        entry.next = content;
    else
        send(key, entry, content);
}

void DesktopNotifications::send(const QString& key, Entry& entry, const Content& content)
{
    QDBusMessage call = methodCall("Notify");
    QVariantMap hints{{"urgency", QVariant::fromValue(uchar(content.urgency))},
                      {"desktop-entry", QStringLiteral("kalvo")}};
    if (content.resident)
        hints.insert("resident", true);
    const QString body = hasBodyMarkup() ? content.body.toHtmlEscaped() : content.body;
    call << QStringLiteral("Kalvo") << entry.id << QStringLiteral("kalvo") << content.summary << body
         << content.actions << hints << content.timeoutMs;
    entry.pending = true;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        auto it = m_entries.find(key);
        if (it == m_entries.end()) {
            // Closed meanwhile (or the service went): one that did appear is taken off again.
            if (reply.isValid())
                sendClose(reply.value());
            return;
        }
        Entry& sent = *it;
        sent.pending = false;
        if (!reply.isValid()) {
            m_entries.erase(it);
            emit closed(key);
            return;
        }
        sent.id = reply.value();
        if (sent.closeWanted) {
            sendClose(sent.id);
            m_entries.erase(it);
            emit closed(key);
        } else if (sent.next) {
            const Content next = *sent.next;
            sent.next.reset();
            send(key, sent, next);
        }
    });
}

void DesktopNotifications::close(const QString& key)
{
    auto it = m_entries.find(key);
    if (it == m_entries.end())
        return;
    if (it->pending) {
        it->closeWanted = true;
        it->next.reset();
        return;
    }
    sendClose(it->id);
    m_entries.erase(it);
    emit closed(key);
}

void DesktopNotifications::sendClose(uint id)
{
    QDBusMessage call = methodCall("CloseNotification");
    call << id;
    m_bus.asyncCall(call);
}

QString DesktopNotifications::keyOf(uint id) const
{
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        if (it->id == id && id != 0)
            return it.key();
    return {};
}

void DesktopNotifications::onActionInvoked(uint id, const QString& action)
{
    // Other programs' notifications are announced to every listener too.
    const QString key = keyOf(id);
    if (!key.isEmpty())
        emit actionInvoked(key, action);
}

void DesktopNotifications::onNotificationClosed(uint id, uint)
{
    const QString key = keyOf(id);
    if (key.isEmpty() || m_entries.value(key).pending)
        return;
    m_entries.remove(key);
    emit closed(key);
}
