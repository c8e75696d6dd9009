// The helper's side of a link: listens on the socket of a link number and talks to the programs
// that connect.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QLocalServer;

namespace kalvo {

class LinkConnection;

class LinkServer : public QObject
{
    Q_OBJECT

public:
    explicit LinkServer(QObject* parent = nullptr);
    ~LinkServer() override;

    // Starts listening on link `number`, replacing a socket file left by a helper that died.
    // @return false with errorString() set when the socket cannot be created.
    bool listen(int number);

    // Why listen() failed.
    QString errorString() const { return m_error; }

    // Sends `text` as one message to the connection the latest message came from.
    // @return false when that connection is gone.
    bool reply(const QString& text);

    // Number of programs connected now.
    int connectionCount() const { return static_cast<int>(m_connections.size()); }

signals:
    // One message from a connected program.
    void DataArrival(const QString& text);
    // A program connected.
    void connected();
    // The last connected program went away.
    void allDisconnected();

private:
    void acceptConnections();
    void dropConnection(LinkConnection* connection);

    QLocalServer* m_server;
    QList<LinkConnection*> m_connections;
    QPointer<LinkConnection> m_lastSender;
    QString m_path;
    QString m_error;
};

} // namespace kalvo
