// Keeps the computer awake while a call is handled: logind's "sleep" inhibitor lock, taken over the
// system bus. Where there is no system bus or no logind, nothing happens.
#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>

class SleepInhibitor : public QObject
{
    Q_OBJECT

public:
    explicit SleepInhibitor(QObject* parent = nullptr);
    ~SleepInhibitor() override;

    // Asks for the lock (once; later calls while held or asked for do nothing). Never blocks: the
    // reply is taken when it arrives.
    void acquire();
    // Gives the lock back (closes its descriptor); a reply still on its way is dropped on arrival.
    void release();
    // True while logind's lock descriptor is held.
    bool isHeld() const { return m_lock.isValid(); }
    // True from acquire() until release().
    bool isWanted() const { return m_wanted; }

signals:
    // The lock arrived (held) or was refused or unavailable (not held).
    void settled(bool held);

private:
    QDBusUnixFileDescriptor m_lock;
    bool m_wanted = false;
    bool m_pending = false;
};
