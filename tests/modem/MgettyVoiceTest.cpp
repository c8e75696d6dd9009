// The simulator against a client nobody here wrote: the voice tools of mgetty-voice (vm, with its
// generic V.253 driver) record the caller's voice from the simulated modem and play it back to it.
// vm only takes ports under /dev, so the test links the pseudo-terminal there for the run; where it
// may not (no write access to /dev) or vm is not installed, the test is skipped and says why.
#include "ModemSignals.h"
#include "ModemSimulator.h"
#include "SipPeers.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace kalvo::modem::test;
using namespace std::chrono;

namespace {

// Runs vm with args in dir; its output goes to log. @return its exit status (-1 on timeout).
int runVm(const std::vector<std::string>& args, const std::string& dir, const std::string& log, int seconds)
{
    std::vector<std::string> argv = {"/usr/bin/vm"};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
    const pid_t pid = kalvo::sip::test::spawn(log, argv);
    std::filesystem::current_path(cwd);
    for (int i = 0; i < seconds * 10; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(milliseconds(100));
    }
    kalvo::sip::test::terminate(pid);
    return -1;
}

bool has(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

// vm records from the simulated modem and plays the recording back to it.
TEST(MgettyVoice, RecordsAndPlaysThroughTheSimulator)
{
    if (::access("/usr/bin/vm", X_OK) != 0)
        GTEST_SKIP() << "mgetty-voice is not installed (apt-get install mgetty-voice)";
    ModemSimulator sim;
    const std::string name = "ttyKalvoSim" + std::to_string(::getpid());
    const std::string devLink = "/dev/" + name;
    std::error_code ec;
    std::filesystem::create_symlink(std::filesystem::read_symlink(sim.device()), devLink, ec);
    if (ec)
        GTEST_SKIP() << "vm takes only ports under /dev, and " << devLink
                     << " cannot be made: " << ec.message();
    // The link goes, and so does a lock vm left behind when a step failed.
    struct Cleanup
    {
        std::string link, lock;
        ~Cleanup()
        {
            std::error_code ignored;
            std::filesystem::remove(link, ignored);
            std::filesystem::remove(lock, ignored);
        }
    } cleanup{devLink, "/var/lock/LCK.." + name};
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    Caller caller;
    caller.voice = kalvo::sip::test::tone(700, 3.0, 9000);
    sim.call(caller); // vm does not wait for rings; the caller's voice starts when the line is taken
    const int recorded = runVm({"record", "-t", "-L", "3", "-l", name, folder + "/in.rmd"}, folder,
                               folder + "/record.log", 30);
    ASSERT_EQ(recorded, 0) << kalvo::sip::test::readFile(folder + "/record.log");
    // vm chose 8-bit unsigned PCM (method 1) from the list: its file is a 32-byte header, then samples.
    const std::string file = kalvo::sip::test::readFile(folder + "/in.rmd");
    ASSERT_GT(file.size(), 32u + 8000 * 2) << "about 3 s recorded";
    EXPECT_EQ(file.substr(0, 4), "RMD1");
    std::vector<int16_t> voice;
    for (size_t i = 32; i < file.size(); ++i)
        voice.push_back(int16_t((int(uint8_t(file[i])) - 128) * 256));
    EXPECT_GT(share(voice, 700), 0.3) << "the caller's voice, as the simulator sent it";
    EXPECT_TRUE(has(sim.commands(), "AT+VRX"));

    // The recording goes back to the line through AT+VTX.
    const int played =
        runVm({"play", "-t", "-l", name, folder + "/in.rmd"}, folder, folder + "/play.log", 30);
    ASSERT_EQ(played, 0) << kalvo::sip::test::readFile(folder + "/play.log");
    EXPECT_TRUE(has(sim.commands(), "AT+VTX"));
    const std::vector<int16_t> heard = sim.played();
    EXPECT_GT(heard.size(), voice.size() * 9 / 10);
    EXPECT_GT(share(heard, 700), 0.3);
    // vm sends as fast as the modem's clear-to-send lets it, so the buffer runs full; it must not run dry.
    EXPECT_EQ(sim.bufferStats().underruns, 0u);
}
