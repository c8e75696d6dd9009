// The simulated line's own parts: scenario parsing, audio through its wave devices, the wave device
// table, and kalvo-line driven end to end by a scenario.
#include "SimScenario.h"
#include "TelephonyTestSupport.h"
#include "WavFile.h"
#include "WaveDeviceTable.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <mutex>

using namespace kalvo::test;
using namespace kalvo::sim;
using namespace kalvo::wave;

namespace {

// Times (absolute and relative), quoted caller ids, absent fields, and errors with their line.
TEST(SimScenario, ParsesEventsAndReportsErrors)
{
    std::vector<SimScenarioEvent> events;
    std::string error;
    ASSERT_TRUE(parseScenario("# demo\n0.5 offer number=123 name=\"A \\\"B\\\" C\"\n+1 ring 3\n2 offer\n"
                              "2.5 audio v.wav\n3 digits 1*#\n3 hangup\n",
                              "/base", "s", events, error))
        << error;
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].name, std::optional<std::string>("A \"B\" C"));
    EXPECT_EQ(events[1].at, 1.5);
    EXPECT_EQ(events[1].count, 3);
    EXPECT_FALSE(events[2].number.has_value());
    EXPECT_EQ(events[3].text, "/base/v.wav");
    EXPECT_FALSE(parseScenario("1 ring\n0.5 ring\n", "/", "s", events, error));
    EXPECT_EQ(error, "s:2: events must be in time order");
    EXPECT_FALSE(parseScenario("1 dance\n", "/", "s", events, error));
    EXPECT_FALSE(parseScenario("1 offer colour=red\n", "/", "s", events, error));
    EXPECT_FALSE(parseScenario("x ring\n", "/", "s", events, error));
    EXPECT_FALSE(parseScenario("1 digits 12x\n", "/", "s", events, error));
    ASSERT_TRUE(loadScenario(sourcePath("tools/kalvo-line/demo/demo-call.txt").toStdString(), events, error))
        << error;
    EXPECT_EQ(events.size(), 7u);
}

// Sound-card devices are numbered from 0; line devices live in their own range and leave the
// sound-card count alone; removal and replacement work per direction.
TEST(WaveDeviceTable, SeparateRangesPerDirection)
{
    WaveDeviceTable& table = WaveDeviceTable::instance();
    auto out0 = std::make_shared<SimWaveDevice>("card out 0", WaveDirection::Out);
    auto out1 = std::make_shared<SimWaveDevice>("card out 1", WaveDirection::Out);
    table.setSoundCardDevices(WaveDirection::Out, {out0, out1});
    EXPECT_EQ(table.soundCardCount(WaveDirection::Out), 2u);
    EXPECT_EQ(table.soundCardCount(WaveDirection::In), 0u);
    EXPECT_EQ(table.find(WaveDirection::Out, 1), out1);
    EXPECT_EQ(table.find(WaveDirection::In, 1), nullptr);
    auto lineIn = std::make_shared<SimWaveDevice>("line in", WaveDirection::In);
    WaveDeviceId id = table.addLineDevice(lineIn);
    EXPECT_TRUE(WaveDeviceTable::isLineDevice(id));
    EXPECT_EQ(table.find(WaveDirection::In, id), lineIn);
    EXPECT_EQ(table.find(WaveDirection::Out, id), nullptr);
    EXPECT_EQ(table.soundCardCount(WaveDirection::In), 0u);
    table.removeLineDevice(WaveDirection::In, id);
    EXPECT_EQ(table.find(WaveDirection::In, id), nullptr);
    EXPECT_NE(table.addLineDevice(lineIn), id) << "ids are not reused";
    table.setSoundCardDevices(WaveDirection::Out, {});
    EXPECT_EQ(table.find(WaveDirection::Out, 0), nullptr);
}

class VectorSource : public WaveSource
{
public:
    explicit VectorSource(std::vector<int16_t> f) : frames(std::move(f)) {}
    size_t readFrames(int16_t* out, size_t count) override
    {
        size_t n = std::min(count, frames.size() - pos);
        std::copy_n(frames.begin() + static_cast<long>(pos), n, out);
        pos += n;
        return n;
    }
    std::vector<int16_t> frames;
    std::atomic<size_t> pos{0};
};

class VectorSink : public WaveSink
{
public:
    void writeFrames(const int16_t* f, size_t count) override
    {
        std::lock_guard lock(mutex);
        frames.insert(frames.end(), f, f + count);
    }
    size_t size()
    {
        std::lock_guard lock(mutex);
        return frames.size();
    }
    std::mutex mutex;
    std::vector<int16_t> frames;
};

