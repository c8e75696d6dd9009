// The sound device component on line wave devices: file conversion, play-through, errors, devices
// that go away and crash leftovers. The line devices are FakeLineDevice stand-ins running 20 times
// faster than real time, since these cases need devices the test can add and remove at will.
#include "FakeLineDevice.h"
#include "RecordingFile.h"
#include "SoundErrors.h"
#include "SoundFiles.h"
#include "TestSupport.h"
#include "VbError.h"
#include "WaveDeviceTable.h"
#include "WaveSoundDevice.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <cstring>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kalvo;
using namespace kalvo::sound;
using namespace kalvo::test;
using kalvo::wave::WaveDeviceTable;
using kalvo::wave::WaveDirection;

class SoundLineTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void convertsOtherFilesToTheLineFormat();
    void monitorPlaysWhatIsRecorded();
    void badFilesDevicesAndCallsGiveErrors();
    void lostDeviceEndsPlaybackAndKeepsRecording();
    void unsavableRecordingStaysInTheSpoolFolder();
    void waveFileInfoReportsLengthEightBytesIn();
    void interruptedRecordingIsKeptReadable();
    void longFilesStreamWholeAndStop();
    void fileCutShortEndsWithDonePlay();

private:
    QString file(const QString& name) const { return m_home->path() + "/" + name; }
    std::shared_ptr<FakeLineDevice> addDevice(WaveDirection direction, wave::WaveDeviceId& id);

    std::unique_ptr<IsolatedHome> m_home;
    std::shared_ptr<FakeLineDevice> m_out, m_in;
    wave::WaveDeviceId m_outId = 0, m_inId = 0;
    std::vector<std::pair<WaveDirection, wave::WaveDeviceId>> m_added;
};

std::shared_ptr<FakeLineDevice> SoundLineTest::addDevice(WaveDirection direction, wave::WaveDeviceId& id)
{
    auto device = std::make_shared<FakeLineDevice>(direction, std::chrono::milliseconds(1));
    id = WaveDeviceTable::instance().addLineDevice(device);
    m_added.emplace_back(direction, id);
    return device;
}

void SoundLineTest::init()
{
    m_home = std::make_unique<IsolatedHome>();
    m_out = addDevice(WaveDirection::Out, m_outId);
    m_in = addDevice(WaveDirection::In, m_inId);
}

void SoundLineTest::cleanup()
{
    for (auto [direction, id] : m_added)
        WaveDeviceTable::instance().removeLineDevice(direction, id);
    m_added.clear();
    m_out.reset();
    m_in.reset();
    m_home.reset();
}

