// Prints the cost of appending a call (Update, one durable commit each) and of reading every call
// (Query "Get *") with 1,000, 10,000 and 100,000 records in the file.
#include "SqliteCallDatabase.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <map>
#include <memory>
#include <sqlite3.h>

namespace {

// A Calls folder holding `records` calls, filled once per size and shared by the benchmarks.
// The bulk fill goes straight to SQLite in one transaction; it is set-up, not what is measured.
QString filledFolder(int records)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> folders;
    auto& dir = folders[records];
    if (dir)
        return dir->path();
    dir = std::make_unique<QTemporaryDir>();
    {
        kalvo::SqliteCallDatabase db;
        db.Open(dir->path()); // creates the schema
    }
    const QByteArray file = (dir->path() + "/" + kalvo::SqliteCallDatabase::FileName).toUtf8();
    sqlite3* handle = nullptr;
    sqlite3_open(file.constData(), &handle);
    sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(handle,
                       "INSERT INTO Calls (Call_Name, Call_Number, Call_Time, Call_Date, Call_Massage_Name, "
                       "Type, Read) VALUES ('Caller ' || ?1, '555' || ?1, '09:41:07', '12/07/2004', "
                       "'12-07-2004_09-41-07.wav', '12.5', '0')",
                       -1, &insert, nullptr);
    for (int i = 1; i <= records; ++i) {
        sqlite3_bind_int(insert, 1, i);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(handle);
    return dir->path();
}

void appendCall(kalvo::SqliteCallDatabase& db)
{
    db.AddNew();
    db.SetField("Call_Name", "Bench Caller");
    db.SetField("Call_Number", "5551234");
    db.SetField("Call_Time", "09:41:07");
    db.SetField("Call_Date", "12/07/2004");
    db.SetField("Call_Massage_Name", "12-07-2004_09-41-07.wav");
    db.SetField("Type", "12.5");
    db.SetField("Read", qint16(0));
    db.Update();
}

// AddNew, seven SetField and Update: one call appended the way the program stores it.
void BM_Update(benchmark::State& state)
{
    kalvo::SqliteCallDatabase db;
    db.Open(filledFolder(int(state.range(0))));
    for (auto _ : state)
        appendCall(db);
    // Back to the nominal size for the next run (outside the timed loop).
    for (auto i = state.iterations(); i > 0; --i) {
        db.MoveTo(db.RecordCount());
        db.Delete();
    }
}

// Query("Get *"): every record into the array, as the call list is filled.
void BM_QueryGetAll(benchmark::State& state)
{
    kalvo::SqliteCallDatabase db;
    db.Open(filledFolder(int(state.range(0))));
    kalvo::QueryArray records;
    for (auto _ : state) {
        db.Query("Get *", records);
        benchmark::DoNotOptimize(records.rows());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Open: what start-up pays to number the records.
void BM_Open(benchmark::State& state)
{
    const QString folder = filledFolder(int(state.range(0)));
    for (auto _ : state) {
        kalvo::SqliteCallDatabase db;
        db.Open(folder);
        benchmark::DoNotOptimize(db.RecordCount());
    }
}

} // namespace

BENCHMARK(BM_Update)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QueryGetAll)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
