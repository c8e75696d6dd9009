// Prints the cost of appending a call (Update, one durable commit each) and of reading every call
// (Query "Get *") with 1,000, 10,000 and 100,000 records in the file.
#include "BenchSupport.h"
#include "CallRecords.h"
#include "SqliteCallDatabase.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <map>
#include <memory>

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
    kalvo::bench::seedCalls(dir->path(), records);
    return dir->path();
}

// AddNew, seven SetField and Update: one call appended the way the program stores it.
void BM_Update(benchmark::State& state)
{
    kalvo::SqliteCallDatabase db;
    db.Open(filledFolder(int(state.range(0))));
    for (auto _ : state)
        kalvo::test::appendCall(db, {.name = "Bench Caller", .number = "5551234"});
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
