// Test helper: appends numbered call records to a Calls folder until it is killed, printing the
// number of each record once its Update has returned.
#include "CallRecords.h"
#include "SqliteCallDatabase.h"
#include "VbError.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: database_writer CALLS_FOLDER\n");
        return 2;
    }
    try {
        kalvo::SqliteCallDatabase db;
        db.Open(QString::fromLocal8Bit(argv[1]));
        for (int number = db.RecordCount() + 1;; ++number) {
            const QString text = QString::number(number);
            kalvo::test::appendCall(db, {.name = "caller " + text,
                                         .number = text,
                                         .time = "12:00:00",
                                         .date = "08/12/2026",
                                         .message = "08-12-2026_12-00-00.wav",
                                         .type = QString(300, QLatin1Char('x')) + text});
            std::printf("%d\n", number);
            std::fflush(stdout);
        }
    } catch (const kalvo::VbError& error) {
        std::fprintf(stderr, "database_writer: %s\n", error.what());
        return 1;
    }
}
