// Moving message files to a messages folder on another file system: a tmpfs mounted by the test, or
// /dev/shm when that is another device, with a real call database.
#include "CallRecords.h"
#include "MessageFolderMove.h"
#include "SqliteCallDatabase.h"
#include "VbError.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
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

unsigned modeOf(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
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

// The move over the call records: calls without a message are skipped; a clash is logged with the
// designed label, the next record is still tried, and then every moved file goes back, so all
// messages stay in one folder.
TEST_F(FolderMoveTest, recordsAcrossFileSystems)
{
    if (m_new.isEmpty())
        GTEST_SKIP() << "no second file system: cannot mount a tmpfs and /dev/shm is on the same device";
    kalvo::SqliteCallDatabase db;
    QDir().mkpath(m_home.path() + "/Calls");
    db.Open(m_home.path() + "/Calls");
    for (const QString& name : {QString("1.wav"), QString(), QString("2.wav"), QString("3.wav")})
        kalvo::test::appendCall(db, kalvo::test::shortCall(name));
    put(m_old + "1.wav", "one");
    put(m_old + "2.wav", "two");
    put(m_new + "2.wav", "someone else's");
    put(m_old + "3.wav", "three");
    QStringList log;
    const auto clashed = MessageFolderMove::move(db, m_old, m_new, [&](const QString& l) { log << l; });
    EXPECT_EQ(clashed.moved, 0);
    EXPECT_EQ(clashed.failed, 1);
    EXPECT_EQ(clashed.reason, QString("File already exists"));
    for (const char* name : {"1.wav", "2.wav", "3.wav"})
        EXPECT_TRUE(QFile::exists(m_old + name)) << name;
    EXPECT_FALSE(QFile::exists(m_new + "1.wav"));
    EXPECT_EQ(contents(m_new + "2.wav"), QByteArray("someone else's"));
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log.first(), QString("ErrcmdBrowsMessagesPath 58 File already exists"));

    QFile::remove(m_new + "2.wav");
    const auto done = MessageFolderMove::move(db, m_old, m_new, [&](const QString& l) { log << l; });
    EXPECT_EQ(done.moved, 3);
    EXPECT_EQ(contents(m_new + "2.wav"), QByteArray("two"));
    EXPECT_EQ(modeOf(m_new + "3.wav"), 0600u);
}

// A real FAT file system (FUSE, no hard links, no no-replace rename): moving into it and within it
// works, never replaces a file, and leaves no partial file.
TEST(FolderMoveFat, withoutHardLinks)
{
    QTemporaryDir home;
    const QString image = home.path() + "/fat.img";
    const QString mountPoint = home.path() + "/fat";
    QDir().mkpath(mountPoint);
    if (QProcess::execute("mkfs.vfat", {"-C", image, "4096"}) != 0 ||
        QProcess::execute("fusefat", {"-o", "rw+", image, mountPoint}) != 0)
        GTEST_SKIP() << "no FAT file system: mkfs.vfat or fusefat cannot run here";
    struct Unmount
    {
        QString at;
        ~Unmount() { QProcess::execute("fusermount", {"-u", at}); }
    } unmount{mountPoint};
    const QString fat = mountPoint + "/";
    const QString local = home.path() + "/";
    put(local + "a.wav", QByteArray(100000, 'a'));
    MessageFolderMove::moveFile(local + "a.wav", fat + "a.wav");
    EXPECT_EQ(contents(fat + "a.wav"), QByteArray(100000, 'a'));
    EXPECT_FALSE(QFile::exists(local + "a.wav"));
    EXPECT_FALSE(QFile::exists(fat + "a.wav.part"));

    QDir().mkpath(fat + "sub");
    MessageFolderMove::moveFile(fat + "a.wav", fat + "sub/a.wav");
    EXPECT_EQ(contents(fat + "sub/a.wav"), QByteArray(100000, 'a'));
    EXPECT_FALSE(QFile::exists(fat + "a.wav"));

    put(local + "a.wav", "other");
    EXPECT_THROW(MessageFolderMove::moveFile(local + "a.wav", fat + "sub/a.wav"), kalvo::VbError);
    EXPECT_EQ(contents(fat + "sub/a.wav"), QByteArray(100000, 'a'));
    EXPECT_TRUE(QFile::exists(local + "a.wav"));
}
