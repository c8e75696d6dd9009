// The modem line against the modem simulator on a pseudo-terminal: set-up, rings and caller ID in
// every form, answering, playback and recording through the modem's voice streams, keys, the far end
// hanging up, the fallbacks of other modem models, unfit devices, lock files and unplugging.
#include "ModemLineFixture.h"
#include "ModemSignals.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

using namespace kalvo::modem;
using namespace kalvo::modem::test;
using namespace kalvo::telephony;
using namespace std::chrono;

namespace {

Event callInfoWith(RecordingSink& sink, const std::string& name)
{
    return sink.waitFor([&](const Event& e) { return e.kind == "info" && e.data.callerName == name; },
                        seconds(5));
}

Event callInfoWithout(RecordingSink& sink, DWORD absence)
{
    return sink.waitFor(
        [&](const Event& e) {
            return e.kind == "info" && !e.data.callerName && e.data.callerAbsence == absence;
        },
        seconds(5));
}

} // namespace

// One whole call on a u-law modem: caller ID between the rings, answering with AT+VLS=1, a sweep
// played through AT+VTX arrives intact and paced (no underrun, no overflow), the caller's voice is
// recorded through AT+VRX, keys come as digits during both, and the busy tone that ends the call is
// reported as a disconnect and cut from the recording.
TEST_F(ModemLineTest, WholeCallThroughTheVoiceStreams)
{
    Rig rig(*this);
    auto [sim, sink, modem] = rig.pieces();
    std::string why;
    ASSERT_TRUE(modem.inService(why)) << why;
    const auto commands = sim.commands();
    EXPECT_TRUE(has(commands, "AT+FCLASS=8"));
    EXPECT_TRUE(has(commands, "AT+VCID=1"));
    EXPECT_TRUE(has(commands, "AT+VSM=4,8000,0,0")) << "u-law chosen by name";

    Caller caller;
    caller.rings = 6;
    caller.callerId = formattedCallerId("5551234", "JOHN DOE");
    // Quiet while the greeting plays, then 700 Hz for 1.5 s, then the busy tone.
    caller.voice = join({silence(2.5), kalvo::sip::test::tone(700, 1.5, 9000), busyTone(1.5)});
    caller.endEvent = 'b';
    caller.events = {{600, '1'}, {3000, '#'}};
    sim.call(caller);

    const Event offer = sink.waitOffer();
    ASSERT_EQ(offer.kind, "offer");
    ASSERT_EQ(callInfoWith(sink, "JOHN DOE").data.callerNumber.value_or("-"), "5551234");
    ASSERT_EQ(sink.waitFor([](const Event& e) { return e.kind == "ring" && e.a == 2; }, seconds(5)).kind,
              "ring");
    ASSERT_EQ(modem.answer(offer.call, 7), 0);
    ASSERT_EQ(sink.waitState(LINECALLSTATE_CONNECTED).kind, "state");

    const std::vector<int16_t> greeting = kalvo::sip::test::tone(300, 1.0, 8000);
    play(modem, greeting);
    auto recording = std::make_shared<VectorSink>();
    ASSERT_EQ(modem.waveIn().startInput(kLine, recording), 0);
    const Event gone = sink.waitState(LINECALLSTATE_DISCONNECTED, seconds(15));
    ASSERT_EQ(gone.kind, "state");
    EXPECT_EQ(gone.b, DWORD(LINEDISCONNECTMODE_NORMAL));
    modem.waveIn().stop();
    EXPECT_EQ(sink.waitState(LINECALLSTATE_IDLE).kind, "state");
    EXPECT_EQ(sink.digits(), "1#");
    EXPECT_TRUE(ModemSimulator::waitFor([&] { return !sim.offHook(); }, seconds(3))) << "hung up";

    const std::vector<int16_t> heard = sim.played();
    EXPECT_GT(kalvo::sip::test::bestCorrelation(heard, greeting, 2000, 4000), 0.95);
    const auto stats = sim.bufferStats();
    EXPECT_EQ(stats.underruns, 0u);
    EXPECT_EQ(stats.overflows, 0u);

    const std::vector<int16_t> message = recording->samples();
    ASSERT_GT(message.size(), 8000u);
    EXPECT_GT(share(message, 700), 0.3) << "the caller's voice is in the message";
    const size_t tail = message.size() > 4000 ? message.size() - 4000 : 0;
    EXPECT_LT(share(message, 480, tail) + share(message, 620, tail), 0.1) << "the busy tone was cut";
    modem.close();
}

