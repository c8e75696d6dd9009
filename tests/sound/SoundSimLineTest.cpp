// The sound device component on the simulated line's own wave devices, during a connected call:
// what is played reaches the caller sample for sample, the caller's voice is recorded bit-exact, and
// DonePlay, position and input level behave as the answering flow expects.
#include "SoundErrors.h"
#include "SoundFiles.h"
#include "TelephonyTestSupport.h"
#include "WaveSoundDevice.h"

#include <QSignalSpy>
#include <QTest>
#include <sndfile.h>

using namespace kalvo;
using namespace kalvo::sound;
using namespace kalvo::test;

class SoundSimLineTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void greetingReachesTheCallerExactlyWithOneDonePlay();
    void stoppedPlaybackRaisesNoDonePlay();
    void callerIsRecordedBitExactAsPcmAndMuLaw();
    void inputLevelTellsSpeechFromSilence();

private:
    QString file(const QString& name) const { return QString::fromStdString(m_home->dir()) + "/" + name; }

    std::unique_ptr<TelephonyHome> m_home;
    sim::SimLine* m_sim = nullptr;
    HLINEAPP m_app = 0;
    int32_t m_waveOut = -1;
    int32_t m_waveIn = -1;
};

// One fast sim line with a connected call; its wave ids as the line control hands them out.
void SoundSimLineTest::init()
{
    m_home = std::make_unique<TelephonyHome>(simConf(1, "audio = fast\n"));
    m_sim = m_home->sim(0);
    QVERIFY(m_sim);
    HLINE line = 0;
    QCOMPARE(initialiseAndOpen(&m_app, &line), 0);
    m_sim->offerCall(std::string("5551234"), std::nullopt);
    const HCALL call = firstCallHandle();
    QVERIFY(call != 0);
    QVERIFY(lineAnswer(call, nullptr, 0) > 0);
    QVERIFY(waitUntil([&] { return m_sim->callState(m_sim->currentCall()) == LINECALLSTATE_CONNECTED; }));
    const telephony::LineWaveIds ids = m_sim->waveDevices();
    m_waveOut = static_cast<int32_t>(ids.waveOut);
    m_waveIn = static_cast<int32_t>(ids.waveIn);
}

void SoundSimLineTest::cleanup()
{
    lineShutdown(m_app);
    m_home.reset();
}

