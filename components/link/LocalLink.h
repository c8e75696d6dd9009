// The link over a local socket: the program's side, which connects to a helper's LinkServer.
#pragma once

#include "Link.h"

#include <QPointer>
#include <chrono>

namespace kalvo {

class LinkConnection;

class LocalLink : public Link
{
    Q_OBJECT

public:
    // `connectWait` bounds how long Connect waits for a helper that has not yet opened its socket.
    explicit LocalLink(QObject* parent = nullptr,
                       std::chrono::milliseconds connectWait = std::chrono::milliseconds(2000));
    ~LocalLink() override;

    bool Connect(int number) override;
    bool Send(const QString& text) override;
    void Disconnect() override;

    // True while connected to a helper.
    bool isConnected() const;

private:
    std::chrono::milliseconds m_connectWait;
    QPointer<LinkConnection> m_connection;
    int m_number = -1;
};

} // namespace kalvo
