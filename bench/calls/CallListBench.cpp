// Prints the cost of the call list with 1,000, 10,000 and 100,000 stored calls: rebuilding it
// (makeList) and drawing the view, the memory the rows take, and the end of a call: storing the
// record with its message length, then showing it by rebuilding the list (as the program once did)
// or by inserting its row (as it does now).
#include "BenchSupport.h"
#include "CallList.h"
#include "CallStore.h"
#include "MessageStore.h"
#include "Settings.h"
#include "SipPeers.h"
#include "SqliteCallDatabase.h"
#include "WaveSoundDevice.h"
#include "mdlLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {
// Resident memory of the process in kilobytes.
long residentKb()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("%-8s %12s %10s %10s %22s %22s\n", "calls", "makeList ms", "draw ms", "rows MB",
                "end of call, rebuild ms", "end of call, insert ms");
    for (int records : {1000, 10000, 100000}) {
        QTemporaryDir home;
        // Every second call has a message.
        kalvo::bench::seedCalls(
            home.path() + "/Calls", records, "CASE WHEN ?1 % 2 THEN '' ELSE 'm' || ?1 || '.wav' END",
            "CASE WHEN ?1 % 2 THEN '-1' ELSE '12.5' END", "CASE WHEN ?1 % 3 THEN '1' ELSE '0' END");
        kalvo::SqliteCallDatabase db;
        db.Open(home.path() + "/Calls");
        Settings settings;
        settings.engine.MessagesPath = home.path() + "/";
        mdlLog log(home.path() + "/Log/");
        QWidget window;
        window.resize(800, 600);
        MessageStore messages(db, settings.engine.MessagesPath, log);
        CallList list(messages, settings.options, log, &window);
        list.RangeListTitle();
        list.view()->resize(800, 600);
        window.show();

        const long before = residentKb();
        std::vector<double> build, draw;
        for (int round = 0; round < 5; ++round) {
            QElapsedTimer timer;
            timer.start();
            list.makeList();
            build.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            list.view()->viewport()->repaint();
            QApplication::processEvents();
            draw.push_back(timer.nsecsElapsed() / 1e6);
        }
        const long after = residentKb();

        // The end of a call: the record with its message length, then the whole list again.
        kalvo::sound::WaveSoundDevice wave;
        CallStore store(db, wave, log);
        CurrentCall call;
        call.CallDate = "12/07/2004";
        call.CallTime = "09:41:07";
        call.MessageFile = "end.wav";
        call.GotMessage = true;
        // One second of silence.
        kalvo::sip::test::writeWav(
            QFile::encodeName(settings.engine.MessagesPath + call.MessageFile).toStdString(),
            std::vector<int16_t>(8000));
        std::vector<double> rebuilt, inserted;
        for (int round = 0; round < 10; ++round) {
            QElapsedTimer timer;
            timer.start();
            store.PutCallDetailsInDB(call, settings.engine.MessagesPath);
            if (round % 2)
                list.addNewest();
            else
                list.makeList();
            QApplication::processEvents();
            (round % 2 ? inserted : rebuilt).push_back(timer.nsecsElapsed() / 1e6);
        }
        std::printf("%-8d %12.2f %10.2f %10.1f %22.2f %22.2f\n", records, median(build), median(draw),
                    (after - before) / 1024.0, median(rebuilt), median(inserted));
    }
    return 0;
}
