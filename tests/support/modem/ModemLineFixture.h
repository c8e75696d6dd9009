// The modem line tests' shared set-up: a private lock folder, a modem line on the simulator opened
// and settled, and small helpers to play down the line and read what the simulator was told.
#pragma once

#include "ModemLine.h"
#include "ModemProvider.h"
#include "ModemSimulator.h"
#include "ModemWaveDevice.h"
#include "SerialPort.h"
#include "SipPeers.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace kalvo::modem::test {

using kalvo::sip::test::RecordingSink;
using kalvo::sip::test::VectorSink;
using kalvo::sip::test::VectorSource;
using Event = RecordingSink::Event;
using kalvo::telephony::CallId;
using kalvo::telephony::LineConfig;
using kalvo::telephony::LineDevice;
inline const kalvo::wave::WaveFormat kLine{8000, 1};

// Lock files go to a private folder, as /var/lock is the system's.
class ModemLineTest : public ::testing::Test
{
public:
    void SetUp() override { ::setenv("KALVO_LOCK_DIR", m_locks.path().toLocal8Bit().constData(), 1); }
    void TearDown() override { ::unsetenv("KALVO_LOCK_DIR"); }

    std::unique_ptr<LineDevice> line(const std::string& device, RecordingSink& sink)
    {
        LineConfig config;
        config.name = "Modem";
        config.provider = "modem";
        config.keys["device"] = device;
        std::string error;
        auto made = ModemProvider().createLine(config, sink, error);
        EXPECT_TRUE(made) << error;
        return made;
    }
    std::string lockFile(const std::string& device) const { return SerialPort::lockPath(device); }
    // Opens the line and waits until its set-up on the port's thread has succeeded or failed.
    static void openAndSettle(LineDevice& device)
    {
        device.open();
        EXPECT_TRUE(ModemSimulator::waitFor([&] { return !device.opening(); }, std::chrono::seconds(15)));
    }

    QTemporaryDir m_locks;
};

// A simulated modem and an open line on it, reporting to a recording sink.
struct Rig
{
    explicit Rig(ModemLineTest& test, ModemModel model = {}) : sim(std::move(model))
    {
        device = test.line(sim.device(), sink);
        modem = dynamic_cast<ModemLine*>(device.get());
        ModemLineTest::openAndSettle(*modem);
    }
    std::tuple<ModemSimulator&, RecordingSink&, ModemLine&> pieces() { return {sim, sink, *modem}; }

    ModemSimulator sim;
    RecordingSink sink;
    std::unique_ptr<LineDevice> device;
    ModemLine* modem = nullptr;
};

// Plays samples down the line the way the program does: start, wait until taken, stop.
inline void play(ModemLine& line, const std::vector<int16_t>& samples)
{
    auto& out = line.waveOut();
    ASSERT_EQ(out.startOutput(kLine, std::make_shared<VectorSource>(samples)), 0);
    ModemSimulator::waitFor([&] { return out.framesProcessed() >= samples.size(); },
                            std::chrono::seconds(10));
    out.stop();
}

inline Event stateOf(RecordingSink& sink, CallId call, DWORD state,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    return sink.waitFor([&](const Event& e) { return e.kind == "state" && e.call == call && e.a == state; },
                        timeout);
}

inline bool has(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// The commands among list that start a voice stream, in order.
inline std::vector<std::string> streams(const std::vector<std::string>& list)
{
    std::vector<std::string> out;
    for (const std::string& command : list)
        if (command == "AT+VRX" || command == "AT+VTX" || command == "AT+VTR")
            out.push_back(command);
    return out;
}

inline size_t recorded(const VectorSink& sink)
{
    return sink.samples().size();
}

} // namespace kalvo::modem::test
