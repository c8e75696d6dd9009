// The rules switches of the real kalvo program on a real call database file: import, list,
// export, a faulty file refused with its line and nothing imported, a rule's own greeting, and a
// wrong command line.
#include "CallerRuleStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {
struct Result
{
    int status = -1;
    std::string output;
};

// Runs kalvo with arguments in the program folder home; stdout and stderr together.
Result runKalvo(const QString& home, const QString& arguments)
{
    const QString command = "KALVO_HOME='" + home + "' '" + qEnvironmentVariable("KALVO_BIN_DIR") +
                            "/kalvo' " + arguments + " 2>&1";
    Result run;
    std::FILE* pipe = ::popen(command.toLocal8Bit().constData(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, got);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

void write(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}
} // namespace

// Import, list and export work on a database that does not exist yet, with no display and no
// running program; a faulty file changes nothing and says where it is wrong.
TEST(RulesCommandLine, ImportListExportAndRefusal)
{
    QTemporaryDir home;
    const QString good = home.filePath("good.csv");
    write(good, "number,name,kind,note\n+1900*,,block,premium\nwithheld,,block,\"no, number\"\n"
                "+19005550199,\"Aunt \"\"Jo\"\"\",allow,family\n");
    Result run = runKalvo(home.path(), "--rules-import '" + good + "'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Imported 3 rules from"), std::string::npos) << run.output;
    EXPECT_TRUE(QFile::exists(home.path() + "/Calls/calls.sqlite3"));
    EXPECT_EQ(QFile::permissions(home.path() + "/Calls/calls.sqlite3") &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());

    run = runKalvo(home.path(), "--rules-list");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("block\t+1900*\t\tpremium\t0\t0"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("allow\t+19005550199\tAunt \"Jo\"\tfamily"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("3 rules"), std::string::npos) << run.output;

    const QString bad = home.filePath("bad.csv");
    write(bad, "number,name,kind,note\n5550001,,block,\n5550002,,blokc,\n");
    run = runKalvo(home.path(), "--rules-import '" + bad + "'");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("line 3"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("nothing imported"), std::string::npos) << run.output;

    const QString out = home.filePath("out.csv");
    run = runKalvo(home.path(), "--rules-export '" + out + "'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Exported 3 rules to"), std::string::npos) << run.output;
    QFile exported(out);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    // Numbers starting with "+" are written so a spreadsheet shows them as text.
    EXPECT_EQ(exported.readAll(), QByteArray("number,name,kind,note\r\n'+1900*,,block,premium\r\n"
                                             "withheld,,block,\"no, number\"\r\n"
                                             "'+19005550199,\"Aunt \"\"Jo\"\"\",allow,family\r\n"));

    // The same file again adds nothing twice.
    EXPECT_EQ(runKalvo(home.path(), "--rules-import '" + good + "'").status, 0);
    kalvo::CallerRuleStore store;
    ASSERT_TRUE(store.open(home.path() + "/Calls"));
    EXPECT_EQ(store.rules().size(), 3u);

    EXPECT_EQ(runKalvo(home.path(), "--rules-import").status, 2);
    EXPECT_EQ(runKalvo(home.path(), "--rules-purge").status, 2);
    EXPECT_EQ(runKalvo(home.path(), "--rules-export '" + home.path() + "/no/such/dir/x.csv'").status, 1);
    EXPECT_EQ(runKalvo(home.path(), "--rules-import '" + home.path() + "/missing.csv'").status, 1);

    // A rule's own greeting is imported from the last column and listed after the counts.
    write(good, "number,name,kind,note,greeting\n+15550100,Office,allow,,Business.wav\n");
    EXPECT_EQ(runKalvo(home.path(), "--rules-import '" + good + "'").status, 0);
    run = runKalvo(home.path(), "--rules-list");
    EXPECT_NE(run.output.find("total\tgreeting\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Office\t\t0\t0\tBusiness.wav\n"), std::string::npos) << run.output;

    // Another program's table of the same name is refused with what is wrong, never changed.
    QTemporaryDir other;
    {
        kalvo::CallerRuleStore probe;
        ASSERT_TRUE(probe.open(other.path() + "/Calls"));
    }
    ASSERT_EQ(std::system(("sqlite3 '" + other.path() +
                           "/Calls/calls.sqlite3' 'DROP TABLE CallerRules; "
                           "CREATE TABLE CallerRules (x TEXT)'")
                              .toLocal8Bit()
                              .constData()),
              0);
    run = runKalvo(other.path(), "--rules-list");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("not the ones Kalvo keeps"), std::string::npos) << run.output;
}
