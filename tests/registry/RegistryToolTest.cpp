// kalvo-reg from the outside: what it prints, its exit status, and a writer killed mid-update.
#include "RegistryHive.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using kalvo::registry::RegistryHive;

namespace {

struct ToolRun
{
    int status;
    QString out, err;
};

ToolRun reg(const QStringList& args)
{
    QProcess p;
    p.start(kalvo::test::binaryPath("kalvo-reg"), args);
    p.waitForFinished(10000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// Adding, querying and deleting print and exit the way a person scripting the tool expects.
TEST(RegistryTool, AddQueryDeleteAndClearFailures)
{
    kalvo::test::IsolatedHome home;
    const QString key = "HKLM\\SOFTWARE\\Kalvo";
    EXPECT_EQ(reg({"add", key, "/v", "NumOfRing", "/t", "REG_SZ", "/d", "3"}).status, 0);
    EXPECT_EQ(reg({"add", key, "/v", "Count", "/t", "REG_DWORD", "/d", "5"}).status, 0);
    EXPECT_EQ(reg({"add", key, "/v", "Blob", "/t", "REG_BINARY", "/d", "0aff"}).status, 0);

    ToolRun all = reg({"query", key});
    EXPECT_EQ(all.status, 0);
    EXPECT_TRUE(all.out.contains("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kalvo"));
    EXPECT_TRUE(all.out.contains("    NumOfRing    REG_SZ    3\n"));
    EXPECT_TRUE(all.out.contains("    Count    REG_DWORD    0x5\n"));
    EXPECT_TRUE(all.out.contains("    Blob    REG_BINARY    0AFF\n"));

    ToolRun one = reg({"query", key, "/v", "numofring"});
    EXPECT_EQ(one.status, 0);
    EXPECT_FALSE(one.out.contains("Count"));

    ToolRun missingValue = reg({"query", key, "/v", "Nope"});
    EXPECT_NE(missingValue.status, 0);
    EXPECT_TRUE(missingValue.err.contains("Nope"));
    EXPECT_NE(reg({"query", "HKLM\\SOFTWARE\\Nothing"}).status, 0);
    EXPECT_NE(reg({"query", "HKXX\\SOFTWARE"}).status, 0);
    EXPECT_NE(reg({"add", key, "/v", "Bad", "/t", "REG_DWORD", "/d", "twelve"}).status, 0);
    EXPECT_NE(reg({"frobnicate", key}).status, 0);

    EXPECT_EQ(reg({"delete", key, "/v", "Count"}).status, 0);
    EXPECT_NE(reg({"delete", key, "/v", "Count"}).status, 0);
}

// A writer killed at any moment leaves a file that parses and holds either the old or the new value.
TEST(RegistryTool, KilledWriterLeavesOldOrNewFile)
{
    kalvo::test::IsolatedHome home;
    const QString key = "HKLM\\SOFTWARE\\Kalvo";
    ASSERT_EQ(reg({"add", key, "/v", "Sentinel", "/d", "kept"}).status, 0);
    ASSERT_EQ(reg({"add", key, "/v", "Counter", "/d", "0"}).status, 0);
    const QByteArray tool = QFile::encodeName(kalvo::test::binaryPath("kalvo-reg"));
    const QString hivePath = home.registryDir() + "/HKEY_LOCAL_MACHINE.reg";

    std::mt19937 random(42);
    std::string committed = "0";
    int interrupted = 0;
    for (int round = 1; round <= 60; ++round) {
        // A large value makes the write long enough to be cut at different points.
        const std::string value = std::to_string(round) + std::string(200000, char('a' + round % 26));
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            execl(tool.constData(), "kalvo-reg", "add", "HKLM\\SOFTWARE\\Kalvo", "/v", "Counter", "/d",
                  value.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        usleep(std::uniform_int_distribution<useconds_t>(0, 6000)(random));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFSIGNALED(status))
            ++interrupted;

        QFile file(hivePath);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        RegistryHive hive("HKEY_LOCAL_MACHINE");
        std::string error;
        ASSERT_TRUE(hive.parse(file.readAll().toStdString(), error)) << "round " << round << ": " << error;
        const auto* stored = hive.findKey("SOFTWARE\\Kalvo");
        ASSERT_NE(stored, nullptr);
        ASSERT_NE(RegistryHive::findValue(*stored, "Sentinel"), nullptr);
        std::string now = RegistryHive::findValue(*stored, "Counter")->data;
        now.pop_back(); // the NUL
        ASSERT_TRUE(now == committed || now == value) << "round " << round;
        committed = now;
    }
    EXPECT_GT(interrupted, 0);
}

} // namespace
