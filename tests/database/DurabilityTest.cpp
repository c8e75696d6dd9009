// A writer process killed with SIGKILL in the middle of its work leaves every committed record.
#include "SqliteCallDatabase.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <signal.h>

namespace {

// Runs the writer until it has reported `target` committed records, kills it, returns the last
// number it reported.
int writeUntilKilled(const QString& folder, int target)
{
    QProcess writer;
    writer.start(QStringLiteral(KALVO_DATABASE_WRITER), {folder});
    if (!writer.waitForStarted(10000))
        return -1;
    int last = 0;
    QByteArray pending;
    while (last < target && writer.waitForReadyRead(20000)) {
        pending += writer.readAllStandardOutput();
        while (pending.contains('\n')) {
            const qsizetype end = pending.indexOf('\n');
            last = pending.left(end).toInt();
            pending.remove(0, end + 1);
        }
    }
    ::kill(pid_t(writer.processId()), SIGKILL);
    writer.waitForFinished(10000);
    return last;
}

} // namespace

// Three kills at different moments: after each, the file opens and holds every record the writer
// had committed, numbered without gaps, and the next writer carries on after them.
TEST(DurabilityTest, KilledWriterLeavesEveryCommittedRecord)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/Calls";
    int committed = 0;
    for (int round = 1; round <= 3; ++round) {
        const int reported = writeUntilKilled(folder, committed + 40 * round + 7);
        ASSERT_GT(reported, committed) << "round " << round;
        kalvo::SqliteCallDatabase db;
        db.Open(folder);
        const int count = db.RecordCount();
        // The writer may have committed one more record than it managed to print.
        EXPECT_GE(count, reported);
        EXPECT_LE(count, reported + 1);
        kalvo::QueryArray records;
        db.Query("Get *", records);
        ASSERT_EQ(records.rows(), count);
        for (int r = 1; r <= count; ++r) {
            ASSERT_EQ(records.at(r, db.FieldIndex("Call_Number")), QString::number(r));
            ASSERT_EQ(records.at(r, db.FieldIndex("Call_Name")), "caller " + QString::number(r));
            ASSERT_TRUE(records.at(r, db.FieldIndex("Type")).endsWith(QString::number(r)));
        }
        committed = count;
    }
}
