// The real Sayer over the real link: voices, speech written to a wave file, rate, quitting, and
// speaking aloud without a sound server.
#include "LocalLink.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <sndfile.h>

#include <cmath>
#include <memory>
#include <vector>

using kalvo::LocalLink;

namespace {

// What a wave file holds, as a reader other than ours sees it.
struct WaveSummary
{
    bool readable = false;
    int sampleRate = 0;
    int channels = 0;
    double seconds = 0;
    double rms = 0;  // of the whole file, full scale = 1
    double peak = 0; // full scale = 1
};

WaveSummary summarise(const QString& path)
{
    WaveSummary summary;
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return summary;
    std::vector<double> samples(static_cast<size_t>(info.frames * info.channels));
    const sf_count_t read = sf_read_double(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    summary.readable = read == static_cast<sf_count_t>(samples.size());
    summary.sampleRate = info.samplerate;
    summary.channels = info.channels;
    summary.seconds = info.samplerate > 0 ? double(info.frames) / info.samplerate : 0;
    double sum = 0;
    for (double s : samples) {
        sum += s * s;
        summary.peak = std::max(summary.peak, std::abs(s));
    }
    summary.rms = samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
    return summary;
}

} // namespace

class SayerTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<kalvo::test::IsolatedHome>();
        // No sound server for these tests: speaking aloud must fail without hanging the helper.
        m_noSound = std::make_unique<kalvo::test::ScopedEnv>(
            "PULSE_SERVER", QFile::encodeName("unix:" + m_home->path() + "/no-pulse-here"));
    }

    void cleanup()
    {
        m_link.reset();
        if (m_sayer && m_sayer->state() != QProcess::NotRunning) {
            m_sayer->kill();
            m_sayer->waitForFinished(5000);
        }
        m_sayer.reset();
        m_noSound.reset();
        m_home.reset();
    }

    // The helper answers "GVC:" with its voice names separated by CR LF, English among them.
    void listsVoices()
    {
        startSayer();
        QVERIFY(m_link->Send("GVC:"));
        const QString reply = nextReply();
        QVERIFY2(reply.startsWith("GVCS:"), qPrintable(reply.left(40)));
        const QStringList voices = reply.mid(5).split("\r\n");
        QVERIFY2(voices.size() > 10, qPrintable(reply.left(200)));
        QVERIFY(!voices.contains(QString()));
        QVERIFY(voices.contains("English (Great Britain)"));
        // Under the C locale the helper starts with English, and lists it first.
        QCOMPARE(voices.first(), QString("English (Great Britain)"));
    }

    // "SFS:" then "STW:" writes a wave file with audible speech of a plausible length; a
    // multi-line text arrives whole, so it takes longer than its first line alone.
    void writesSpeechToWaveFile()
    {
        startSayer();
        const QString oneLine = m_home->programFolder() + "/one line.wav";
        const QString twoLines = m_home->programFolder() + "/sayertmp.wav";
        QVERIFY(m_link->Send("SFS:" + oneLine));
        QVERIFY(m_link->Send("STW:Hello, you have reached the answering machine."));
        QVERIFY(m_link->Send("SFS:" + twoLines));
        QVERIFY(m_link->Send("STW:Hello, you have reached the answering machine.\r\nPlease leave a message "
                             "after the beep.\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(twoLines), 20000);

        const WaveSummary first = summarise(oneLine);
        const WaveSummary both = summarise(twoLines);
        QVERIFY(first.readable && both.readable);
        QCOMPARE(both.channels, 1);
        QCOMPARE(both.sampleRate, 22050);
        QVERIFY2(first.seconds > 1.5 && first.seconds < 8, qPrintable(QString::number(first.seconds)));
        QVERIFY2(both.seconds > first.seconds + 1, qPrintable(QString::number(both.seconds)));
        QVERIFY2(both.rms > 0.02, qPrintable(QString::number(both.rms)));
        QVERIFY2(both.peak > 0.2 && both.peak <= 1.0, qPrintable(QString::number(both.peak)));
        QVERIFY(m_sayer->state() == QProcess::Running);
    }

    // "SRT:" changes the speaking rate: the fastest setting gives a much shorter file than the
    // slowest, and out-of-range values are held at the ends.
    void rateChangesLength()
    {
        startSayer();
        const QString text = "STW:The quick brown fox jumps over the lazy dog.";
        const QString slow = m_home->programFolder() + "/slow.wav";
        const QString fast = m_home->programFolder() + "/fast.wav";
        const QString clamped = m_home->programFolder() + "/clamped.wav";
        QVERIFY(m_link->Send("SRT:-10"));
        QVERIFY(m_link->Send("SFS:" + slow));
        QVERIFY(m_link->Send(text));
        QVERIFY(m_link->Send("SRT:10"));
        QVERIFY(m_link->Send("SFS:" + fast));
        QVERIFY(m_link->Send(text));
        QVERIFY(m_link->Send("SRT:999"));
        QVERIFY(m_link->Send("SFS:" + clamped));
        QVERIFY(m_link->Send(text));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(clamped), 20000);

        const double slowSeconds = summarise(slow).seconds;
        const double fastSeconds = summarise(fast).seconds;
        QVERIFY2(slowSeconds > 2.5 * fastSeconds,
                 qPrintable(QString("slow %1 s, fast %2 s").arg(slowSeconds).arg(fastSeconds)));
        QVERIFY(std::abs(summarise(clamped).seconds - fastSeconds) < 0.02 * fastSeconds);
    }

    // Bad arguments, unknown tags and an unwritable file are logged and skipped; the helper keeps serving.
    void badMessagesAreSkipped()
    {
        startSayer();
        QVERIFY(m_link->Send("STW:no file chosen yet"));
        QVERIFY(m_link->Send("SVC:9999"));
        QVERIFY(m_link->Send("SVC:x"));
        QVERIFY(m_link->Send("SRT:fast"));
        QVERIFY(m_link->Send("gvc:"));
        QVERIFY(m_link->Send("SFS:" + m_home->path() + "/missing/folder/out.wav"));
        QVERIFY(m_link->Send("STW:Hello."));
        QVERIFY(m_link->Send("GVC:"));
        // Each refused "STW:" is answered with why, before the voices.
        QCOMPARE(nextReply(), QString("STWE:no output file set"));
        QVERIFY(nextReply().startsWith("STWE:"));
        QVERIFY(nextReply().startsWith("GVCS:"));
        const QByteArray log = m_sayer->readAllStandardError();
        QVERIFY2(log.contains("no output file set"), log.constData());
        QVERIFY2(log.contains("no voice \"9999\""), log.constData());
        QVERIFY2(log.contains("unknown message \"gvc:\""), log.constData());
        QVERIFY2(log.contains("cannot write"), log.constData());
        QVERIFY(!QFileInfo::exists(m_home->path() + "/missing"));
    }

    // "Say:" with no sound server reports it and returns at once; "Stp:" is harmless.
    void speakingAloudWithoutSoundServerFailsCleanly()
    {
        startSayer();
        QVERIFY(m_link->Send("Say:Hello there."));
        QVERIFY(m_link->Send("Stp:"));
        QVERIFY(m_link->Send("GVC:"));
        QVERIFY(nextReply().startsWith("GVCS:"));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_stderr.append(m_sayer->readAllStandardError()).contains("cannot speak aloud"), 5000);
    }

    // "ULD:" ends the helper with exit code 0 and takes its socket away.
    void unloadEndsProcess()
    {
        startSayer();
        QVERIFY(m_link->Send("ULD:"));
        QVERIFY(m_sayer->waitForFinished(10000));
        QCOMPARE(m_sayer->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_sayer->exitCode(), 0);
        m_link->Disconnect();
        LocalLink late(nullptr, std::chrono::milliseconds(100));
        QVERIFY(!late.Connect(7));
    }

    // A disconnect followed by a quick reconnect keeps the helper; a disconnect for good ends it.
    void quitsWhenProgramLeavesForGood()
    {
        startSayer({"--linger", "1500"});
        m_link->Disconnect();
        QVERIFY(m_link->Connect(7));
        QVERIFY(m_link->Send("GVC:"));
        QVERIFY(nextReply().startsWith("GVCS:"));

        m_link->Disconnect();
        QVERIFY(m_sayer->waitForFinished(15000));
        QCOMPARE(m_sayer->exitCode(), 0);
    }