// Caller ID as raw messages (multiple- and single-data), a private caller, and a caller who stops
// ringing: the offer goes idle by itself about 8 s after the last ring.
TEST_F(ModemLineTest, CallerIdFormsAndACallerWhoGivesUp)
{
    Rig rig(*this);
    auto [sim, sink, modem] = rig.pieces();
    LineDevice* device = &modem;
    struct Case
    {
        std::vector<std::string> lines;
        std::string name, number;
        DWORD absence;
    } cases[] = {{messageCallerId("6095551212", "ANN LEE"), "ANN LEE", "6095551212", LINECALLPARTYID_UNAVAIL},
                 {messageCallerId("6095551213", "", true), "", "6095551213", LINECALLPARTYID_UNAVAIL},
                 {messageCallerId("P", ""), "", "", LINECALLPARTYID_BLOCKED}};
    CallId lastCall = 0;
    for (const Case& c : cases) {
        Caller caller;
        caller.rings = 3;
        caller.callerId = c.lines;
        sim.call(caller);
        const Event offer =
            sink.waitFor([&](const Event& e) { return e.kind == "offer" && e.call > lastCall; }, seconds(5));
        ASSERT_EQ(offer.kind, "offer");
        lastCall = offer.call;
        const Event info = sink.waitFor(
            [&](const Event& e) {
                return e.kind == "info" && e.call == offer.call &&
                       e.data.callerAbsence != LINECALLPARTYID_UNKNOWN;
            },
            seconds(5));
        ASSERT_EQ(info.kind, "info") << c.number;
        EXPECT_EQ(info.data.callerNumber.value_or(""), c.number);
        EXPECT_EQ(info.data.callerName.value_or(""), c.name);
        EXPECT_EQ(info.data.callerAbsence, c.absence);
        ASSERT_EQ(device->answer(offer.call, 1), 0);
        ASSERT_EQ(stateOf(sink, offer.call, LINECALLSTATE_CONNECTED).kind, "state");
        ASSERT_EQ(device->drop(offer.call, 2), 0);
        ASSERT_EQ(stateOf(sink, offer.call, LINECALLSTATE_IDLE).kind, "state");
        ASSERT_TRUE(ModemSimulator::waitFor([&] { return !sim.offHook(); }, seconds(3)));
    }
    Caller quitter;
    quitter.rings = 2;
    const size_t ringsBefore = sink.count("ring");
    sim.call(quitter);
    const Event offer =
        sink.waitFor([&](const Event& e) { return e.kind == "offer" && e.call > lastCall; }, seconds(5));
    ASSERT_EQ(offer.kind, "offer");
    const auto start = steady_clock::now();
    ASSERT_EQ(stateOf(sink, offer.call, LINECALLSTATE_IDLE, seconds(15)).kind, "state");
    EXPECT_GT(steady_clock::now() - start, seconds(7));
    EXPECT_EQ(sink.count("ring") - ringsBefore, 2u);
    EXPECT_FALSE(sim.offHook());
}

// Another modem model: caller ID only in the vendor form, no AT+VLS (ATA answers with VCON), A-law
// as its best format, and a slow answer with line noise: the call still works and the A-law the
// modem played decodes to what was sent.
TEST_F(ModemLineTest, FallbacksOfAnotherModel)
{
    ModemModel model;
    model.standardCallerId = false;
    model.lineSelect = false;
    model.formats = {"1,\"8-BIT LINEAR\",8,0,(8000),(0),(0)", "5,\"A-LAW\",8,0,(8000),(0),(0)"};
    model.answerDelayMs = 800;
    model.noisyAnswer = true;
    Rig rig(*this, model);
    auto [sim, sink, modem] = rig.pieces();
    std::string why;
    ASSERT_TRUE(modem.inService(why)) << why;
    EXPECT_TRUE(has(sim.commands(), "AT#CID=1"));
    EXPECT_TRUE(has(sim.commands(), "AT+VSM=5,8000,0,0"));
    Caller caller;
    caller.callerId = formattedCallerId("O", "O");
    sim.call(caller);
    const Event offer = sink.waitOffer();
    ASSERT_EQ(callInfoWithout(sink, LINECALLPARTYID_OUTOFAREA).kind, "info");
    ASSERT_EQ(modem.answer(offer.call, 3), 0);
    ASSERT_EQ(sink.waitState(LINECALLSTATE_CONNECTED).kind, "state");
    EXPECT_TRUE(has(sim.commands(), "ATA"));
    const std::vector<int16_t> greeting = kalvo::sip::test::tone(450, 0.6, 6000);
    play(modem, greeting);
    EXPECT_GT(kalvo::sip::test::bestCorrelation(sim.played(), greeting, 2000, 3000), 0.95);
    ASSERT_EQ(modem.drop(offer.call, 4), 0);
    EXPECT_EQ(sink.waitState(LINECALLSTATE_IDLE).kind, "state");
    EXPECT_TRUE(has(sim.commands(), "ATH"));
}

