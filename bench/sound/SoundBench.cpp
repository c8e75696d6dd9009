// Prints the CPU time the sound component takes per minute of simultaneous line playback and
// recording, on stand-in line devices (20 ms blocks of 8000 Hz mono), in real time and accelerated.
#include "FakeLineDevice.h"
#include "WaveDeviceTable.h"
#include "WaveSoundDevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <sndfile.h>
#include <sys/resource.h>

using namespace kalvo;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool writeGreeting(const QString& path, int rate, int channels, int seconds)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<short> frames(static_cast<size_t>(rate) * channels);
    for (int s = 0; s < seconds; ++s) {
        for (int i = 0; i < rate; ++i)
            for (int c = 0; c < channels; ++c)
                frames[static_cast<size_t>(i) * channels + c] =
                    static_cast<short>(8000 * std::sin(2 * M_PI * 440 * (s * rate + i) / rate));
        sf_writef_short(file, frames.data(), rate);
    }
    sf_close(file);
    return true;
}

// Plays greeting over and over on the line while recording from it, for audioSeconds of line time.
// Returns CPU seconds per minute of line time.
double run(const QString& greeting, const QString& folder, int formatTag, int bits,
           std::chrono::microseconds block, double audioSeconds, double* wallSeconds)
{
    auto out = std::make_shared<test::FakeLineDevice>(wave::WaveDirection::Out, block);
    auto in = std::make_shared<test::FakeLineDevice>(wave::WaveDirection::In, block);
    auto& table = wave::WaveDeviceTable::instance();
    const auto outId = static_cast<int32_t>(table.addLineDevice(out));
    const auto inId = static_cast<int32_t>(table.addLineDevice(in));
    std::vector<int16_t> speech(static_cast<size_t>(audioSeconds * 8000) + 8000);
    for (size_t i = 0; i < speech.size(); ++i)
        speech[i] = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 300 * static_cast<double>(i) / 8000));
    in->feed(speech);

    sound::WaveSoundDevice wave;
    wave.setSpoolFolder(folder + "/spool");
    QObject::connect(&wave, &sound::SoundDevice::DonePlay, [&] { wave.PlayFile(greeting, outId); });
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    wave.PlayFile(greeting, outId);
    wave.StartRecord(inId, formatTag, 1, bits, 8000);
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (static_cast<double>(in->framesProcessed()) >= audioSeconds * 8000)
            loop.quit();
    });
    check.start(100);
    loop.exec();
    wave.StopRecordToFile(folder + "/message.wav");
    wave.StopPlay();
    const double cpu = cpuSeconds() - cpuBefore;
    *wallSeconds = clock.elapsed() / 1000.0;
    table.removeLineDevice(wave::WaveDirection::Out, static_cast<wave::WaveDeviceId>(outId));
    table.removeLineDevice(wave::WaveDirection::In, static_cast<wave::WaveDeviceId>(inId));
    return cpu * 60.0 / audioSeconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double realSeconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    QTemporaryDir dir;
    const QString line = dir.path() + "/greeting8k.wav";
    const QString cd = dir.path() + "/greeting44k.wav";
    if (!writeGreeting(line, 8000, 1, 10) || !writeGreeting(cd, 44100, 2, 10)) {
        std::fprintf(stderr, "sound_bench: cannot write the greeting files\n");
        return 1;
    }
    // How long PlayFile holds the user-interface thread while it reads and converts a file, and how
    // much the process's peak memory grows while the file plays for a few seconds.
    const QString minute = dir.path() + "/minute44k.wav";
    writeGreeting(minute, 44100, 2, 60);
    const QString twoHours = dir.path() + "/twohours44k.wav";
    writeGreeting(twoHours, 44100, 2, 2 * 3600);
    for (const auto& [name, path] :
         {std::pair{"2-hour 44.1 kHz stereo file", twoHours}, std::pair{"60 s 44.1 kHz stereo file", minute},
          std::pair{"10 s 8 kHz file", line}}) {
        auto out =
            std::make_shared<test::FakeLineDevice>(wave::WaveDirection::Out, std::chrono::milliseconds(20));
        const auto id = wave::WaveDeviceTable::instance().addLineDevice(out);
        sound::WaveSoundDevice wave;
        const long rssBefore = peakRssKb();
        QElapsedTimer clock;
        clock.start();
        wave.PlayFile(path, static_cast<int32_t>(id));
        const qint64 returned = clock.elapsed();
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        std::printf("sound_bench: PlayFile of a %s to the line returns after %lld ms; %llu frames played in "
                    "3 s; peak memory +%ld MB\n",
                    name, static_cast<long long>(returned),
                    static_cast<unsigned long long>(out->framesProcessed()),
                    (peakRssKb() - rssBefore) / 1024);
        wave.StopPlay();
        wave::WaveDeviceTable::instance().removeLineDevice(wave::WaveDirection::Out, id);
    }
    QFile::remove(twoHours);
    std::printf("sound_bench: CPU time per minute of line playback + recording at the same time\n");
    struct Case
    {
        const char* name;
        QString greeting;
        int tag, bits;
    } cases[] = {{"8 kHz greeting, PCM 16-bit message", line, 1, 16},
                 {"8 kHz greeting, mu-law message", line, 7, 8},
                 {"44.1 kHz stereo greeting (converted), PCM message", cd, 1, 16}};
    for (const Case& c : cases) {
        double wall = 0;
        const double accelerated =
            run(c.greeting, dir.path(), c.tag, c.bits, std::chrono::milliseconds(1), 60.0, &wall);
        std::printf("  %-52s accelerated (60 s of line in %.1f s): %7.1f ms CPU per minute\n", c.name, wall,
                    accelerated * 1000);
        const double real =
            run(c.greeting, dir.path(), c.tag, c.bits, std::chrono::milliseconds(20), realSeconds, &wall);
        std::printf("  %-52s real time (%.0f s):                %7.1f ms CPU per minute (%.2f%% of a core)\n",
                    c.name, wall, real * 1000, real * 100 / 60);
    }
    return 0;
}
