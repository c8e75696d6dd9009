// The running instance's door for a second start: a per-user local socket beside the single-instance
// lock. The second start knocks and ends; the running one shows its window.
#pragma once

#include <QObject>
#include <QString>

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

signals:
    void showRequested();

private:
    QLocalServer* m_server;
};