// Devices the line cannot use are out of service with a reason a user can act on, and nothing
// is left behind: no voice class, a port that sends garbage, a device that says nothing, a path
// that does not exist, and a port locked by a live process. A stale lock is removed and replaced.
TEST_F(ModemLineTest, UnfitDevicesAndLocks)
{
    auto reasonFor = [&](const ModemModel& model) {
        ModemSimulator sim(model);
        RecordingSink sink;
        auto device = line(sim.device(), sink);
        openAndSettle(*device);
        std::string why;
        EXPECT_FALSE(device->inService(why));
        EXPECT_EQ(sink.count("line"), 1u);
        device->close();
        EXPECT_NE(::access(lockFile(sim.device()).c_str(), F_OK), 0) << "lock file removed";
        return why;
    };
    ModemModel dataOnly;
    dataOnly.voice = false;
    EXPECT_NE(reasonFor(dataOnly).find("no voice mode"), std::string::npos);
    ModemModel garbage;
    garbage.garbage = true;
    EXPECT_NE(reasonFor(garbage).find("does not answer AT"), std::string::npos);
    ModemModel mute;
    mute.answersAt = false;
    EXPECT_NE(reasonFor(mute).find("does not answer AT"), std::string::npos);

    RecordingSink sink;
    auto missing = line("/tmp/wt-modem-no-such-port", sink);
    openAndSettle(*missing);
    std::string why;
    EXPECT_FALSE(missing->inService(why));
    EXPECT_NE(why.find("is not there"), std::string::npos) << why;
    missing->close();

    ModemSimulator sim;
    const std::string lock = lockFile(sim.device());
    {
        std::ofstream(lock) << "         1\n"; // process 1 always lives
        auto device = line(sim.device(), sink);
        openAndSettle(*device);
        EXPECT_FALSE(device->inService(why));
        EXPECT_NE(why.find("in use by process 1"), std::string::npos) << why;
        device->close();
        EXPECT_EQ(::access(lock.c_str(), F_OK), 0) << "another's lock stays";
    }
    {
        std::ofstream(lock) << "    999999\n"; // no such process: a stale lock
        auto device = line(sim.device(), sink);
        openAndSettle(*device);
        ASSERT_TRUE(device->inService(why)) << why;
        std::ifstream in(lock);
        long pid = 0;
        in >> pid;
        EXPECT_EQ(pid, long(::getpid()));
        device->close();
        EXPECT_NE(::access(lock.c_str(), F_OK), 0);
    }
}

