// The modem line talking both ways on a full-duplex modem (AT+VTR) against the simulator, and what a
// modem without full-duplex voice does when the program plays over a recording.
#include "ModemLineFixture.h"
#include "ModemSignals.h"

#include <thread>

using namespace kalvo::modem;
using namespace kalvo::modem::test;
using namespace kalvo::telephony;
using namespace std::chrono;

class ModemDuplexTest : public ModemLineTest
{
};

// A full-duplex modem: a tone played while the message is recorded switches the modem to AT+VTR;
// the modem receives the tone while the caller is still heard on wave in, at once rather than after
// the hold-back, and a key arrives. Closing wave out goes back to AT+VRX; playing again goes back to
// AT+VTR, the busy tone then still ends the call, and the message has the caller across the switches.
TEST_F(ModemDuplexTest, FullDuplexWhileRecording)
{
    Rig rig(*this);
    auto [sim, sink, modem] = rig.pieces();
    std::string why;
    EXPECT_TRUE(modem.canTalk(why)) << why;
    EXPECT_TRUE(has(sim.commands(), "AT+VTR=?"));
    Caller caller;
    caller.rings = 2;
    caller.voice = kalvo::sip::test::tone(700, 8, 9000);
    caller.endEvent = 'b';
    caller.events = {{2000, '5'}};
    sim.call(caller);
    const Event offer = sink.waitOffer();
    ASSERT_EQ(modem.answer(offer.call, 1), 0);
    ASSERT_EQ(sink.waitState(LINECALLSTATE_CONNECTED).kind, "state");
    auto recording = std::make_shared<VectorSink>();
    ASSERT_EQ(modem.waveIn().startInput(kLine, recording), 0);
    const auto recordingFrom = steady_clock::now();
    std::this_thread::sleep_for(milliseconds(800));

    const std::vector<int16_t> spoken = kalvo::sip::test::tone(1000, 2.0, 8000);
    auto& out = modem.waveOut();
    ASSERT_EQ(out.startOutput(kLine, std::make_shared<VectorSource>(spoken)), 0);
    ASSERT_TRUE(ModemSimulator::waitFor([&] { return sim.duplex(); }, seconds(3)));
    std::this_thread::sleep_for(milliseconds(600));
    const size_t duplexFrom = recorded(*recording);
    const double behind =
        double(duration_cast<milliseconds>(steady_clock::now() - recordingFrom).count()) * 8 -
        double(duplexFrom);
    EXPECT_LT(behind, 0.6 * 8000) << "the caller reaches wave in at once while talking";
    ASSERT_TRUE(ModemSimulator::waitFor([&] { return out.framesProcessed() >= spoken.size(); }, seconds(5)));
    const size_t duplexTo = recorded(*recording);
    out.stop();
    ASSERT_TRUE(ModemSimulator::waitFor([&] { return !sim.duplex(); }, seconds(3)));
    ASSERT_TRUE(ModemSimulator::waitFor([&] { return streams(sim.commands()).size() >= 3; }, seconds(3)));
    EXPECT_EQ(sink.digits(), "5") << "a key during the conversation";
    EXPECT_GT(kalvo::sip::test::bestCorrelation(sim.played(), spoken, 2000, 8000), 0.95);
    EXPECT_EQ(sim.bufferStats().underruns, 0u);
    ASSERT_GT(duplexTo, duplexFrom + 4000);
    EXPECT_GT(share(recording->samples(), 700, duplexFrom, duplexTo), 0.3) << "the caller while talking";
    std::this_thread::sleep_for(milliseconds(800));

    ASSERT_EQ(out.startOutput(kLine, std::make_shared<VectorSource>(kalvo::sip::test::tone(1000, 20))), 0);
    const Event gone = sink.waitState(LINECALLSTATE_DISCONNECTED, seconds(10));
    ASSERT_EQ(gone.kind, "state") << "the busy tone ends the call while talking";
    out.stop();
    modem.waveIn().stop();
    EXPECT_EQ(streams(sim.commands()), (std::vector<std::string>{"AT+VRX", "AT+VTR", "AT+VRX", "AT+VTR"}));
    EXPECT_TRUE(ModemSimulator::waitFor([&] { return !sim.offHook(); }, seconds(3)));
    const std::vector<int16_t> message = recording->samples();
    // Listening only, wave in holds the last 2 s back again; stopping hands them over.
    EXPECT_GT(double(message.size()) / 8000, 6.5) << "nothing of the caller lost across the switches";
}