// A greeting at 8 kHz arrives unchanged; its DonePlay handler plays a 22.05 kHz beep at once, as the
// answering flow does, which arrives at the line's rate. Position only grows, and DonePlay comes once
// per file, after PlayFile has returned.
void SoundSimLineTest::greetingReachesTheCallerExactlyWithOneDonePlay()
{
    const auto greeting = noise(30000, 24000, 11);
    QVERIFY(writeSound(file("greet.wav"), greeting, 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    QVERIFY(writeSound(file("beep.wav"), tone(1000, 12000, 22050, 11025), 22050, 1,
                       SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    WaveSoundDevice wave;
    QSignalSpy done(&wave, &SoundDevice::DonePlay);
    size_t greetingFrames = 0;
    connect(&wave, &SoundDevice::DonePlay, this, [&] {
        if (done.count() == 1) {
            greetingFrames = m_sim->playedToCaller().size();
            QCOMPARE(wave.PlayFile(file("beep.wav"), m_waveOut), 0);
        }
    });
    QCOMPARE(wave.PlayFile(file("greet.wav"), m_waveOut), 0);
    QCOMPARE(done.count(), 0);
    QVERIFY(wave.IsPlaying());
    int last = 0;
    QElapsedTimer clock;
    clock.start();
    while (done.count() == 0 && clock.elapsed() < 5000) {
        pump(2);
        QVERIFY(wave.PlayPosition() >= last || done.count() > 0);
        last = wave.PlayPosition();
    }
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 5000);
    QVERIFY(!wave.IsPlaying());
    QCOMPARE(wave.PlayPosition(), 100);
    const auto played = m_sim->playedToCaller();
    QCOMPARE(greetingFrames, greeting.size());
    QVERIFY(std::equal(greeting.begin(), greeting.end(), played.begin()));
    const std::vector<int16_t> beep(played.begin() + static_cast<std::ptrdiff_t>(greeting.size()),
                                    played.end());
    QVERIFY2(std::abs(static_cast<int>(beep.size()) - 4000) <= 8, qPrintable(QString::number(beep.size())));
    QVERIFY(toneShare(std::vector<int16_t>(beep.begin() + 500, beep.end() - 500), 1000, 8000) > 0.98);
    pump(100);
    QCOMPARE(done.count(), 2);
}

// StopPlay (a caller keying the password during the greeting) ends the file without DonePlay.
void SoundSimLineTest::stoppedPlaybackRaisesNoDonePlay()
{
    m_sim->setRealTimeAudio(true);
    QVERIFY(writeSound(file("greet.wav"), noise(8000, 40000), 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    WaveSoundDevice wave;
    QSignalSpy done(&wave, &SoundDevice::DonePlay);
    QCOMPARE(wave.PlayFile(file("greet.wav"), m_waveOut), 0);
    pump(200);
    QVERIFY(wave.PlayPosition() < 100);
    QCOMPARE(wave.StopPlay(), 0);
    QVERIFY(!wave.IsPlaying());
    const size_t played = m_sim->playedToCaller().size();
    QVERIFY(played > 0 && played < 40000);
    pump(300);
    QCOMPARE(done.count(), 0);
    QCOMPARE(m_sim->playedToCaller().size(), played);
}

// The caller's voice lands in the message file sample for sample (PCM 16-bit) and as the G.711
// mu-law bytes (format 7), both 8000 Hz mono.
void SoundSimLineTest::callerIsRecordedBitExactAsPcmAndMuLaw()
{
    const auto voice = noise(32000, 16000, 21);
    WaveSoundDevice wave;
    QCOMPARE(wave.CheckRecordFormat(m_waveIn, 1, 1, 1, 16, 8000), 0);
    QCOMPARE(wave.StartRecord(m_waveIn, 1, 1, 16, 8000), 0);
    m_sim->queueCallerAudio(voice);
    QVERIFY(waitUntil([&] { return m_sim->pendingCallerAudio() == 0; }));
    pump(50);
    QCOMPARE(wave.StopRecordToFile(file("pcm.wav")), 0);
    int rate = 0, channels = 0, format = 0, tag = 0, bits = 0;
    const auto pcm = readSound(file("pcm.wav"), &rate, &channels, &format);
    QCOMPARE(format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    QCOMPARE(rate, 8000);
    QCOMPARE(channels, 1);
    // The line delivers silence until the caller speaks; the voice follows unchanged.
    auto at = std::search(pcm.begin(), pcm.end(), voice.begin(), voice.end());
    QVERIFY(at != pcm.end());
    QVERIFY(std::all_of(pcm.begin(), at, [](int16_t s) { return s == 0; }));

    QCOMPARE(wave.StartRecord(m_waveIn, 7, 1, 8, 8000), 0);
    m_sim->queueCallerAudio(voice);
    QVERIFY(waitUntil([&] { return m_sim->pendingCallerAudio() == 0; }));
    pump(50);
    QCOMPARE(wave.StopRecordToFile(file("ulaw.wav")), 0);
    const auto bytes = waveDataChunk(file("ulaw.wav"), &tag, &bits);
    QCOMPARE(tag, 7);
    QCOMPARE(bits, 8);
    std::vector<uint8_t> expected;
    for (int16_t s : voice)
        expected.push_back(muLawEncode(s));
    QVERIFY(std::search(bytes.begin(), bytes.end(), expected.begin(), expected.end()) != bytes.end());
    WaveFileInfoRecord info;
    wave.WaveFileInfo(file("ulaw.wav"), info);
    QCOMPARE(info.length, static_cast<double>(bytes.size()) / 8000.0);
}

// The level scale: 100 at full scale, 10 per 6 dB. Silence and line noise near -60 dBFS stay below
// the lowest threshold step; a voice at about -15 dBFS is far above it.
void SoundSimLineTest::inputLevelTellsSpeechFromSilence()
{
    QCOMPARE(WaveSoundDevice::levelOfPeak(0), 0);
    QCOMPARE(WaveSoundDevice::levelOfPeak(32768), 100);
    QCOMPARE(WaveSoundDevice::levelOfPeak(3277), 67);
    QCOMPARE(WaveSoundDevice::levelOfPeak(33), 0);

    m_sim->setRealTimeAudio(true);
    WaveSoundDevice wave;
    QCOMPARE(wave.InputLevel(), 0);
    QCOMPARE(wave.StartRecord(m_waveIn, 1, 1, 16, 8000), 0);
    pump(200);
    QCOMPARE(wave.InputLevel(), 0);
    m_sim->queueCallerAudio(noise(30, 8000));
    int loudest = 0;
    pump(40);
    while (m_sim->pendingCallerAudio() > 0) {
        loudest = std::max(loudest, wave.InputLevel());
        pump(5);
    }
    QVERIFY2(loudest < 10, qPrintable(QString::number(loudest)));
    m_sim->queueCallerAudio(tone(400, 6000, 8000, 16000));
    QTRY_VERIFY_WITH_TIMEOUT(wave.InputLevel() >= 70, 3000);
    QCOMPARE(wave.StopRecordToFile(file("level.wav")), 0);
    QCOMPARE(wave.InputLevel(), 0);
}

QTEST_GUILESS_MAIN(SoundSimLineTest)
#include "SoundSimLineTest.moc"
