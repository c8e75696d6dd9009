// Delivery across threads: each application hears its notifications on its own initialising
// thread, and a provider reporting while an application shuts down never reaches it afterwards.
#include "TelephonyConfig.h"
#include "TelephonyTestSupport.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

using namespace kalvo::test;

namespace {

std::mutex g_workerMutex;
std::vector<std::thread::id> g_workerThreads;
std::atomic<int> g_afterShutdown{0};
std::atomic<bool> g_shutDown{false};

void workerCallback(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    std::lock_guard lock(g_workerMutex);
    g_workerThreads.push_back(std::this_thread::get_id());
}

void countingCallback(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    if (g_shutDown)
        ++g_afterShutdown;
}

// Two applications on two threads: each callback runs only on the thread that initialised it.
TEST(DeliveryThreads, EachApplicationOnItsOwnThread)
{
    TelephonyHome home(simConf(1));
    HLINEAPP mainApp = 0;
    HLINE mainLine = 0;
    ASSERT_EQ(initialiseAndOpen(&mainApp, &mainLine), 0);
    std::atomic<bool> workerReady{false};
    std::thread::id workerId;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        HLINEAPP app = 0;
        DWORD count = 0;
        lineInitialize(&app, nullptr, workerCallback, "", &count);
        HLINE line = 0;
        lineOpen(app, 0, &line, TAPI_VERSION_1_4, 0, 2, LINECALLPRIVILEGE_MONITOR, 0, nullptr);
        workerReady = true;
        QEventLoop loop;
        QTimer::singleShot(400, &loop, &QEventLoop::quit);
        loop.exec();
        lineShutdown(app);
    });
    ASSERT_TRUE(waitUntil([&] { return workerReady.load(); }));
    home.sim(0)->offerCall(std::string("1"), std::nullopt);
    ASSERT_TRUE(waitUntil([] { return NotificationLog::instance().all.size() >= 2; }));
    worker.join();
    for (const Seen& s : NotificationLog::instance().all)
        EXPECT_EQ(s.thread, std::this_thread::get_id());
    std::lock_guard lock(g_workerMutex);
    ASSERT_EQ(g_workerThreads.size(), 2u) << "OFFERING and CALLINFO for the monitor";
    for (std::thread::id id : g_workerThreads)
        EXPECT_EQ(id, workerId);
    lineShutdown(mainApp);
}

// A provider thread keeps reporting while the application shuts down: nothing reaches the
// callback after lineShutdown returns, and nothing crashes.
TEST(DeliveryThreads, NoDeliveryAfterShutdownUnderLoad)
{
    TelephonyHome home(simConf(1));
    HLINEAPP app = 0;
    HLINE line = 0;
    ASSERT_EQ(initialiseAndOpen(&app, &line, countingCallback), 0);
    ASSERT_EQ(lineSetStatusMessages(line, LINEDEVSTATE_RINGING, 0), 0);
    kalvo::sim::SimLine* sim = home.sim(0);
    std::atomic<bool> stop{false};
    std::thread provider([&] {
        while (!stop) {
            sim->offerCall(std::string("1"), std::string("x"));
            sim->ring(3);
            sim->hangUp(true);
        }
    });
    pump(30);
    ASSERT_EQ(lineShutdown(app), 0);
    g_shutDown = true;
    pump(50);
    stop = true;
    provider.join();
    pump(20);
    EXPECT_EQ(g_afterShutdown.load(), 0);
}

// Sections come in order of their number whatever the file order; malformed lines, repeated keys
// and keys outside sections are reported with their line numbers.
TEST(TelephonyConfig, ParsesSectionsAndReportsProblems)
{
    using kalvo::telephony::TelephonyConfig;
    TelephonyConfig c = TelephonyConfig::parse("stray = 1\n[Line2]\nname = B\nprovider = sim\n; note\n"
                                               "[Line0]\nname=A\nprovider=sim\nscenario = x\nscenario = y\n"
                                               "nonsense\n[Line0]\n[location\n",
                                               "t.conf");
    ASSERT_EQ(c.lines().size(), 2u);
    EXPECT_EQ(c.lines()[0].deviceId, 0u);
    EXPECT_EQ(c.lines()[0].name, "A");
    EXPECT_EQ(c.lines()[0].keys.at("scenario"), "y");
    EXPECT_EQ(c.lines()[1].name, "B");
    EXPECT_FALSE(c.hasLocation());
    std::string all;
    for (const auto& p : c.problems())
        all += p + "\n";
    EXPECT_NE(all.find("t.conf:1: key 'stray' outside any section"), std::string::npos) << all;
    EXPECT_NE(all.find("t.conf:10: key 'scenario' repeated"), std::string::npos) << all;
    EXPECT_NE(all.find("t.conf:11: expected key = value"), std::string::npos) << all;
    EXPECT_NE(all.find("t.conf:12: section [Line0] appears twice"), std::string::npos) << all;
    EXPECT_NE(all.find("t.conf:13: malformed section header"), std::string::npos) << all;
}

} // namespace
