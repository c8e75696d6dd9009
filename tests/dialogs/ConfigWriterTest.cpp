// In-place changes of one line's section of the telephony configuration, and the atomic write.
#include "TelephonyConfigWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using kalvo::telephony::TelephonyConfigWriter;

namespace {
const std::string kText =
    "# comment at the top\n[Line0]\nname = A\nlisten = 0.0.0.0:5060\n; note\n"
    "user = old\n\n[Line1]\nname = B\nlisten = 0.0.0.0:5070\n\n[location]\ncountry_code = 1\n";
}

// Keys are replaced, removed and added in their own section only; comments, blank lines and other
// sections stay as written; an unknown section is an error and changes nothing.
TEST(ConfigWriterTest, changesOnlyItsSection)
{
    std::string error;
    const std::string out = TelephonyConfigWriter::apply(
        kText, 1, {{"listen", "127.0.0.1:6000"}, {"user", "kalvo"}, {"name", "B"}}, error);
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(out,
              "# comment at the top\n[Line0]\nname = A\nlisten = 0.0.0.0:5060\n; note\nuser = old\n\n"
              "[Line1]\nname = B\nlisten = 127.0.0.1:6000\nuser = kalvo\n\n[location]\ncountry_code = 1\n");
    const std::string removed =
        TelephonyConfigWriter::apply(kText, 0, {{"user", ""}, {"registrar", ""}}, error);
    EXPECT_EQ(removed, "# comment at the top\n[Line0]\nname = A\nlisten = 0.0.0.0:5060\n; note\n\n"
                       "[Line1]\nname = B\nlisten = 0.0.0.0:5070\n\n[location]\ncountry_code = 1\n");
    EXPECT_EQ(TelephonyConfigWriter::apply(kText, 7, {{"user", "x"}}, error), kText);
    EXPECT_FALSE(error.empty());
}

// The file is replaced whole with its mode kept and no temporary file left; a failed update leaves
// the old file.
TEST(ConfigWriterTest, updateReplacesTheFile)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/telephony.conf";
    {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kText.c_str());
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    std::string error;
    ASSERT_TRUE(TelephonyConfigWriter::update(path, 0, {{"user", "new"}}, error)) << error;
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("user = new\n"));
    EXPECT_EQ(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    EXPECT_FALSE(TelephonyConfigWriter::update(path, 9, {{"user", "x"}}, error));
    EXPECT_FALSE(TelephonyConfigWriter::update(dir.path().toStdString() + "/missing.conf", 0, {}, error));
}
