// The message store over a real call database, without any window: listing, read marks, deleting
// a call while another client holds its id, and the ids its change signal names.
#include "MessageStore.h"
#include "CallRecords.h"
#include "ErrorTrap.h"
#include "SqliteCallDatabase.h"
#include "VbError.h"
#include "mdlLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using kalvo::test::appendCall;
using kalvo::test::shortCall;

namespace {
// The real database, whose Delete can be made to fail.
class BreakableDatabase : public kalvo::SqliteCallDatabase
{
public:
    bool failDelete = false;
    void Delete() override
    {
        if (failDelete)
            throw kalvo::VbError(kalvo::VbDeviceIoError);
        SqliteCallDatabase::Delete();
    }
};

struct StoreBench
{
    QTemporaryDir home;
    QString messagesSetting = home.path() + "/Messages"; // without the final "/", as a user may type it
    BreakableDatabase db;
    mdlLog log{home.path() + "/Log/"};
    MessageStore store{db, messagesSetting, log};
    QList<qint64> changed;

    StoreBench()
    {
        QDir().mkpath(messagesSetting);
        db.Open(home.path() + "/Calls");
        QObject::connect(&store, &MessageStore::changed,
                         [this](const QList<qint64>& ids) { changed << ids; });
    }
    // Appends a call; a non-empty name gets its message file.
    void add(const QString& file, qint16 read = 0)
    {
        appendCall(db, shortCall(file, read));
        if (!file.isEmpty()) {
            QFile wav(store.pathOf(file));
            wav.open(QIODevice::WriteOnly);
            wav.write("RIFF");
        }
    }
    int listed()
    {
        int rows = 0;
        store.readAll([&](qint64, const MessageStore::Texts&) { ++rows; },
                      ErrorTrap("ErrTest ", [](const QString&) {}));
        return rows;
    }
};
} // namespace

// Newest first in pages, counted; a read mark is written once and signalled with its id; a message
// kept outside the folder is found by its whole path.
TEST(MessageStore, ListsPagesAndMarks)
{
    StoreBench b;
    b.add("old.wav", 1);
    b.add("");
    b.add("/elsewhere/new.wav");
    ASSERT_EQ(b.listed(), 3);
    EXPECT_EQ(b.store.total(), 3);
    EXPECT_EQ(b.store.unread(), 2);
    const auto first = b.store.page(0, 2), rest = b.store.page(2, 5);
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(first[0].id, b.store.newest());
    EXPECT_EQ(first[1].id, b.store.olderThan(first[0].id));
    EXPECT_EQ(rest[0].messageFile, QString("old.wav"));
    EXPECT_EQ(b.store.pathOf(rest[0].id), b.messagesSetting + "/old.wav");
    EXPECT_EQ(b.store.pathOf(first[0].id), QString("/elsewhere/new.wav"));
    EXPECT_TRUE(b.store.pathOf(first[1].id).isEmpty());
    EXPECT_EQ(b.store.idOfMessage(b.messagesSetting + "/old.wav"), rest[0].id);

    EXPECT_TRUE(b.store.setRead(first[1].id, true));
    EXPECT_FALSE(b.store.setRead(first[1].id, true));
    EXPECT_EQ(b.store.unread(), 1);
    EXPECT_EQ(b.changed, QList<qint64>{first[1].id});
    EXPECT_TRUE(b.store.call(first[1].id)->isRead());
}

// Remote access holds a call's id while the desk deletes calls: the held call stays the same call,
// the walk goes on below a deleted one, and a deleted call leaves neither row nor file.
TEST(MessageStore, DeleteWhileAnotherClientHoldsAnId)
{
    StoreBench b;
    b.add("a.wav");
    b.add("b.wav");
    b.add("c.wav");
    b.listed();
    const qint64 held = b.store.olderThan(b.store.newest()); // b.wav
    const qint64 newest = b.store.newest();
    ASSERT_TRUE(b.store.remove(newest));
    EXPECT_FALSE(QFile::exists(b.messagesSetting + "/c.wav"));
    EXPECT_EQ(b.store.call(held)->messageFile, QString("b.wav"));

    ASSERT_TRUE(b.store.remove(held));
    EXPECT_FALSE(b.store.call(held));
    EXPECT_TRUE(b.store.pathOf(held).isEmpty());
    EXPECT_EQ(b.store.call(b.store.olderThan(held))->messageFile, QString("a.wav"));
    EXPECT_FALSE(b.store.remove(held));
    EXPECT_EQ(b.changed, (QList<qint64>{newest, held}));
    EXPECT_EQ(b.store.total(), 1);
    EXPECT_EQ(b.store.unread(), 1);
    EXPECT_EQ(QDir(b.messagesSetting).entryList(QDir::Files | QDir::Hidden), QStringList{"a.wav"});
}

// A call and its message go together: a record that cannot be deleted keeps its message, a message
// already missing does not keep its record; clearing keeps the message files.
TEST(MessageStore, DeleteIsAllOrNothing)
{
    StoreBench b;
    b.add("gone.wav");
    b.add("kept.wav");
    b.listed();
    b.db.failDelete = true;
    EXPECT_FALSE(b.store.remove(b.store.newest()));
    EXPECT_EQ(QDir(b.messagesSetting).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"gone.wav", "kept.wav"}));
    EXPECT_EQ(b.store.total(), 2);
    b.db.failDelete = false;
    QFile::remove(b.messagesSetting + "/gone.wav");
    EXPECT_TRUE(b.store.remove(b.store.olderThan(b.store.newest())));
    EXPECT_EQ(b.db.RecordCount(), 1);
    b.store.clear();
    EXPECT_EQ(b.db.RecordCount(), 0);
    EXPECT_EQ(b.store.total(), 0);
    EXPECT_TRUE(QFile::exists(b.messagesSetting + "/kept.wav"));
}