// Audio of a connected call: what is played on the line's wave out reaches the caller unchanged,
// and the caller's queued voice arrives on wave in; formats other than 8 kHz mono are refused.
TEST(SimLineAudio, PlayedAndRecordedFramesArriveUnchanged)
{
    TelephonyHome home(simConf(1, "audio = fast\n"));
    SimLine* sim = home.sim(0);
    HLINEAPP app = 0;
    HLINE line = 0;
    ASSERT_EQ(initialiseAndOpen(&app, &line), 0);
    sim->offerCall(std::string("1"), std::nullopt);
    HCALL call = firstCallHandle();
    ASSERT_NE(call, 0u);
    ASSERT_GT(lineAnswer(call, nullptr, 0), 0);

    kalvo::telephony::LineWaveIds ids = sim->waveDevices();
    auto out = WaveDeviceTable::instance().find(WaveDirection::Out, ids.waveOut);
    auto in = WaveDeviceTable::instance().find(WaveDirection::In, ids.waveIn);
    ASSERT_TRUE(out && in);
    EXPECT_EQ(out->startOutput(WaveFormat{16000, 1}, std::make_shared<VectorSource>(std::vector<int16_t>{})),
              WAVE_ERR_BADFORMAT);
    EXPECT_EQ(in->startOutput(WaveFormat{8000, 1}, std::make_shared<VectorSource>(std::vector<int16_t>{})),
              WAVE_ERR_NOTSUPPORTED);

    std::vector<int16_t> tone(1600);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(8000 * std::sin(static_cast<double>(i) * 0.3));
    ASSERT_EQ(out->startOutput(WaveFormat{8000, 1}, std::make_shared<VectorSource>(tone)), WAVE_OK);
    EXPECT_EQ(out->startOutput(WaveFormat{8000, 1}, std::make_shared<VectorSource>(tone)),
              WAVE_ERR_ALLOCATED);
    ASSERT_TRUE(waitUntil([&] { return sim->playedToCaller().size() >= tone.size(); }));
    out->stop();
    EXPECT_EQ(sim->playedToCaller(), tone);

    std::vector<int16_t> voice(800, 1234);
    sim->queueCallerAudio(voice);
    auto sink = std::make_shared<VectorSink>();
    ASSERT_EQ(in->startInput(WaveFormat{8000, 1}, sink), WAVE_OK);
    ASSERT_TRUE(waitUntil([&] { return sim->pendingCallerAudio() == 0 && sink->size() >= 800; }));
    in->stop();
    ASSERT_GE(sink->frames.size(), 800u);
    EXPECT_TRUE(std::equal(voice.begin(), voice.end(), sink->frames.begin()));
    EXPECT_EQ(lineShutdown(app), 0);
}

// kalvo-line watch on a scenario line: it prints each notification by name, answers on the second
// ring, monitors digits, records the caller's audio to a WAV file and exits 0 after the call.
TEST(KalvoLine, WatchFollowsAScenarioEndToEnd)
{
    IsolatedHome home;
    std::string dir = home.path().toStdString();
    std::vector<int16_t> voice(2400, 3000);
    std::string error;
    ASSERT_TRUE(writeWav8kMono(dir + "/voice.wav", voice, error)) << error;
    std::ofstream(dir + "/scenario.txt") << "0.2 offer number=5551234 name=\"Alice Example\"\n"
                                            "+0.1 ring\n+0.1 ring\n+0.3 audio voice.wav\n+0.2 digits 42\n"
                                            "+0.6 hangup\n";
    std::string conf = qgetenv("KALVO_TELEPHONY_CONF").toStdString();
    QDir().mkpath(home.configHome() + "/kalvo");
    std::ofstream(conf) << "[Line0]\nname = Demo\nprovider = sim\nscenario = " << dir
                        << "/scenario.txt\n[Line1]\nname = SIP Line\nprovider = sip\n";

    QProcess list;
    list.start(binaryPath("kalvo-line"), {"list"});
    ASSERT_TRUE(list.waitForFinished(10000));
    QString listed = list.readAllStandardOutput();
    QString listErr = list.readAllStandardError();
    EXPECT_EQ(list.exitCode(), 0);
    EXPECT_TRUE(listed.contains("0: \"Demo\"")) << listed.toStdString();
    EXPECT_TRUE(listed.contains("wave in: 4")) << listed.toStdString();
    EXPECT_TRUE(listed.contains("1: \"SIP Line\" (Kalvo SIP line)")) << listed.toStdString();

    QProcess watch;
    watch.start(binaryPath("kalvo-line"),
                {"watch", "0", "--answer-after", "2", "--monitor-digits", "--record",
                 QString::fromStdString(dir + "/rec.wav"), "--calls", "1"});
    ASSERT_TRUE(watch.waitForFinished(15000));
    QString out = watch.readAllStandardOutput();
    EXPECT_EQ(watch.exitCode(), 0) << out.toStdString();
    for (const char* expected :
         {"LINE_CALLSTATE LINECALLSTATE_OFFERING LINECALLPRIVILEGE_OWNER",
          "LINE_CALLINFO LINECALLINFOSTATE_CALLERID name=\"Alice Example\" number=\"5551234\"",
          "LINE_LINEDEVSTATE LINEDEVSTATE_RINGING 2", "LINE_REPLY 1 SUCCESS",
          "LINE_CALLSTATE LINECALLSTATE_CONNECTED", "LINE_MONITORDIGITS '4' LINEDIGITMODE_DTMF",
          "LINE_MONITORDIGITS '2' LINEDIGITMODE_DTMF",
          "LINE_CALLSTATE LINECALLSTATE_DISCONNECTED LINEDISCONNECTMODE_NORMAL",
          "LINE_CALLSTATE LINECALLSTATE_IDLE"})
        EXPECT_TRUE(out.contains(expected)) << expected << "\n" << out.toStdString();
    std::vector<int16_t> recorded;
    ASSERT_TRUE(readWav8kMono(dir + "/rec.wav", recorded, error)) << error;
    EXPECT_GE(std::count(recorded.begin(), recorded.end(), int16_t(3000)), 2400) << "the caller's voice";
}

// Ctrl-C (SIGINT) while watching shuts the line down and exits 0.
TEST(KalvoLine, InterruptShutsDownCleanly)
{
    IsolatedHome home;
    QDir().mkpath(home.configHome() + "/kalvo");
    std::ofstream(qgetenv("KALVO_TELEPHONY_CONF").toStdString()) << simConf(1);
    QProcess watch;
    watch.start(binaryPath("kalvo-line"), {"watch", "0"});
    ASSERT_TRUE(watch.waitForReadyRead(10000));
    EXPECT_TRUE(watch.readAllStandardOutput().contains("watching line 0 \"Sim 0\""));
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(10000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
}

} // namespace
