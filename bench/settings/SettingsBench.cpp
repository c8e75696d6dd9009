// What a settings read, a settings write and the start-up load of every setting cost, with a
// settings key as full as a configured program's (about 50 values).
#include "SettingsLoader.h"
#include "mdlLog.h"
#include "mdlReg.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct Folder
{
    QTemporaryDir dir;
    Folder()
    {
        qputenv("KALVO_REGISTRY_DIR", QFile::encodeName(dir.path()));
        for (int i = 0; i < 50; ++i)
            mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, QString("Value%1").arg(i), 1,
                                QString("some text %1").arg(i));
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "NumOfRing", 1, "3");
    }
};

void GetRegString(benchmark::State& state)
{
    Folder folder;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            mdlReg::GetRegString(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "NumOfRing"));
}
BENCHMARK(GetRegString)->Unit(benchmark::kMicrosecond);

// Each write is flushed to disk before it returns, so this is mostly the disk's sync time.
void SetRegValue(benchmark::State& state)
{
    Folder folder;
    int n = 0;
    for (auto _ : state)
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "NumOfRing", 1, ++n % 20);
}
BENCHMARK(SetRegValue)->Unit(benchmark::kMillisecond);

void LoadAllSettings(benchmark::State& state)
{
    Folder folder;
    mdlLog log(folder.dir.path() + "/Log/");
    for (auto _ : state) {
        Settings settings;
        SettingsLoader(log, folder.dir.path()).loadAll(settings);
        benchmark::DoNotOptimize(settings);
    }
}
BENCHMARK(LoadAllSettings)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
