// Moving message files to a messages folder on another file system: a tmpfs mounted by the test, or
// /dev/shm when that is another device, with a real call database.
#include "MessageFolderMove.h"
#include "SqliteCallDatabase.h"
#include "VbError.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {
void put(const QString& path, const QByteArray& data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

dev_t deviceOf(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : 0;
}

class FolderMoveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        m_old = m_home.path() + "/old/";
        QDir().mkpath(m_old);
        const QString mountPoint = m_home.path() + "/other";
        QDir().mkpath(mountPoint);
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=8m") == 0) {
            m_mounted = mountPoint;
            m_new = mountPoint + "/";
        } else if (deviceOf("/dev/shm") != 0 && deviceOf("/dev/shm") != deviceOf(m_old)) {
            m_shm = std::make_unique<QTemporaryDir>("/dev/shm/kalvo-move-XXXXXX");
            m_new = m_shm->path() + "/";
        }
    }
    void TearDown() override
    {
        if (!m_mounted.isEmpty())
            ::umount2(QFile::encodeName(m_mounted).constData(), MNT_DETACH);
    }

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_shm;
    QString m_old;
    QString m_new;
    QString m_mounted;
};
} // namespace

// A file moved to another file system arrives whole, leaves no partial file and is gone from the
// old folder; a file already in the new folder is never replaced, and a missing one is reported.
TEST_F(FolderMoveTest, acrossFileSystems)
{
    if (m_new.isEmpty())
        GTEST_SKIP() << "no second file system: cannot mount a tmpfs and /dev/shm is on the same device";
    ASSERT_NE(deviceOf(m_old), deviceOf(m_new));
    const QByteArray audio(200000, 'x');
    put(m_old + "a.wav", audio);
    MessageFolderMove::moveFile(m_old + "a.wav", m_new + "a.wav");
    EXPECT_EQ(contents(m_new + "a.wav"), audio);
    EXPECT_FALSE(QFile::exists(m_old + "a.wav"));
    EXPECT_FALSE(QFile::exists(m_new + "a.wav.part"));

    put(m_old + "b.wav", "old");
    put(m_new + "b.wav", "new");
    try {
        MessageFolderMove::moveFile(m_old + "b.wav", m_new + "b.wav");
        FAIL() << "a clashing file was replaced";
    } catch (const kalvo::VbError& e) {
        EXPECT_EQ(e.number(), 58);
    }
    EXPECT_EQ(contents(m_old + "b.wav"), QByteArray("old"));
    EXPECT_EQ(contents(m_new + "b.wav"), QByteArray("new"));

    try {
        MessageFolderMove::moveFile(m_old + "none.wav", m_new + "none.wav");
        FAIL() << "a missing file was reported as moved";
    } catch (const kalvo::VbError& e) {
        EXPECT_EQ(e.number(), 53);
    }
}

// The move over the call records: calls without a message are skipped, a clash is logged with the
// designed label and the next record is still moved.
TEST_F(FolderMoveTest, recordsAcrossFileSystems)
{
    if (m_new.isEmpty())
        GTEST_SKIP() << "no second file system: cannot mount a tmpfs and /dev/shm is on the same device";
    kalvo::SqliteCallDatabase db;
    QDir().mkpath(m_home.path() + "/Calls");
    db.Open(m_home.path() + "/Calls");
    for (const QString& name : {QString("1.wav"), QString(), QString("2.wav"), QString("3.wav")}) {
        db.AddNew();
        db.SetField("Call_Name", QString("N"));
        db.SetField("Call_Massage_Name", name);
        db.SetField("Type", name.isEmpty() ? QString("-1") : QString("0.1"));
        db.Update();
    }
    put(m_old + "1.wav", "one");
    put(m_old + "2.wav", "two");
    put(m_new + "2.wav", "someone else's");
    put(m_old + "3.wav", "three");
    QStringList log;
    const int moved = MessageFolderMove::move(db, m_old, m_new, [&](const QString& l) { log << l; });
    EXPECT_EQ(moved, 2);
    EXPECT_EQ(contents(m_new + "1.wav"), QByteArray("one"));
    EXPECT_EQ(contents(m_new + "3.wav"), QByteArray("three"));
    EXPECT_EQ(contents(m_old + "2.wav"), QByteArray("two"));
    EXPECT_EQ(contents(m_new + "2.wav"), QByteArray("someone else's"));
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log.first(), QString("ErrcmdBrowsMessagesPath 58 File already exists"));
}
