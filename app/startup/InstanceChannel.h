// The running instance's door for a second start: a per-user local socket beside the single-instance
// lock. The second start knocks and ends; the running one shows its window. A command from the
// command line (kalvo --pick-up) goes the same way and gets the running one's answer back.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

class InstanceChannel : public QObject
{
    Q_OBJECT

public:
    // Listens on the socket; call only while holding the single-instance lock.
    explicit InstanceChannel(QObject* parent = nullptr);

    bool listening() const;
    static QString socketPath();
    // From a second start: asks the running instance to show its window. False when nobody answered.
    static bool askToShow(int timeoutMs = 2000);

    // What a command does in the running instance: empty when done, else why not.
    using Command = std::function<QString()>;
    // Binds the commands a second start may send by name ("pick-up").
    void setCommands(QHash<QByteArray, Command> commands) { m_commands = std::move(commands); }
    // From a second start: runs a command in the running instance. @return false when nobody
    // answered; else reply holds the instance's answer (empty when done, else why not).
    static bool sendCommand(const QByteArray& name, QString& reply, int timeoutMs = 5000);

signals:
    void showRequested();

private:
    // One line from a client: "show", or a command answered with "ok" or "error: " + why.
    QByteArray answer(const QByteArray& line);

    QLocalServer* m_server;
    QHash<QByteArray, Command> m_commands;
};
