// The call database against a real SQLite file: numbering, field round trips, the "Get *" array
// and the errors raised to the caller.
#include "SqliteCallDatabase.h"
#include "CallRecords.h"
#include "VbError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

using kalvo::QueryArray;
using kalvo::SqliteCallDatabase;
using kalvo::VbError;

namespace {

class SqliteCallDatabaseTest : public ::testing::Test
{
protected:
    void SetUp() override { m_db.Open(folder()); }
    QString folder() const { return m_dir.path() + "/Calls"; }

    // Appends a call the way the program does: seven fields in their order, then Update.
    void append(const QString& name, const QString& type = "-1")
    {
        kalvo::test::appendCall(m_db, {.name = name, .number = "555-" + name, .type = type});
    }

    QStringList names()
    {
        QStringList result;
        for (int r = 1; r <= m_db.RecordCount(); ++r) {
            m_db.MoveTo(r);
            result << m_db.GetField("Call_Name");
        }
        return result;
    }

    template <typename F> static int errorNumber(F&& operation)
    {
        try {
            operation();
        } catch (const VbError& error) {
            EXPECT_FALSE(error.description().empty());
            return error.number();
        }
        return 0;
    }

    QTemporaryDir m_dir;
    SqliteCallDatabase m_db;
};

} // namespace

// Open creates the folder and the file; every field comes back as stored, the read state set from
// an integer reads back as its decimal text, and the record survives closing and reopening.
TEST_F(SqliteCallDatabaseTest, FieldsRoundTripAndPersist)
{
    EXPECT_TRUE(QFile::exists(folder() + "/" + SqliteCallDatabase::FileName));
    EXPECT_EQ(m_db.RecordCount(), 0);
    kalvo::test::appendCall(m_db,
                            {.name = QString::fromUtf8("Jörg \"Ü\" O'Neil; DROP TABLE Calls"), .number = ""});

    SqliteCallDatabase reopened;
    reopened.Open(folder());
    ASSERT_EQ(reopened.RecordCount(), 1);
    reopened.MoveFirst();
    EXPECT_EQ(reopened.GetField("Call_Name"), QString::fromUtf8("Jörg \"Ü\" O'Neil; DROP TABLE Calls"));
    EXPECT_EQ(reopened.GetField("Call_Number"), "");
    EXPECT_EQ(reopened.GetField("Call_Time"), "09:41:07");
    EXPECT_EQ(reopened.GetField("Call_Date"), "12/07/2004");
    EXPECT_EQ(reopened.GetField("Call_Massage_Name"), "12-07-2004_09-41-07.wav");
    EXPECT_EQ(reopened.GetField("Type"), "12.5");
    EXPECT_EQ(reopened.GetField("Read"), "0");
    reopened.Edit();
    reopened.SetField("Read", qint16(-1));
    reopened.Update();
    EXPECT_EQ(reopened.GetField("Read"), "-1");
}

// Records are numbered from 1 in insertion order at every moment: deleting moves later records
// down one number, and a record added after deleting the last one is numbered after the rest.
TEST_F(SqliteCallDatabaseTest, NumberingFollowsDeletes)
{
    for (const char* name : {"A", "B", "C", "D", "E"})
        append(name);
    m_db.MoveTo(2);
    m_db.Delete();
    EXPECT_EQ(names(), (QStringList{"A", "C", "D", "E"}));
    m_db.MoveTo(4);
    m_db.Delete();
    append("F");
    m_db.MoveFirst();
    m_db.Delete();
    EXPECT_EQ(names(), (QStringList{"C", "D", "F"}));

    SqliteCallDatabase reopened;
    reopened.Open(folder());
    ASSERT_EQ(reopened.RecordCount(), 3);
    reopened.MoveTo(3);
    EXPECT_EQ(reopened.GetField("Call_Name"), "F");

    m_db.DeleteAll();
    EXPECT_EQ(m_db.RecordCount(), 0);
    append("G");
    EXPECT_EQ(names(), QStringList{"G"});
}

