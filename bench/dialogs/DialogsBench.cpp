// What moving one 100 KB message costs on the same file system (a link) and to /dev/shm (copy,
// flush, remove), and what saving a SIP line's settings costs (read, rewrite, flush, rename).
#include "MessageFolderMove.h"
#include "TelephonyConfigWriter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {
void put(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(data);
}

void moveBetween(benchmark::State& state, const QString& base)
{
    QTemporaryDir from(QDir::tempPath() + "/kalvo-bench-XXXXXX");
    QTemporaryDir to(base + "/kalvo-bench-XXXXXX");
    const QByteArray message(100 * 1024, 'x');
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString name = QString("m%1.wav").arg(n++);
        put(from.path() + "/" + name, message);
        state.ResumeTiming();
        MessageFolderMove::moveFile(from.path() + "/" + name, to.path() + "/" + name);
    }
}

void MoveSameFileSystem(benchmark::State& state)
{
    moveBetween(state, QDir::tempPath());
}

void MoveToAnotherFileSystem(benchmark::State& state)
{
    moveBetween(state, "/dev/shm");
}

void SaveLineSettings(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/telephony.conf";
    std::string text = "# lines\n";
    for (int i = 0; i < 4; ++i)
        text += "[Line" + std::to_string(i) + "]\nname = Line " + std::to_string(i) +
                "\nprovider = sip\nlisten = 0.0.0.0:506" + std::to_string(i) + "\nring_interval = 6\n\n";
    put(QString::fromStdString(path), QByteArray::fromStdString(text));
    int port = 6000;
    for (auto _ : state) {
        std::string error;
        kalvo::telephony::TelephonyConfigWriter::update(
            path, 2, {{"listen", "127.0.0.1:" + std::to_string(port++ % 60000 + 1024)}, {"user", "kalvo"}},
            error);
    }
}
} // namespace

BENCHMARK(MoveSameFileSystem)->Unit(benchmark::kMicrosecond);
BENCHMARK(MoveToAnotherFileSystem)->Unit(benchmark::kMicrosecond);
BENCHMARK(SaveLineSettings)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
