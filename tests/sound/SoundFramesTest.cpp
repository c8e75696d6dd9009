// The sound component driven by the audio itself, on stand-in line devices running 20 times faster
// than real time: the silence limit counted on recorded frames, a recording stored whole when it is
// stopped the moment the last frame arrived, and greetings in another format converted once and kept.
#include "ConvertedCache.h"
#include "FakeLineDevice.h"
#include "SoundFiles.h"
#include "TestSupport.h"
#include "WaveDeviceTable.h"
#include "WaveSoundDevice.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <sndfile.h>

using namespace kalvo;
using namespace kalvo::sound;
using namespace kalvo::test;
using kalvo::wave::WaveDeviceTable;
using kalvo::wave::WaveDirection;

class SoundFramesTest : public IsolatedHomeTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void silenceLimitCountsRecordedFrames();
    void recordingStoredWholeWhenStoppedAtOnce();
    void convertedGreetingIsKeptAndChecked();

private:
    QString file(const QString& name) const { return m_home->path() + "/" + name; }
    // Plays path on the line and returns what the line was given, once DonePlay came.
    std::vector<int16_t> play(WaveSoundDevice& wave, const QString& path);

    std::shared_ptr<FakeLineDevice> m_out, m_in;
    wave::WaveDeviceId m_outId = 0, m_inId = 0;
};

void SoundFramesTest::init()
{
    IsolatedHomeTest::init();
    m_out = std::make_shared<FakeLineDevice>(WaveDirection::Out, std::chrono::milliseconds(1));
    m_in = std::make_shared<FakeLineDevice>(WaveDirection::In, std::chrono::milliseconds(1));
    m_outId = WaveDeviceTable::instance().addLineDevice(m_out);
    m_inId = WaveDeviceTable::instance().addLineDevice(m_in);
}

void SoundFramesTest::cleanup()
{
    WaveDeviceTable::instance().removeLineDevice(WaveDirection::Out, m_outId);
    WaveDeviceTable::instance().removeLineDevice(WaveDirection::In, m_inId);
    m_out.reset();
    m_in.reset();
    IsolatedHomeTest::cleanup();
}

std::vector<int16_t> SoundFramesTest::play(WaveSoundDevice& wave, const QString& path)
{
    QSignalSpy done(&wave, &SoundDevice::DonePlay);
    const size_t before = m_out->played().size();
    if (wave.PlayFile(path, static_cast<int32_t>(m_outId)) != 0 || !done.wait(5000))
        return {};
    const auto all = m_out->played();
    return std::vector<int16_t>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
}

// The limit is reached after that much quiet audio in a row: a shorter pause starts the count again,
// a level at the threshold is quiet, and the signal comes once per watch.
void SoundFramesTest::silenceLimitCountsRecordedFrames()
{
    WaveSoundDevice wave;
    wave.setSpoolFolder(file("spool"));
    QSignalSpy silence(&wave, &SoundDevice::SilenceReached);
    // Level 10 is a peak of about -54 dBFS (65); 50 is quiet, 3000 is not.
    std::vector<int16_t> audio = noise(3000, 4000);
    const auto pause = noise(50, 1600, 2);
    audio.insert(audio.end(), pause.begin(), pause.end());
    const auto talk = noise(3000, 4000, 3);
    audio.insert(audio.end(), talk.begin(), talk.end());
    m_in->feed(audio);
    QCOMPARE(wave.StartRecord(static_cast<int32_t>(m_inId), 1, 1, 16, 8000), 0);
    QVERIFY(wave.WatchSilence(10, 250)); // 2000 frames
    QVERIFY(silence.wait(5000));
    // Not during the 1600-frame pause: only 2000 frames after the talk ended.
    QVERIFY2(m_in->framesProcessed() >= audio.size() + 2000,
             qPrintable(QString::number(m_in->framesProcessed())));
    QTest::qWait(100);
    QCOMPARE(silence.count(), 1);
    // A new watch counts again from its start.
    QVERIFY(wave.WatchSilence(10, 50));
    QVERIFY(silence.wait(5000));
    QCOMPARE(wave.StopRecordToFile(file("m.wav")), 0);
    QVERIFY(!wave.WatchSilence(10, 50));
}

// Stopping right after the last frame was delivered (the caller hung up) stores every frame.
void SoundFramesTest::recordingStoredWholeWhenStoppedAtOnce()
{
    const auto audio = noise(12000, 24000, 5);
    auto wave = std::make_unique<WaveSoundDevice>();
    wave->setSpoolFolder(file("spool"));
    m_in->feed(audio);
    QCOMPARE(wave->StartRecord(static_cast<int32_t>(m_inId), 1, 1, 16, 8000), 0);
    QVERIFY(waitUntil([&] { return m_in->fedAll(); }, 5000));
    QCOMPARE(wave->StopRecordToFile(file("m.wav")), 0);
    wave.reset();
    const auto stored = readSound(file("m.wav"));
    QVERIFY(stored.size() >= audio.size());
    QVERIFY(std::equal(audio.begin(), audio.end(), stored.begin()));
}

// A 16 kHz stereo greeting is converted while it first plays and kept; later calls play the kept
// copy. A greeting changed on disk is heard in its new form, a damaged copy is replaced, and a cache
// that cannot be written leaves playback as it was.
void SoundFramesTest::convertedGreetingIsKeptAndChecked()
{
    WaveSoundDevice wave;
    const QString cache = file("cache");
    wave.setCacheFolder(cache);
    auto stereoTone = [](double frequency, size_t frames) {
        std::vector<int16_t> samples;
        for (int16_t s : tone(frequency, 12000, 16000, frames)) {
            samples.push_back(s);
            samples.push_back(s);
        }
        return samples;
    };
    const QString greeting = file("greeting.wav");
    QVERIFY(writeSound(greeting, stereoTone(440, 16000), 16000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const auto first = play(wave, greeting);
    QVERIFY(std::abs(static_cast<int>(first.size()) - 8000) <= 8);
    const QString entry = ConvertedCache::entryPath(cache, greeting);
    QVERIFY(ConvertedCache::isWhole(entry));
    QCOMPARE(play(wave, greeting), first);
    QCOMPARE(QDir(cache).entryList(QDir::Files).size(), 1);

    // Changed: a longer greeting of another pitch; its old copy goes.
    QVERIFY(writeSound(greeting, stereoTone(1000, 24000), 16000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const auto changed = play(wave, greeting);
    QVERIFY(std::abs(static_cast<int>(changed.size()) - 12000) <= 12);
    QVERIFY(toneShare(std::vector<int16_t>(changed.begin() + 1000, changed.end() - 1000), 1000, 8000) > 0.95);
    const QString newEntry = ConvertedCache::entryPath(cache, greeting);
    QVERIFY(newEntry != entry);
    QVERIFY(!QFile::exists(entry));
    QVERIFY(ConvertedCache::isWhole(newEntry));

    // Damaged: cut in half; played whole from the greeting and written again.
    QVERIFY(QFile::resize(newEntry, QFileInfo(newEntry).size() / 2));
    QVERIFY(!ConvertedCache::isWhole(newEntry));
    QCOMPARE(play(wave, greeting), changed);
    QVERIFY(ConvertedCache::isWhole(newEntry));
    QCOMPARE(play(wave, greeting), changed);

    // Unwritable: the cache folder's place is taken by a file.
    WaveSoundDevice blocked;
    QFile(file("taken")).open(QIODevice::WriteOnly);
    blocked.setCacheFolder(file("taken"));
    QCOMPARE(play(blocked, greeting), changed);
}

QTEST_MAIN(SoundFramesTest)
#include "SoundFramesTest.moc"