// "Get *" fills rows by record number and columns by FieldIndex, both from 1.
TEST_F(SqliteCallDatabaseTest, QueryFillsArrayByRecordAndFieldIndex)
{
    QueryArray records;
    m_db.Query("Get *", records);
    EXPECT_EQ(records.rows(), 0);

    append("A", "-1");
    append("B", "3.25");
    append("C", "0");
    m_db.MoveTo(1);
    m_db.Delete();
    m_db.Query("Get *", records);
    ASSERT_EQ(records.rows(), m_db.RecordCount());
    ASSERT_EQ(records.columns(), 7);
    const QStringList fields{"Call_Name",         "Call_Number", "Call_Time", "Call_Date",
                             "Call_Massage_Name", "Type",        "Read"};
    QList<int> columns;
    for (const QString& field : fields)
        columns << m_db.FieldIndex(field);
    std::sort(columns.begin(), columns.end());
    EXPECT_EQ(columns, (QList<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(records.at(1, m_db.FieldIndex("Call_Name")), "B");
    EXPECT_EQ(records.at(1, m_db.FieldIndex("Type")), "3.25");
    EXPECT_EQ(records.at(2, m_db.FieldIndex("Call_Number")), "555-C");
    EXPECT_EQ(records.at(2, m_db.FieldIndex("Read")), "0");
    EXPECT_EQ(errorNumber([&] { records.at(3, 1); }), 9);
    EXPECT_EQ(errorNumber([&] { records.at(1, 0); }), 9);
}

// The read-state change of the call list: Edit, rewrite every field, set Read, Update. Only the
// chosen record changes.
TEST_F(SqliteCallDatabaseTest, EditRewritesOneRecord)
{
    append("A", "-1");
    append("B", "7.5");
    m_db.MoveTo(2);
    m_db.Edit();
    const QString type = m_db.GetField("Type");
    for (const char* field : {"Call_Name", "Call_Number", "Call_Time", "Call_Date", "Call_Massage_Name"})
        m_db.SetField(field, m_db.GetField(field));
    m_db.SetField("Type", type);
    m_db.SetField("Read", qint16(1));
    m_db.Update();

    QueryArray records;
    m_db.Query("Get *", records);
    const int read = m_db.FieldIndex("Read");
    EXPECT_EQ(records.at(1, read), "0");
    EXPECT_EQ(records.at(2, read), "1");
    EXPECT_EQ(records.at(2, m_db.FieldIndex("Type")), "7.5");
    EXPECT_EQ(records.at(2, m_db.FieldIndex("Call_Name")), "B");
}

// Misuse is raised as a numbered error with a description and leaves the store usable.
TEST_F(SqliteCallDatabaseTest, MisuseRaisesNumberedErrors)
{
    QueryArray records;
    EXPECT_EQ(errorNumber([&] { m_db.Query("Get Call_Name", records); }), 5);
    EXPECT_EQ(errorNumber([&] { m_db.MoveFirst(); }), 3021);
    EXPECT_EQ(errorNumber([&] { m_db.GetField("Call_Name"); }), 3021);
    EXPECT_EQ(errorNumber([&] { m_db.Edit(); }), 3021);
    EXPECT_EQ(errorNumber([&] { m_db.Delete(); }), 3021);
    EXPECT_EQ(errorNumber([&] { m_db.SetField("Call_Name", "x"); }), 3020);
    EXPECT_EQ(errorNumber([&] { m_db.Update(); }), 3020);
    append("A");
    EXPECT_EQ(errorNumber([&] { m_db.MoveTo(0); }), 9);
    EXPECT_EQ(errorNumber([&] { m_db.MoveTo(2); }), 9);
    EXPECT_EQ(errorNumber([&] { m_db.FieldIndex("Caller"); }), 3265);
    EXPECT_EQ(errorNumber([&] { m_db.GetField("Caller"); }), 3265);
    m_db.AddNew();
    EXPECT_EQ(errorNumber([&] { m_db.SetField("Caller", "x"); }), 3265);
    m_db.MoveTo(1);
    m_db.Delete();
    EXPECT_EQ(errorNumber([&] { m_db.Delete(); }), 3021);
    EXPECT_EQ(m_db.RecordCount(), 0);

    SqliteCallDatabase closed;
    EXPECT_EQ(errorNumber([&] { closed.RecordCount(); }), 91);
    EXPECT_EQ(errorNumber([&] { closed.AddNew(); }), 91);
}

// A file that is not a database is reported on Open and left exactly as it was.
TEST_F(SqliteCallDatabaseTest, DamagedFileIsReportedAndKept)
{
    const QString path = m_dir.path() + "/Damaged/" + SqliteCallDatabase::FileName;
    ASSERT_TRUE(QDir().mkpath(m_dir.path() + "/Damaged"));
    QByteArray garbage(8192, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919) % 251);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(garbage);
    file.close();

    SqliteCallDatabase db;
    EXPECT_EQ(errorNumber([&] { db.Open(m_dir.path() + "/Damaged"); }), 3343);
    EXPECT_EQ(errorNumber([&] { db.RecordCount(); }), 91);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), garbage);
}

