// Logged-in browsers: a session cookie and its CSRF token, ended after 12 hours without use.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>

class Clock;

class WebSessions
{
public:
    static constexpr qint64 kIdleSeconds = 12 * 3600;
    static constexpr int kMostSessions = 200;

    explicit WebSessions(const Clock& clock) : m_clock(clock) {}

    struct Session
    {
        QByteArray token, csrf;
    };
    // A new session; the oldest goes when there are too many.
    Session open();
    // The CSRF token of a live session (its idle time starts again); empty when there is none.
    QByteArray touch(const QByteArray& token);
    // True when csrf is the session's token (compared in constant time).
    static bool sameToken(const QByteArray& a, const QByteArray& b);
    void close(const QByteArray& token) { m_sessions.remove(token); }
    int count() const { return int(m_sessions.size()); }

private:
    struct Entry
    {
        QByteArray csrf;
        QDateTime lastUsed;
    };
    const Clock& m_clock;
    QHash<QByteArray, Entry> m_sessions;
};
