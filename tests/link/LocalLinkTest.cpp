// Both ends of the link over a real local socket: whole messages, replies, reconnects and bad peers.
#include "LocalLink.h"
#include "LinkPath.h"
#include "LinkServer.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace std::chrono_literals;
using kalvo::LinkServer;
using kalvo::LocalLink;

class LocalLinkTest : public kalvo::test::IsolatedHomeTest
{
    Q_OBJECT

private slots:
    // The socket of a link number lives in the private runtime folder.
    void socketPathIsInRuntimeFolder()
    {
        QCOMPARE(kalvo::linkSocketPath(7), m_home->runtimeDir() + "/kalvo-link-7");
    }

    // Texts with CR LF, empty texts and long texts arrive as the same messages, in order, both ways.
    void textsArriveWholeBothWays()
    {
        LinkServer server;
        QVERIFY2(server.listen(7), qPrintable(server.errorString()));
        QSignalSpy received(&server, &LinkServer::DataArrival);

        LocalLink link;
        QSignalSpy replies(&link, &LocalLink::DataArrival);
        QVERIFY(link.Connect(7));
        const QStringList texts = {"SFS:/tmp/a b.wav",
                                   "STW:Hello.\r\nPlease leave a message.\r\n",
                                   "Stp:",
                                   "",
                                   QString(300000, QChar(0x00e9)),
                                   "\r\n\r\n"};
        for (const QString& text : texts)
            QVERIFY(link.Send(text));
        QTRY_COMPARE(received.size(), texts.size());
        for (int i = 0; i < texts.size(); ++i)
            QCOMPARE(received.at(i).at(0).toString(), texts.at(i));

        QVERIFY(server.reply("GVCS:English\r\nGerman\r\n"));
        QVERIFY(replies.wait(5000));
        QCOMPARE(replies.at(0).at(0).toString(), QString("GVCS:English\r\nGerman\r\n"));
    }

    // Connecting again to the same number keeps the one connection; Disconnect ends it on the
    // helper's side, and a later Connect brings the link back.
    void reconnectAfterDisconnect()
    {
        LinkServer server;
        QVERIFY(server.listen(7));
        QSignalSpy connected(&server, &LinkServer::connected);
        QSignalSpy gone(&server, &LinkServer::allDisconnected);
        QSignalSpy received(&server, &LinkServer::DataArrival);

        LocalLink link;
        QVERIFY(link.Connect(7));
        QVERIFY(link.Connect(7));
        QVERIFY(link.Send("GVC:"));
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(connected.size(), 1);

        link.Disconnect();
        QVERIFY(!link.Send("lost"));
        QTRY_COMPARE(gone.size(), 1);
        QCOMPARE(server.connectionCount(), 0);

        // The last message before a disconnect still arrives.
        QVERIFY(link.Connect(7));
        QVERIFY(link.Send("ULD:"));
        link.Disconnect();
        QTRY_COMPARE(received.size(), 2);
        QCOMPARE(received.at(1).at(0).toString(), QString("ULD:"));
        QTRY_COMPARE(gone.size(), 2);
    }

    // With nobody listening, Connect gives up after its wait and sends are skipped.
    void connectWithoutHelperFails()
    {
        LocalLink link(nullptr, 200ms);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!link.Connect(7));
        QVERIFY(clock.elapsed() >= 150);
        QVERIFY(!link.isConnected());
        QVERIFY(!link.Send("GVC:"));
        link.Disconnect();
    }

    // A helper that opens its socket while Connect is waiting is reached.
    void connectWaitsForStartingHelper()
    {
        QThread helper;
        LinkServer* server = nullptr;
        QObject::connect(&helper, &QThread::started, [&server] {
            QThread::msleep(300);
            server = new LinkServer;
            server->listen(9);
        });
        QObject::connect(&helper, &QThread::finished, [&server] { delete server; });
        helper.start();

        LocalLink link;
        QVERIFY(link.Connect(9));
        link.Disconnect();
        helper.quit();
        QVERIFY(helper.wait(5000));
    }

    // A socket file left by a helper that died does not stop the next helper from listening.
    void staleSocketFileIsReplaced()
    {
        QFile stale(kalvo::linkSocketPath(7));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();

        LinkServer server;
        QVERIFY2(server.listen(7), qPrintable(server.errorString()));
        LocalLink link;
        QVERIFY(link.Connect(7));
    }

    // A peer announcing a huge message is cut off; other programs keep being served.
    void hostilePeerIsDropped()
    {
        LinkServer server;
        QVERIFY(server.listen(7));
        QSignalSpy received(&server, &LinkServer::DataArrival);

        QLocalSocket rogue;
        rogue.connectToServer(kalvo::linkSocketPath(7));
        QVERIFY(rogue.waitForConnected(2000));
        rogue.write(QByteArray("\x7f\xff\xff\xff", 4) + QByteArray(1000, 'z'));
        rogue.flush();
        QTRY_COMPARE(rogue.state(), QLocalSocket::UnconnectedState);

        LocalLink link;
        QVERIFY(link.Connect(7));
        QVERIFY(link.Send("GVC:"));
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.at(0).at(0).toString(), QString("GVC:"));
    }
};

QTEST_GUILESS_MAIN(LocalLinkTest)
#include "LocalLinkTest.moc"