// The modem is unplugged while a message is being recorded: the call ends with what was recorded so
// far, the line is out of service with a reason, and when the device returns at the same path the
// line is back in service by itself (tried every 10 s) and answers the next call.
TEST_F(ModemLineTest, UnplugDuringRecordingAndReturn)
{
    Rig rig(*this);
    auto [sim, sink, modem] = rig.pieces();
    Caller caller;
    caller.rings = 2;
    caller.voice = kalvo::sip::test::tone(700, 10, 9000);
    sim.call(caller);
    const Event offer = sink.waitOffer();
    ASSERT_EQ(modem.answer(offer.call, 1), 0);
    ASSERT_EQ(sink.waitState(LINECALLSTATE_CONNECTED).kind, "state");
    auto recording = std::make_shared<VectorSink>();
    ASSERT_EQ(modem.waveIn().startInput(kLine, recording), 0);
    std::this_thread::sleep_for(milliseconds(1500));
    sim.unplug();
    const Event gone = sink.waitState(LINECALLSTATE_DISCONNECTED, seconds(5));
    ASSERT_EQ(gone.kind, "state");
    modem.waveIn().stop();
    EXPECT_GT(recording->samples().size(), 8000u) << "what was recorded is kept";
    EXPECT_GT(share(recording->samples(), 700), 0.3);
    ASSERT_EQ(
        sink.waitFor([](const Event& e) { return e.kind == "line" && e.a == LINEDEVSTATE_OUTOFSERVICE; },
                     seconds(5))
            .kind,
        "line");
    std::string why;
    EXPECT_FALSE(modem.inService(why));
    EXPECT_NE(why.find("unplugged"), std::string::npos) << why;

    sim.replug();
    // In service when it opened, out when unplugged, and in again.
    ASSERT_TRUE(ModemSimulator::waitFor([&] { return sink.count("line") == 3; }, seconds(15)));
    EXPECT_TRUE(modem.inService(why));
    sim.call(Caller{});
    const Event next =
        sink.waitFor([&](const Event& e) { return e.kind == "offer" && e.call != offer.call; }, seconds(5));
    ASSERT_EQ(next.kind, "offer");
    ASSERT_EQ(modem.answer(next.call, 2), 0);
    EXPECT_EQ(stateOf(sink, next.call, LINECALLSTATE_CONNECTED).kind, "state");
}

