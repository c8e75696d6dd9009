// The sleep lock over a private system bus with a stand-in logind (dbus-daemon and python3-dbus;
// logind itself cannot run in a test): taken when a call is offered, given back when the line is
// idle, and a call that ends before the answer arrives holds nothing.
#include "AnsweringEngine.h"
#include "EngineRig.h"
#include "SimLine.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using kalvo::test::EngineRig;

class SleepInhibitorTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString address = "unix:path=" + m_dir.path() + "/system_bus";
        m_bus.start("/usr/bin/dbus-daemon",
                    {"--session", "--nofork", "--print-address", "--address=" + address});
        QVERIFY(m_bus.waitForReadyRead(10000));
        // Read before any part of Qt opens the system bus: the address is taken once per process.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toLocal8Bit());
        m_logind.start("/usr/bin/python3",
                       {kalvo::test::sourcePath("tests/actions/fake_logind.py"), address});
        QVERIFY(waitForLine("READY"));
    }

    void cleanupTestCase()
    {
        m_logind.closeWriteChannel();
        if (!m_logind.waitForFinished(5000))
            m_logind.kill();
        m_bus.terminate();
        if (!m_bus.waitForFinished(5000))
            m_bus.kill();
    }

    // Held from the offered call to the idle line, asked for with "sleep" and "block".
    void heldWhileTheCallLasts()
    {
        EngineRig rig(std::map<QString, QString>{{"NumOfRing", "5"}});
        rig.start();
        SleepInhibitor& lock = rig.form().engine().sleepInhibitor();
        rig.sim().offerCall("555", "Eve");
        QVERIFY(waitForLine("INHIBIT sleep Kalvo block"));
        QTRY_VERIFY(lock.isHeld());
        QVERIFY(!m_seen.contains("RELEASED"));
        rig.sim().hangUp(true);
        QVERIFY(waitForLine("RELEASED"));
        QVERIFY(!lock.isHeld());
    }

    // A lock that arrives after the call ended is given back at once.
    void lateAnswerIsDropped()
    {
        SleepInhibitor lock;
        QSignalSpy settled(&lock, &SleepInhibitor::settled);
        lock.acquire();
        lock.release();
        QVERIFY(settled.wait(10000));
        QCOMPARE(settled.first().first().toBool(), false);
        QVERIFY(waitForLine("RELEASED"));
    }

private:
    // Waits for a line from the stand-in logind; lines read meanwhile are kept in m_seen.
    bool waitForLine(const QString& line)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000) {
            while (m_logind.canReadLine()) {
                const QString got = QString::fromUtf8(m_logind.readLine()).trimmed();
                m_seen << got;
                if (got == line)
                    return true;
            }
            QTest::qWait(20);
        }
        qWarning() << "no" << line << "from logind:" << m_seen << m_logind.readAllStandardError();
        return false;
    }

    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_logind;
    QStringList m_seen;
};

QTEST_MAIN(SleepInhibitorTest)
#include "SleepInhibitorTest.moc"
