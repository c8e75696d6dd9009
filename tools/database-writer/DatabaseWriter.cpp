// Test helper: appends numbered call records to a Calls folder until it is killed, printing the
// number of each record once its Update has returned.
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
            db.AddNew();
            db.SetField("Call_Name", "caller " + text);
            db.SetField("Call_Number", text);
            db.SetField("Call_Time", "12:00:00");
            db.SetField("Call_Date", "08/12/2026");
            db.SetField("Call_Massage_Name", "08-12-2026_12-00-00.wav");
            db.SetField("Type", QString(300, QLatin1Char('x')) + text);
            db.SetField("Read", qint16(0));
            db.Update();
            std::printf("%d\n", number);
            std::fflush(stdout);
        }
    } catch (const kalvo::VbError& error) {
        std::fprintf(stderr, "database_writer: %s\n", error.what());
        return 1;
    }
}
