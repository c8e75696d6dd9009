// The real Sayer speaking aloud on the default device of a private PulseAudio with a null sink,
// read back from the sink's monitor.
#include "LocalLink.h"
#include "TestSupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <memory>

using kalvo::LocalLink;

namespace {

constexpr int MonitorRate = 22050;

// Loudest sample (full scale = 1) of 16-bit mono little-endian audio from byte `from` on.
double peakFrom(const QByteArray& pcm, qsizetype from)
{
    double peak = 0;
    for (qsizetype i = from & ~qsizetype(1); i + 1 < pcm.size(); i += 2)
        peak = std::max(peak, std::abs(qFromLittleEndian<qint16>(pcm.constData() + i) / 32768.0));
    return peak;
}

} // namespace

class SayerAloudTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty() ||
            QStandardPaths::findExecutable("parec").isEmpty())
            QSKIP("pulseaudio and parec are needed");
        m_home = std::make_unique<kalvo::test::IsolatedHome>();
        m_heard.clear();
        startPulse();
        startMonitor();
    }

    void cleanup()
    {
        m_link.reset();
        for (auto* process : {m_sayer.get(), m_monitor.get(), m_pulse.get()}) {
            if (process && process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        m_sayer.reset();
        m_monitor.reset();
        m_pulse.reset();
        m_home.reset();
    }

    // "Say:" plays the speech on the default sound device.
    void speaksOnDefaultDevice()
    {
        startSayer();
        QVERIFY(m_link->Send("Say:Hello, this is a test of speaking aloud."));
        QTRY_VERIFY_WITH_TIMEOUT(peakFrom(readMonitor(), 0) > 0.2, 15000);
    }

    // "Stp:" silences a long text at once instead of letting it play out.
    void stopSilencesSpeech()
    {
        startSayer();
        QString text = "Say:";
        for (int i = 0; i < 20; ++i)
            text += "This sentence is one of many in a long greeting. ";
        QVERIFY(m_link->Send(text));
        QTRY_VERIFY_WITH_TIMEOUT(peakFrom(readMonitor(), 0) > 0.2, 15000);

        QVERIFY(m_link->Send("Stp:"));
        // Allow the sound server's latency, then expect a whole second of silence.
        QTest::qWait(500);
        const qsizetype afterStop = readMonitor().size();
        QTRY_VERIFY_WITH_TIMEOUT(readMonitor().size() >= afterStop + 2 * MonitorRate, 10000);
        const QByteArray& heard = readMonitor();
        QVERIFY2(peakFrom(heard, afterStop) < 0.01, qPrintable(QString::number(peakFrom(heard, afterStop))));
    }

private:
    void startPulse()
    {
        const QString dir = m_home->path() + "/pulse";
        QDir().mkpath(dir);
        m_server = "unix:" + dir + "/native";
        m_pulse = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir);
        env.insert("XDG_RUNTIME_DIR", dir);
        env.remove("PULSE_SERVER");
        m_pulse->setProcessEnvironment(env);
        m_pulse->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_pulse->start(
            "pulseaudio",
            {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes", "--use-pid-file=no",
             "--system=no", "-L", "module-null-sink sink_name=kalvo_test_sink", "-L",
             "module-native-protocol-unix socket=" + dir + "/native auth-anonymous=1", "--log-level=error"});
        QVERIFY(m_pulse->waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + "/native"), 10000);
    }

    void startMonitor()
    {
        m_monitor = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", m_server);
        m_monitor->setProcessEnvironment(env);
        m_monitor->start("parec",
                         {"--raw", "--format=s16le", "--channels=1", "--rate=" + QString::number(MonitorRate),
                          "--latency-msec=20", "-d", "kalvo_test_sink.monitor"});
        QVERIFY(m_monitor->waitForStarted(5000));
        // The monitor is running once silence starts to arrive.
        QTRY_VERIFY_WITH_TIMEOUT(!readMonitor().isEmpty(), 10000);
    }

    void startSayer()
    {
        m_sayer = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", m_server);
        env.insert("LC_ALL", "C");
        m_sayer->setProcessEnvironment(env);
        m_sayer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_sayer->start(kalvo::test::binaryPath("Sayer"), {"-gc"});
        QVERIFY(m_sayer->waitForStarted(5000));
        m_link = std::make_unique<LocalLink>(nullptr, std::chrono::milliseconds(10000));
        QVERIFY(m_link->Connect(7));
    }

    // Everything the monitor heard so far.
    const QByteArray& readMonitor()
    {
        m_heard += m_monitor->readAllStandardOutput();
        return m_heard;
    }

    std::unique_ptr<kalvo::test::IsolatedHome> m_home;
    std::unique_ptr<QProcess> m_pulse;
    std::unique_ptr<QProcess> m_monitor;
    std::unique_ptr<QProcess> m_sayer;
    std::unique_ptr<LocalLink> m_link;
    QString m_server;
    QByteArray m_heard;
};

QTEST_GUILESS_MAIN(SayerAloudTest)
#include "SayerAloudTest.moc"
