// Without a sound server the sound card has no devices and every sound-card operation fails with a
// number and text, at once; line devices still work.
#include "FakeLineDevice.h"
#include "SoundCardBackend.h"
#include "SoundErrors.h"
#include "SoundFiles.h"
#include "TestSupport.h"
#include "WaveDeviceTable.h"
#include "WaveSoundDevice.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <sndfile.h>

using namespace kalvo;
using namespace kalvo::sound;
using namespace kalvo::test;

class SoundNoServerTest : public QObject
{
    Q_OBJECT

private slots:
    void soundCardOperationsFailCleanly();
};

// PULSE_SERVER points at a socket that does not exist (set by the test's CMake entry).
void SoundNoServerTest::soundCardOperationsFailCleanly()
{
    IsolatedHome home;
    wave::SoundCardBackend backend;
    WaveSoundDevice wave;
    QCOMPARE(wave.DeviceCount(), 0);
    SoundDeviceCaps caps;
    QCOMPARE(wave.DeviceCaps(0, caps), SOUND_ERR_BADDEVICEID);
    const QString path = home.path() + "/t.wav";
    QVERIFY(writeSound(path, tone(1000, 8000, 8000, 800), 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    QCOMPARE(wave.PlayFile(path, 0), SOUND_ERR_NOSOUNDCARD);
    QVERIFY(!wave.IsPlaying());
    QCOMPARE(wave.CheckRecordFormat(0, 1, 1, 1, 16, 8000), SOUND_ERR_NOSOUNDCARD);
    QCOMPARE(wave.StartRecord(0, 1, 1, 16, 8000), SOUND_ERR_NOSOUNDCARD);
    QVERIFY(!wave.IsRecording());
    QCOMPARE(wave.PlayErrorText(SOUND_ERR_NOSOUNDCARD), QString("No sound card"));

    // The line side is not affected: record from a line and try to pre-screen on the missing card.
    auto line = std::make_shared<FakeLineDevice>(wave::WaveDirection::In, std::chrono::milliseconds(1));
    const auto id = wave::WaveDeviceTable::instance().addLineDevice(line);
    QCOMPARE(wave.StartRecord(static_cast<int32_t>(id), 1, 1, 16, 8000), 0);
    QCOMPARE(wave.StartMonitor(0, 1, 1, 16, 8000), SOUND_ERR_NOSOUNDCARD);
    QCOMPARE(wave.StopRecordToFile(home.path() + "/m.wav"), 0);
    wave::WaveDeviceTable::instance().removeLineDevice(wave::WaveDirection::In, id);
}

QTEST_GUILESS_MAIN(SoundNoServerTest)
#include "SoundNoServerTest.moc"