// A Calls path that cannot be a folder raises an error instead of opening somewhere else.
TEST_F(SqliteCallDatabaseTest, UnusableFolderRaisesError)
{
    QFile blocker(m_dir.path() + "/NotAFolder");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SqliteCallDatabase db;
    EXPECT_EQ(errorNumber([&] { db.Open(m_dir.path() + "/NotAFolder"); }), 76);
    EXPECT_EQ(errorNumber([&] { db.Open(""); }), 76);
}

// A read-only file still lists its calls; writing to it raises "Permission denied" and leaves it
// as it was. Root ignores permissions, so the check runs in a child process that becomes nobody.
TEST_F(SqliteCallDatabaseTest, ReadOnlyFileRefusesWrites)
{
    append("A");
    const QString path = folder() + "/" + SqliteCallDatabase::FileName;
    m_db.Open(m_dir.path() + "/Other"); // closes the file, folding its journal into it
    const QByteArray before = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

    const auto check = [&] {
        if (::geteuid() == 0) {
            for (const QString& entry : {m_dir.path(), folder(), path})
                if (::chown(entry.toLocal8Bit().constData(), 65534, 65534) != 0)
                    std::_Exit(3);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                std::_Exit(4);
        }
        SqliteCallDatabase db;
        db.Open(folder());
        if (db.RecordCount() != 1)
            std::_Exit(5);
        db.MoveFirst();
        if (db.GetField("Call_Name") != "A")
            std::_Exit(6);
        db.AddNew();
        db.SetField("Call_Name", "B");
        std::_Exit(errorNumber([&] { db.Update(); }) == 70 ? 0 : 7);
    };
    EXPECT_EXIT(check(), ::testing::ExitedWithCode(0), "");

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

// The database file alone holds every stored call, edit and delete: a copy of only calls.sqlite3
// (no write-ahead log beside it) taken while the store is open, and again after it is closed,
// opens with the same records.
TEST_F(SqliteCallDatabaseTest, DatabaseFileAloneHoldsEveryCall)
{
    const auto copyAlone = [this](const QString& name) {
        const QString target = m_dir.path() + "/" + name;
        QDir().mkpath(target);
        EXPECT_TRUE(QFile::copy(folder() + "/" + SqliteCallDatabase::FileName,
                                target + "/" + SqliteCallDatabase::FileName));
        EXPECT_FALSE(QFile::exists(target + "/calls.sqlite3-wal"));
        return target;
    };
    for (const char* name : {"Ann", "Bob", "Cy", "Dee"})
        append(name);
    m_db.MoveTo(2);
    m_db.Delete();
    m_db.MoveTo(1);
    m_db.Edit();
    m_db.SetField("Read", qint16(-1));
    m_db.Update();
    // The copy into the file runs beside the commit: wait for it as a user's copy would come later.
    m_db.settle();

    SqliteCallDatabase whileOpen;
    whileOpen.Open(copyAlone("CopyWhileOpen"));
    EXPECT_EQ(whileOpen.RecordCount(), 3);
    whileOpen.MoveFirst();
    EXPECT_EQ(whileOpen.GetField("Read"), "-1");

    append("Eve");
    {
        SqliteCallDatabase other;
        other.Open(m_dir.path() + "/Second");
        other.AddNew();
        other.SetField("Call_Name", "Fay");
        other.Update();
    }
    EXPECT_EQ(QFileInfo(m_dir.path() + "/Second/calls.sqlite3-wal").size(), 0) << "log emptied on close";
    SqliteCallDatabase afterClose;
    afterClose.Open(m_dir.path() + "/Second");
    EXPECT_EQ(afterClose.RecordCount(), 1);
    SqliteCallDatabase copied;
    copied.Open(copyAlone("CopyAfterEve"));
    EXPECT_EQ(copied.RecordCount(), 4);
}

// Reading record by record gives exactly what Query lists, in the same order, with texts in UTF-8.
TEST_F(SqliteCallDatabaseTest, ForEachRecordMatchesQuery)
{
    append(QString::fromUtf8("Jörg"), "12.5");
    append("Bob");
    append("Cy", "3");
    m_db.MoveTo(2);
    m_db.Delete();
    QueryArray all;
    m_db.Query("Get *", all);
    int row = 0;
    m_db.ForEachRecord([&](const kalvo::CallDatabase::RecordTexts& texts) {
        ++row;
        for (int column = 1; column <= 7; ++column)
            EXPECT_EQ(QString::fromUtf8(texts[size_t(column - 1)].data(),
                                        qsizetype(texts[size_t(column - 1)].size())),
                      all.at(row, column))
                << row << "," << column;
    });
    EXPECT_EQ(row, 2);
    EXPECT_EQ(m_db.RecordCount(), 2);
}