// kalvo-line probe, the real tool, on a voice modem and on a data-only one: identification, voice
// class, the offered formats and the one the line would use; the port's lock is gone afterwards.
// Then list and watch on a modem line: a call with caller ID, answered at the second ring, keys, and
// the busy tone ending it.
TEST_F(ModemLineTest, KalvoLineProbeListAndWatch)
{
    ModemSimulator voice;
    ModemModel dataOnly;
    dataOnly.voice = false;
    ModemSimulator data(dataOnly);
    const std::string log = m_locks.path().toStdString() + "/probe.log";
    const std::string tool = std::string(std::getenv("KALVO_BIN_DIR")) + "/kalvo-line";
    const pid_t pid = kalvo::sip::test::spawn(log, {tool, "probe", voice.device(), data.device()});
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    const std::string probed = kalvo::sip::test::readFile(log);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << probed;
    EXPECT_NE(probed.find(voice.device() +
                          ": KALVO TEST VOICE MODEM 1; voice mode (full duplex); formats: 0 \"SIGNED PCM\""),
              std::string::npos)
        << probed;
    EXPECT_NE(probed.find("Kalvo would use G.711U at 8000 Hz"), std::string::npos) << probed;
    EXPECT_NE(probed.find(data.device() + ": KALVO TEST VOICE MODEM 1; no voice mode"), std::string::npos)
        << probed;
    EXPECT_NE(::access(lockFile(voice.device()).c_str(), F_OK), 0);

    const std::string conf = m_locks.path().toStdString() + "/telephony.conf";
    std::ofstream(conf) << "[Line0]\nname = Home Line\nprovider = modem\ndevice = " << voice.device() << "\n";
    ::setenv("KALVO_TELEPHONY_CONF", conf.c_str(), 1);
    const pid_t list = kalvo::sip::test::spawn(log, {tool, "list"});
    ASSERT_EQ(::waitpid(list, &status, 0), list);
    const std::string listed = kalvo::sip::test::readFile(log);
    EXPECT_NE(listed.find("0: \"Home Line\" (Kalvo voice modem line)"), std::string::npos) << listed;

    const pid_t watch = kalvo::sip::test::spawn(
        log, {tool, "watch", "0", "--answer-after", "2", "--monitor-digits", "--calls", "1"});
    ASSERT_TRUE(ModemSimulator::waitFor(
        [&] { return kalvo::sip::test::readFile(log).find("LINEDEVSTATE_INSERVICE") != std::string::npos; },
        seconds(10)));
    Caller caller;
    caller.callerId = formattedCallerId("5551234", "ANN LEE");
    caller.voice = join({silence(1), busyTone(1)});
    caller.events = {{300, '4'}, {500, '2'}};
    caller.endEvent = 'b';
    voice.call(caller);
    ASSERT_EQ(::waitpid(watch, &status, 0), watch);
    const std::string out = kalvo::sip::test::readFile(log);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    for (const char* expected :
         {"LINE_CALLSTATE LINECALLSTATE_OFFERING LINECALLPRIVILEGE_OWNER",
          "LINE_CALLINFO LINECALLINFOSTATE_CALLERID name=\"ANN LEE\" number=\"5551234\"",
          "LINE_LINEDEVSTATE LINEDEVSTATE_RINGING 2", "LINE_CALLSTATE LINECALLSTATE_CONNECTED",
          "LINE_MONITORDIGITS '4' LINEDIGITMODE_DTMF", "LINE_MONITORDIGITS '2' LINEDIGITMODE_DTMF",
          "LINE_CALLSTATE LINECALLSTATE_DISCONNECTED LINEDISCONNECTMODE_NORMAL",
          "LINE_CALLSTATE LINECALLSTATE_IDLE"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    ::unsetenv("KALVO_TELEPHONY_CONF");
}

// The other ways a far end is heard to hang up while recording: the dial tone is cut from the
// message like the busy tone; loss of loop current cuts nothing, as everything before it was the
// caller. Silence is the program's to judge: the modem's own detection is switched off.
TEST_F(ModemLineTest, HangUpByDialToneAndLoopCurrent)
{
    Rig rig(*this);
    auto [sim, sink, modem] = rig.pieces();
    EXPECT_TRUE(has(sim.commands(), "AT+VSD=128,0"));
    CallId last = 0;
    for (char code : {'d', 'l'}) {
        const std::vector<int16_t> ending = code == 'd' ? dialTone(2) : kalvo::sip::test::tone(700, 2, 9000);
        Caller caller;
        caller.rings = 2;
        caller.voice = join({kalvo::sip::test::tone(700, 1.5, 9000), ending});
        caller.endEvent = code;
        sim.call(caller);
        const Event offer =
            sink.waitFor([&](const Event& e) { return e.kind == "offer" && e.call > last; }, seconds(5));
        ASSERT_EQ(offer.kind, "offer");
        last = offer.call;
        auto recording = std::make_shared<VectorSink>();
        ASSERT_EQ(modem.answer(offer.call, 1), 0);
        ASSERT_EQ(modem.waveIn().startInput(kLine, recording), 0);
        ASSERT_EQ(stateOf(sink, offer.call, LINECALLSTATE_DISCONNECTED).kind, "state") << code;
        modem.waveIn().stop();
        ASSERT_EQ(stateOf(sink, offer.call, LINECALLSTATE_IDLE).kind, "state");
        const std::vector<int16_t> message = recording->samples();
        const double length = double(message.size()) / 8000;
        if (code == 'l') {
            EXPECT_GT(length, 3.2) << "nothing cut";
        } else {
            EXPECT_LT(length, 2.0) << code << ": the ending cut";
            EXPECT_GT(length, 1.0) << code;
            const size_t tail = message.size() > 2000 ? message.size() - 2000 : 0;
            EXPECT_LT(share(message, 350, tail) + share(message, 440, tail), 0.1) << code;
        }
        EXPECT_GT(share(message, 700, 0, 8000), 0.3) << code;
        ASSERT_TRUE(ModemSimulator::waitFor([&] { return !sim.offHook(); }, seconds(3)));
    }
}

// A modem still starting up (it answers AT only after 5 s): open() returns at once with the line
// opening, closing it then does not wait out the set-up, and opened again it comes into service
// once the modem answers.
TEST_F(ModemLineTest, SlowModemOpensOnItsOwnThread)
{
    ModemModel model;
    model.startUpMs = 5000;
    ModemSimulator sim(model);
    RecordingSink sink;
    auto device = line(sim.device(), sink);
    device->open();
    EXPECT_TRUE(device->opening());
    const auto closing = steady_clock::now();
    device->close();
    EXPECT_LT(steady_clock::now() - closing, seconds(3)) << "close gave up the set-up";
    EXPECT_EQ(sink.count("line"), 0u) << "a set-up given up is not reported";

    device->open();
    ASSERT_EQ(sink.waitFor([](const Event& e) { return e.kind == "line" && e.a == LINEDEVSTATE_INSERVICE; },
                           seconds(15))
                  .kind,
              "line");
    EXPECT_FALSE(device->opening());
    std::string why;
    EXPECT_TRUE(device->inService(why)) << why;
    device->close();
}