// A modem without full-duplex voice (AT+VTR=? answers ERROR) says so; wave out refuses to start while
// wave in records, and the caller is still recorded; once recording stops, playback works as before.
// A modem that claims AT+VTR but refuses it in the call falls back to playing alone.
TEST_F(ModemDuplexTest, HalfDuplexModemRefusesToPlayWhileRecording)
{
    ModemModel model;
    model.fullDuplex = false;
    Rig rig(*this, model);
    auto [sim, sink, modem] = rig.pieces();
    std::string why;
    EXPECT_FALSE(modem.canTalk(why));
    EXPECT_EQ(why, ModemLine::kNoDuplexReason);
    Caller caller;
    caller.rings = 2;
    caller.voice = kalvo::sip::test::tone(700, 10, 9000);
    sim.call(caller);
    const Event offer = sink.waitOffer();
    ASSERT_EQ(modem.answer(offer.call, 1), 0);
    ASSERT_EQ(sink.waitState(LINECALLSTATE_CONNECTED).kind, "state");
    auto recording = std::make_shared<VectorSink>();
    ASSERT_EQ(modem.waveIn().startInput(kLine, recording), 0);
    std::this_thread::sleep_for(milliseconds(300));
    auto& out = modem.waveOut();
    EXPECT_EQ(out.startOutput(kLine, std::make_shared<VectorSource>(kalvo::sip::test::tone(1000, 1))),
              kalvo::wave::WAVE_ERR_ALLOCATED);
    EXPECT_FALSE(out.active());
    std::this_thread::sleep_for(milliseconds(3000));
    modem.waveIn().stop();
    EXPECT_GT(recording->samples().size(), 2 * 8000u) << "the recording went on";
    const std::vector<int16_t> greeting = kalvo::sip::test::tone(450, 0.6, 6000);
    play(modem, greeting);
    EXPECT_GT(kalvo::sip::test::bestCorrelation(sim.played(), greeting, 2000, 3000), 0.95);
    ModemSimulator::waitFor([&] { return streams(sim.commands()).size() >= 3; }, seconds(3));
    EXPECT_EQ(streams(sim.commands()), (std::vector<std::string>{"AT+VRX", "AT+VTX", "AT+VRX"}));
    ASSERT_EQ(modem.drop(offer.call, 2), 0);
    EXPECT_EQ(sink.waitState(LINECALLSTATE_IDLE).kind, "state");

    // A modem that answers AT+VTR=? but refuses AT+VTR in a call: the line plays as a half-duplex
    // one would and from then on says it cannot talk.
    ModemModel misreports = model;
    misreports.claimsFullDuplex = true;
    Rig liar(*this, misreports);
    EXPECT_TRUE(liar.modem->canTalk(why));
    liar.sim.call(caller);
    const Event next = liar.sink.waitOffer();
    ASSERT_EQ(liar.modem->answer(next.call, 1), 0);
    ASSERT_EQ(liar.sink.waitState(LINECALLSTATE_CONNECTED).kind, "state");
    ASSERT_EQ(liar.modem->waveIn().startInput(kLine, std::make_shared<VectorSink>()), 0);
    std::this_thread::sleep_for(milliseconds(300));
    play(*liar.modem, greeting);
    EXPECT_GT(kalvo::sip::test::bestCorrelation(liar.sim.played(), greeting, 2000, 3000), 0.95);
    EXPECT_FALSE(liar.modem->canTalk(why));
    EXPECT_EQ(why, ModemLine::kNoDuplexReason);
    liar.modem->waveIn().stop();
}