private:
    void startSayer(const QStringList& extra = {})
    {
        m_sayer = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "C");
        env.insert("LANG", "C");
        m_sayer->setProcessEnvironment(env);
        m_sayer->start(kalvo::test::binaryPath("Sayer"), QStringList{"-gc"} + extra);
        QVERIFY2(m_sayer->waitForStarted(5000), qPrintable(m_sayer->errorString()));
        m_link = std::make_unique<LocalLink>(nullptr, std::chrono::milliseconds(10000));
        QVERIFY2(m_link->Connect(7), m_sayer->readAllStandardError().constData());
        m_replies = std::make_unique<QSignalSpy>(m_link.get(), &LocalLink::DataArrival);
    }

    QString nextReply()
    {
        if (m_replies->isEmpty() && !m_replies->wait(20000))
            return QString();
        return m_replies->takeFirst().at(0).toString();
    }

    std::unique_ptr<kalvo::test::IsolatedHome> m_home;
    std::unique_ptr<kalvo::test::ScopedEnv> m_noSound;
    std::unique_ptr<QProcess> m_sayer;
    std::unique_ptr<LocalLink> m_link;
    std::unique_ptr<QSignalSpy> m_replies;
    QByteArray m_stderr;
};

QTEST_GUILESS_MAIN(SayerTest)
#include "SayerTest.moc"
