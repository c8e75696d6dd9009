// A real notification service for tests: dunst on a private X server, on a private session bus that
// starts no services by itself. dunst's menu hook lets a test choose an action as a user would, and
// its script hook records every notification it shows.
#pragma once

#include "TestSupport.h"

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace kalvo::test {

class NotificationServer
{
public:
    struct Shown
    {
        uint id = 0;
        QString summary, body;
        QString urgency; // "LOW", "NORMAL" or "CRITICAL"
        int timeoutMs = -1;
    };

    // Starts the bus and the X server and points DBUS_SESSION_BUS_ADDRESS at the bus while the
    // object lives; the service itself waits for start().
    NotificationServer();
    ~NotificationServer();
    NotificationServer(const NotificationServer&) = delete;
    NotificationServer& operator=(const NotificationServer&) = delete;

    // The bus and the X server run. @return what is wrong, or an empty text.
    QString problem() const { return m_problem; }
    QString busAddress() const { return m_busAddress; }
    QString display() const { return m_display; }

    // Starts dunst and waits until it serves. @return false when it does not.
    bool start();
    void stop();
    // Chooses the action labelled label of a notification on the screen through dunst's context
    // menu, as a click on its button would. @return false when dunst could not be asked.
    bool choose(const QString& label);
    // Every notification shown or replaced, oldest first.
    QList<Shown> shown() const;
    // How many notifications are on the screen.
    int displayed() const;
    // dunst's output.
    QString log() const;

private:
    QString dunstctl(const QStringList& arguments, bool* ok = nullptr) const;

    QTemporaryDir m_dir;
    QString m_problem, m_busAddress, m_display;
    QProcess m_bus, m_x, m_dunst;
    std::unique_ptr<ScopedEnv> m_busEnv;
};

} // namespace kalvo::test