// Other rates, channel counts and encodings arrive as 8 kHz mono: G.711 files decode exactly, a
// 16 kHz stereo float tone keeps its pitch, level and length.
void SoundLineTest::convertsOtherFilesToTheLineFormat()
{
    WaveSoundDevice wave;
    QSignalSpy done(&wave, &SoundDevice::DonePlay);
    auto playAndTake = [&](const QString& path) {
        const size_t before = m_out->played().size();
        const int doneBefore = done.count();
        if (wave.PlayFile(path, static_cast<int32_t>(m_outId)) != 0)
            return std::vector<int16_t>();
        QElapsedTimer clock;
        clock.start();
        while (done.count() == doneBefore && clock.elapsed() < 5000)
            QTest::qWait(5);
        const auto all = m_out->played();
        return std::vector<int16_t>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    };

    const auto speech = noise(30000, 8000, 7);
    QVERIFY(writeSound(file("u.wav"), speech, 8000, 1, SF_FORMAT_WAV | SF_FORMAT_ULAW));
    QVERIFY(playAndTake(file("u.wav")) == readSound(file("u.wav")));

    std::vector<int16_t> stereo;
    for (int16_t s : speech) {
        stereo.push_back(s);
        stereo.push_back(s);
    }
    QVERIFY(writeSound(file("a.wav"), stereo, 8000, 2, SF_FORMAT_WAV | SF_FORMAT_ALAW));
    const auto alaw = readSound(file("a.wav"));
    std::vector<int16_t> left;
    for (size_t i = 0; i < alaw.size(); i += 2)
        left.push_back(alaw[i]);
    QVERIFY(playAndTake(file("a.wav")) == left);

    std::vector<float> floatTone;
    for (int i = 0; i < 16000; ++i) {
        const float v = 0.5f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * i / 16000));
        floatTone.push_back(v);
        floatTone.push_back(v);
    }
    QVERIFY(writeSoundFloat(file("f.wav"), floatTone, 16000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const auto played = playAndTake(file("f.wav"));
    QVERIFY2(std::abs(static_cast<int>(played.size()) - 8000) <= 8,
             qPrintable(QString::number(played.size())));
    const std::vector<int16_t> middle(played.begin() + 1000, played.begin() + 7000);
    QVERIFY(toneShare(middle, 1000, 8000) > 0.98);
    const int peak = *std::max_element(middle.begin(), middle.end());
    QVERIFY2(peak > 16384 * 0.95 && peak < 16384 * 1.05, qPrintable(QString::number(peak)));

    QVERIFY(writeSound(file("cd.wav"), tone(440, 10000, 44100, 88200), 44100, 1,
                       SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    QVERIFY(std::abs(static_cast<int>(playAndTake(file("cd.wav")).size()) - 16000) <= 16);
}

// The play-through device gets the recording's frames, in order, while the file gets all of them.
void SoundLineTest::monitorPlaysWhatIsRecorded()
{
    wave::WaveDeviceId monitorId = 0;
    auto monitor = addDevice(WaveDirection::Out, monitorId);
    WaveSoundDevice wave;
    QCOMPARE(wave.StartMonitor(static_cast<int32_t>(monitorId), 1, 1, 16, 8000), SOUND_ERR_NOTRECORDING);
    const auto input = noise(20000, 24000, 5);
    m_in->feed(input);
    QCOMPARE(wave.StartRecord(static_cast<int32_t>(m_inId), 1, 1, 16, 8000), 0);
    QCOMPARE(wave.StartMonitor(static_cast<int32_t>(monitorId), 1, 1, 16, 16000), SOUND_ERR_BADFORMAT);
    QCOMPARE(wave.StartMonitor(static_cast<int32_t>(monitorId), 1, 1, 16, 8000), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_in->fedAll(), 5000);
    QTest::qWait(50);
    QCOMPARE(wave.StopRecordToFile(file("m.wav")), 0);
    QCOMPARE(wave.StopMonitor(), 0);
    QCOMPARE(wave.StopMonitor(), 0);
    QVERIFY(!monitor->running());
    const auto heard = monitor->played();
    QVERIFY(heard.size() > 8000);
    const auto recorded = readSound(file("m.wav"));
    auto at = std::search(recorded.begin(), recorded.end(), heard.begin(), heard.begin() + 64);
    QVERIFY(at != recorded.end());
    QVERIFY(static_cast<size_t>(recorded.end() - at) >= heard.size());
    QVERIFY(std::equal(heard.begin(), heard.end(), at));
}

// Missing, unreadable and foreign files, unknown devices, no sound card and calls out of turn each
// give their own number and text and leave the instance idle.
void SoundLineTest::badFilesDevicesAndCallsGiveErrors()
{
    WaveSoundDevice wave;
    QSignalSpy done(&wave, &SoundDevice::DonePlay);
    const auto out = static_cast<int32_t>(m_outId);
    const auto in = static_cast<int32_t>(m_inId);
    QVERIFY(writeSound(file("ok.wav"), noise(100, 800), 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    QFile garbage(file("text.wav"));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write("RIFF this is no wave file at all, only some text pretending to be one");
    garbage.close();

    QCOMPARE(wave.PlayFile(file("missing.wav"), out), SOUND_ERR_FILENOTFOUND);
    QCOMPARE(wave.PlayFile(file("text.wav"), out), SOUND_ERR_FILEFORMAT);
    QCOMPARE(wave.PlayFile(m_home->path(), out), SOUND_ERR_FILEREAD);
    QCOMPARE(wave.PlayFile(QString(), out), SOUND_ERR_FILENOTFOUND);
    QCOMPARE(wave.PlayFile(file("ok.wav"), 0x7FFF0000), SOUND_ERR_BADDEVICEID);
    QCOMPARE(wave.PlayFile(file("ok.wav"), 0), SOUND_ERR_NOSOUNDCARD);
    QCOMPARE(wave.PlayFile(file("ok.wav"), -1), SOUND_ERR_NOSOUNDCARD);
    QVERIFY(!wave.IsPlaying());
    QCOMPARE(wave.DeviceCount(), 0);
    SoundDeviceCaps caps;
    QCOMPARE(wave.DeviceCaps(0, caps), SOUND_ERR_BADDEVICEID);

    QCOMPARE(wave.CheckRecordFormat(in, 1, 1, 1, 16, 16000), SOUND_ERR_BADFORMAT);
    QCOMPARE(wave.CheckRecordFormat(in, 1, 3, 1, 32, 8000), SOUND_ERR_BADFORMAT);
    QCOMPARE(wave.CheckRecordFormat(in, 1, 7, 1, 16, 8000), SOUND_ERR_BADFORMAT);
    QCOMPARE(wave.CheckRecordFormat(in, 1, 1, 3, 16, 8000), SOUND_ERR_BADFORMAT);
    QCOMPARE(wave.CheckRecordFormat(0x7FFF0000, 1, 1, 1, 16, 8000), SOUND_ERR_BADDEVICEID);
    QCOMPARE(wave.StartRecord(0, 1, 1, 16, 8000), SOUND_ERR_NOSOUNDCARD);
    QCOMPARE(wave.StopRecordToFile(file("none.wav")), SOUND_ERR_NOTRECORDING);
    QVERIFY(!QFile::exists(file("none.wav")));
    QCOMPARE(wave.StartRecord(in, 1, 1, 16, 8000), 0);
    QCOMPARE(wave.StartRecord(in, 1, 1, 16, 8000), SOUND_ERR_RECORDING);
    QVERIFY(wave.IsRecording());
    QCOMPARE(wave.StopRecordToFile(file("r.wav")), 0);

    // Another instance cannot take a device that is streaming.
    WaveSoundDevice other;
    QCOMPARE(wave.PlayFile(file("ok.wav"), out), 0);
    QCOMPARE(other.PlayFile(file("ok.wav"), out), SOUND_ERR_ALLOCATED);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);

    QCOMPARE(wave.PlayErrorText(0), QString("OK"));
    QCOMPARE(wave.RecordErrorText(SOUND_ERR_FILENOTFOUND), QString("Sound file not found"));
    QCOMPARE(wave.PlayErrorText(999), QString("Unknown sound error 999"));
}

// A device that leaves the table ends the playback without DonePlay; a recording keeps what it got.
void SoundLineTest::lostDeviceEndsPlaybackAndKeepsRecording()
{
    QVERIFY(writeSound(file("long.wav"), noise(1000, 160000), 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    WaveSoundDevice wave;
    QSignalSpy done(&wave, &SoundDevice::DonePlay);
    QCOMPARE(wave.PlayFile(file("long.wav"), static_cast<int32_t>(m_outId)), 0);
    QTest::qWait(20);
    WaveDeviceTable::instance().removeLineDevice(WaveDirection::Out, m_outId);
    QTRY_VERIFY_WITH_TIMEOUT(!wave.IsPlaying(), 1000);
    QVERIFY(!m_out->running());
    QTest::qWait(100);
    QCOMPARE(done.count(), 0);

    const auto input = noise(5000, 4000);
    m_in->feed(input);
    QCOMPARE(wave.StartRecord(static_cast<int32_t>(m_inId), 1, 1, 16, 8000), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_in->fedAll(), 5000);
    QTest::qWait(50);
    WaveDeviceTable::instance().removeLineDevice(WaveDirection::In, m_inId);
    QTRY_VERIFY_WITH_TIMEOUT(!m_in->running(), 1000);
    QVERIFY(wave.IsRecording());
    QCOMPARE(wave.StopRecordToFile(file("kept.wav")), SOUND_ERR_DEVICELOST);
    const auto recorded = readSound(file("kept.wav"));
    QVERIFY(recorded.size() >= input.size());
    QVERIFY(std::equal(input.begin(), input.end(), recorded.begin()));
}

// A recording that cannot be moved to its path is not lost: a valid file stays in the spool folder.
// A complete recording replaces an existing file.
void SoundLineTest::unsavableRecordingStaysInTheSpoolFolder()
{
    WaveSoundDevice wave;
    const auto input = noise(5000, 4000);
    m_in->feed(input);
    QCOMPARE(wave.StartRecord(static_cast<int32_t>(m_inId), 1, 1, 16, 8000), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_in->fedAll(), 5000);
    QCOMPARE(wave.StopRecordToFile(file("no/such/folder/x.wav")), SOUND_ERR_FILEWRITE);
    QVERIFY(!wave.IsRecording());
    const QStringList left = QDir(wave.spoolFolder()).entryList({"rec-*.part.wav"}, QDir::Files);
    QCOMPARE(left.size(), 1);
    const auto kept = readSound(wave.spoolFolder() + "/" + left.first());
    QVERIFY(std::equal(input.begin(), input.end(), kept.begin()));

    QFile old(file("greeting.wav"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old greeting");
    old.close();
    m_in->stop();
    m_in->feed(input);
    QCOMPARE(wave.StartRecord(static_cast<int32_t>(m_inId), 1, 1, 16, 8000), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_in->fedAll(), 5000);
    QCOMPARE(wave.StopRecordToFile(file("greeting.wav")), 0);
    const auto replaced = readSound(file("greeting.wav"));
    QVERIFY(std::equal(input.begin(), input.end(), replaced.begin()));
}

// WaveFileInfo puts the length in seconds 8 bytes into the record and raises run-time errors.
void SoundLineTest::waveFileInfoReportsLengthEightBytesIn()
{
    WaveSoundDevice wave;
    QVERIFY(writeSound(file("p.wav"), noise(100, 12000), 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    QVERIFY(writeSound(file("u.wav"), noise(100, 4000), 8000, 1, SF_FORMAT_WAV | SF_FORMAT_ULAW));
    WaveFileInfoRecord info;
    wave.WaveFileInfo(file("p.wav"), info);
    double length = 0;
    std::memcpy(&length, reinterpret_cast<const char*>(&info) + 8, sizeof length);
    QCOMPARE(length, 1.5);
    QCOMPARE(info.formatTag, 1);
    QCOMPARE(info.bitsPerSample, 16);
    wave.WaveFileInfo(file("u.wav"), info);
    QCOMPARE(info.length, 0.5);
    QCOMPARE(info.formatTag, 7);
    QCOMPARE(info.bitsPerSample, 8);
    try {
        wave.WaveFileInfo(file("missing.wav"), info);
        QFAIL("no error for a missing file");
    } catch (const VbError& error) {
        QCOMPARE(error.number(), 53);
    }
    QFile garbage(file("bad.wav"));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write("nothing");
    garbage.close();
    QVERIFY_THROWS_EXCEPTION(VbError, wave.WaveFileInfo(file("bad.wav"), info));
}

// A recorder killed mid-way leaves a readable wave file that the next start renames and keeps; files
// of running processes are left alone.
void SoundLineTest::interruptedRecordingIsKeptReadable()
{
    const QString spool = file("spool");
    const auto input = noise(20000, 4000);
    const pid_t child = fork();
    if (child == 0) {
        RecordingFile recording;
        if (const int result = recording.open(spool, 1, 1, 16, 8000))
            _exit(result);
        recording.write(input.data(), 1600);
        recording.write(input.data() + 1600, 2400);
        _exit(0); // no close: the header must already be right
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QCOMPARE(WEXITSTATUS(status), 0);
    QFile live(QString("%1/rec-%2-99.part.wav").arg(spool).arg(getpid()));
    QVERIFY(live.open(QIODevice::WriteOnly));
    live.close();

    const QStringList kept = RecordingFile::keepInterrupted(spool);
    QCOMPARE(kept.size(), 1);
    QVERIFY(QFileInfo(kept.first()).fileName().startsWith("interrupted-"));
    QVERIFY(readSound(kept.first()) == input);
    QVERIFY(live.exists());
    QVERIFY(RecordingFile::keepInterrupted(spool).isEmpty());
    QCOMPARE(QDir(spool).entryList(QDir::Files).size(), 2);
}

// A file many times longer than the playback ring arrives whole and unchanged, with one DonePlay at
// 100 %; a long file to be converted starts at once with its own start and stops when told, with no
// DonePlay afterwards.
void SoundLineTest::longFilesStreamWholeAndStop()
{
    WaveSoundDevice wave;
    QSignalSpy done(&wave, &SoundDevice::DonePlay);
    const auto speech = noise(20000, 8000 * 30, 11);
    QVERIFY(writeSound(file("long.wav"), speech, 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    QCOMPARE(wave.PlayFile(file("long.wav"), static_cast<int32_t>(m_outId)), 0);
    QVERIFY(wave.PlayPosition() < 100);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    QCOMPARE(wave.PlayPosition(), 100);
    QVERIFY(m_out->played() == speech);

    std::vector<int16_t> stereo;
    for (int16_t sample : tone(440, 10000, 44100, 44100 * 60))
        stereo.insert(stereo.end(), {sample, sample});
    QVERIFY(writeSound(file("cd.wav"), stereo, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const size_t before = m_out->played().size();
    QCOMPARE(wave.PlayFile(file("cd.wav"), static_cast<int32_t>(m_outId)), 0);
    QVERIFY(wave.IsPlaying());
    QTRY_VERIFY(m_out->played().size() > before + 4000);
    const auto all = m_out->played();
    const std::vector<int16_t> start(all.begin() + static_cast<std::ptrdiff_t>(before),
                                     all.begin() + static_cast<std::ptrdiff_t>(before + 4000));
    QVERIFY(toneShare(start, 440, 8000) > 0.9);
    QVERIFY(wave.PlayPosition() < 100);
    QCOMPARE(wave.StopPlay(), 0);
    QVERIFY(!wave.IsPlaying());
    const size_t stoppedAt = m_out->played().size();
    QTest::qWait(200);
    QCOMPARE(m_out->played().size(), stoppedAt);
    QCOMPARE(done.count(), 1);
}

// A file that ends before its header says (cut short on disk) plays what is there and ends as a
// finished playback: DonePlay and position 100.
void SoundLineTest::fileCutShortEndsWithDonePlay()
{
    WaveSoundDevice wave;
    QSignalSpy done(&wave, &SoundDevice::DonePlay);
    const auto speech = noise(20000, 8000 * 4, 5);
    QVERIFY(writeSound(file("cut.wav"), speech, 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    QVERIFY(::truncate(QFile::encodeName(file("cut.wav")).constData(), 44 + 8000 * 2) == 0);
    QCOMPARE(wave.PlayFile(file("cut.wav"), static_cast<int32_t>(m_outId)), 0);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
    QCOMPARE(wave.PlayPosition(), 100);
    QVERIFY(!wave.IsPlaying());
    const auto played = m_out->played();
    QCOMPARE(played.size(), size_t(8000));
    QVERIFY(std::equal(played.begin(), played.end(), speech.begin()));
}

QTEST_GUILESS_MAIN(SoundLineTest)
#include "SoundLineTest.moc"
