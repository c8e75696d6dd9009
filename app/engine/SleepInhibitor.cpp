// logind Inhibit("sleep", ..., "block") over Qt D-Bus.
#include "SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

SleepInhibitor::SleepInhibitor(QObject* parent) : QObject(parent) {}

SleepInhibitor::~SleepInhibitor() = default;

void SleepInhibitor::acquire()
{
    if (m_wanted)
        return;
    m_wanted = true;
    if (m_pending || m_lock.isValid())
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        emit settled(false);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                       "org.freedesktop.login1.Manager", "Inhibit");
    call << QStringLiteral("sleep") << QStringLiteral("Kalvo") << QStringLiteral("A call is being answered")
         << QStringLiteral("block");
    m_pending = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        m_pending = false;
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        // A call that ended before logind answered needs no lock any more; dropping the reply's
        // descriptor gives it back.
        if (reply.isValid() && m_wanted)
            m_lock = reply.value();
        emit settled(m_lock.isValid());
    });
}

void SleepInhibitor::release()
{
    m_wanted = false;
    m_lock = QDBusUnixFileDescriptor();
}
