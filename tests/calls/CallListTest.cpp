// The call list and the message player over a real call database, with the sound component playing
// on a real wave device (a simulated line's output standing in for the sound card).
#include "CallList.h"
#include "CallDatabase.h"
#include "CallListModel.h"
#include "CallRecords.h"
#include "CallStore.h"
#include "EngineRig.h"
#include "ErrorTrap.h"
#include "FileDialog.h"
#include "MessageBox.h"
#include "MessagePlayer.h"
#include "MessageStore.h"
#include "PlaybackFlags.h"
#include "Settings.h"
#include "SimLine.h"
#include "SmallDrive.h"
#include "SqliteCallDatabase.h"
#include "TelephonyLayer.h"
#include "TimeBase.h"
#include "WaveSoundDevice.h"
#include "mdlLog.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

using kalvo::test::tone;
using kalvo::test::writeWav;

namespace {
QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The real database, counting the writes that reach it.
class CountingDatabase : public kalvo::SqliteCallDatabase
{
public:
    int updates = 0;
    void Update() override
    {
        ++updates;
        SqliteCallDatabase::Update();
    }
};

// One list and player on a private home.
struct Bench
{
    kalvo::test::IsolatedHome home;
    CountingDatabase db;
    Settings settings;
    mdlLog log{home.programFolder() + "/Log/"};
    ScaledTimeBase timeBase{0.01};
    PlaybackFlags flags;
    QWidget window;
    kalvo::sound::WaveSoundDevice wavePlay;
    MessageStore store{db, settings.engine.MessagesPath, log};
    CallList list{store, settings.options, log, &window};
    int lineWaveOut = 0;
    MessagePlayer player{
        wavePlay, list, store, settings, log, timeBase, flags, [this] { return lineWaveOut; }, &window};

    Bench()
    {
        QDir().mkpath(messages());
        QDir().mkpath(home.programFolder() + "/Log");
        log.setSystemSwitch(1);
        settings.engine.MessagesPath = messages();
        QFile conf(QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF")));
        QDir().mkpath(QFileInfo(conf).path());
        if (conf.open(QIODevice::WriteOnly))
            conf.write("[Line0]\nname = Card\nprovider = sim\n");
        conf.close();
        kalvo::telephony::reloadConfiguration();
        // The simulated line's output plays what the test puts on the "sound card".
        auto* sim = dynamic_cast<kalvo::sim::SimLine*>(kalvo::telephony::lineDevice(0));
        settings.options.Sound = sim ? static_cast<int32_t>(sim->waveDevices().waveOut) : -1;
        db.Open(home.programFolder() + "/Calls");
        list.RangeListTitle();
    }
    QString messages() const { return home.programFolder() + "/Messages/"; }
    // Appends a call; a non-empty file gets a message file of ms milliseconds.
    void add(const QString& file, const QString& read = "0", int ms = 100)
    {
        kalvo::test::appendCall(db, kalvo::test::shortCall(file, read.toShort()));
        if (!file.isEmpty())
            writeWav(messages() + file, tone(ms));
    }
    QString readOf(int record)
    {
        db.MoveTo(record);
        return db.GetField("Read");
    }
};
} // namespace

class CallListTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        MessageBox::clearShown();
        MessageBox::scriptAnswers({});
    }

    // Rows newest first with the icon of their message and read state; an odd "Read" counts as
    // unread; the top row is selected without being read; an empty store gives an empty list.
    void makeListFills()
    {
        Bench b;
        QSignalSpy counters(&b.list, &CallList::countersChanged);
        b.list.makeList();
        QCOMPARE(b.list.rowCount(), 0);
        QCOMPARE(b.list.selectedPosition(), 0);
        QCOMPARE(counters.takeLast(), QVariantList({0, 0}));

        b.add("a.wav", "1");
        b.add("", "0");
        b.add("c.wav", "2");
        b.add("", "1");
        b.list.makeList();
        QCOMPARE(b.list.rowCount(), 4);
        QCOMPARE(b.list.iconAt(1), 4);
        QCOMPARE(b.list.iconAt(2), 1);
        QCOMPARE(b.list.iconAt(3), 2);
        QCOMPARE(b.list.iconAt(4), 3);
        QCOMPARE(b.list.keyAt(2), QString("c.wav"));
        QCOMPARE(b.list.keyAt(1), QString());
        QCOMPARE(counters.takeLast(), QVariantList({4, 2}));
        QCOMPARE(b.list.selectedPosition(), 1);
        QCOMPARE(b.list.iconAt(1), 4);
        const QAbstractItemModel* model = b.list.view()->model();
        QCOMPARE(model->headerData(5, Qt::Horizontal).toString(), QString("Name"));
        QCOMPARE(model->index(1, 1).data().toString(), QString("0:00")); // 0.1 s, as every length: m:ss
        QCOMPARE(model->index(0, 1).data().toString(), QString());
        QCOMPARE(model->index(0, 2).data().toString(), QString("1/2/26"));
    }

    // The end of a call inserts its record as the new top row, selected, with the counters, whether
    // the list was empty or long; the rows are those a rebuilt list shows. Two new records at once
    // are read whole.
    void newestCallIsInserted()
    {
        Bench b;
        QSignalSpy counters(&b.list, &CallList::countersChanged);
        b.list.makeList();
        b.add("first.wav", "0");
        b.list.addNewest();
        QCOMPARE(b.list.rowCount(), 1);
        QCOMPARE(b.list.selectedPosition(), 1);
        QCOMPARE(b.list.keyAt(1), QString("first.wav"));
        QCOMPARE(counters.takeLast(), QVariantList({1, 1}));

        for (int i = 0; i < 300; ++i)
            b.add(i % 2 ? QString() : QString("m%1.wav").arg(i), i % 3 ? "1" : "0", 0);
        b.list.makeList();
        b.list.select(120);
        b.add("", "1");
        b.list.addNewest();
        QCOMPARE(b.list.rowCount(), 302);
        QCOMPARE(b.list.selectedPosition(), 1);
        QCOMPARE(b.list.iconAt(1), 4);
        const QVariantList inserted = counters.takeLast();
        auto rows = [&] {
            QStringList all;
            const QAbstractItemModel* model = b.list.view()->model();
            for (int r = 0; r < model->rowCount(); ++r)
                for (int c = 0; c < model->columnCount(); ++c)
                    all << model->index(r, c).data().toString() + QString::number(b.list.iconAt(r + 1));
            return all;
        };
        const QStringList afterInsert = rows();
        b.list.makeList();
        QCOMPARE(rows(), afterInsert);
        QCOMPARE(counters.takeLast(), inserted);

        b.add("x.wav");
        b.add("y.wav");
        b.list.addNewest();
        QCOMPARE(b.list.rowCount(), 304);
        QCOMPARE(b.list.keyAt(1), QString("y.wav"));
        QCOMPARE(b.list.keyAt(2), QString("x.wav"));
    }

    // Marking changes the record and the icon only when the state changes; re-marking writes nothing.
    void markReadAndUnread()
    {
        Bench b;
        b.add("", "1");
        b.add("", "0");
        b.list.makeList();
        b.db.updates = 0;
        b.list.MarkAsReadUnRead(2, true); // already read
        QCOMPARE(b.db.updates, 0);
        QCOMPARE(b.list.unreadCalls(), 1);
        b.list.MarkAsReadUnRead(1, true);
        QCOMPARE(b.db.updates, 1);
        QCOMPARE(b.readOf(2), QString("1"));
        QCOMPARE(b.list.iconAt(1), 4);
        QCOMPARE(b.list.unreadCalls(), 0);
        b.list.MarkAsReadUnRead(1, false);
        QCOMPARE(b.readOf(2), QString("0"));
        QCOMPARE(b.list.iconAt(1), 2);
        QCOMPARE(b.list.unreadCalls(), 1);
        b.db.MoveTo(2);
        QCOMPARE(b.db.GetField("Call_Name"), QString("N"));
    }

    // "Next" on the last row stays and still reads a message-less row; "Back" on the top row stays;
    // a row with a message stays unread when selected.
    void navigation()
    {
        Bench b;
        b.add("", "0");
        b.add("m.wav", "0");
        b.list.makeList();
        b.list.Last();
        QCOMPARE(b.list.selectedPosition(), 2);
        QCOMPARE(b.list.iconAt(2), 2);
        b.list.Next();
        QCOMPARE(b.list.selectedPosition(), 2);
        QCOMPARE(b.list.iconAt(2), 4);
        b.list.First();
        b.list.Back();
        QCOMPARE(b.list.selectedPosition(), 1);
        QCOMPARE(b.list.iconAt(1), 1);
    }

    // Delete asks when "WornDelete" is on and removes the record and its file; clear asks when
    // "WornClear" is on, removes every record and keeps the files.
    void deleteAndClear()
    {
        Bench b;
        b.settings.options.WornDelete = 1;
        b.settings.options.WornClear = 1;
        b.add("a.wav");
        b.add("b.wav");
        b.add("");
        b.list.makeList();
        b.list.select(2);
        MessageBox::scriptAnswers({MessageBox::No, MessageBox::Yes});
        b.list.DeleteCommand();
        QCOMPARE(b.db.RecordCount(), 3);
        b.list.DeleteCommand();
        QCOMPARE(MessageBox::shownTexts(),
                 QStringList({"Delete Call 2 Information ?", "Delete Call 2 Information ?"}));
        QCOMPARE(b.db.RecordCount(), 2);
        QVERIFY(!QFile::exists(b.messages() + "b.wav"));
        QCOMPARE(b.list.keyAt(2), QString("a.wav"));

        MessageBox::scriptAnswers({MessageBox::Yes});
        b.list.ClearCommand();
        QVERIFY(MessageBox::shownTexts().contains("Clear Calls List ?"));
        QCOMPARE(b.db.RecordCount(), 0);
        QCOMPARE(b.list.rowCount(), 0);
        QVERIFY(QFile::exists(b.messages() + "a.wav"));
        b.list.DeleteCommand(); // nothing to delete, nothing asked
        QCOMPARE(MessageBox::shownTexts().size(), 3);
    }

    // "Play" walks down the list: rows without a message are read and skipped, each message plays
    // and is read in turn, and playback ends after the last row; preview flags are taken over.
    void playThroughTheList()
    {
        Bench b;
        QVERIFY(b.settings.options.Sound >= 0);
        b.add("old.wav");
        b.add("");
        b.add("new.wav");
        b.add("");
        b.list.makeList();
        b.flags.QuickPlaying = true;
        b.player.playButton();
        QVERIFY(b.flags.ListPlaying);
        QVERIFY(!b.flags.QuickPlaying);
        QCOMPARE(b.list.selectedPosition(), 2);
        QCOMPARE(MessagePlayer::FileNameOf(b.player.playingFile()), QString("new.wav"));
        QVERIFY(b.wavePlay.IsPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(MessagePlayer::FileNameOf(b.player.playingFile()) == "old.wav", 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!b.flags.ListPlaying, 3000);
        QCOMPARE(b.list.unreadCalls(), 0);
        QCOMPARE(b.list.selectedPosition(), 4);
    }

    // "Play" on a row with only message-less rows from it down: all of them are read, nothing plays.
    void playWithoutMessagesBelow()
    {
        Bench b;
        b.add("");
        b.add("");
        b.add("m.wav");
        b.list.makeList();
        b.list.select(2);
        b.player.playButton();
        QVERIFY(!b.flags.ListPlaying);
        QVERIFY(!b.wavePlay.IsPlaying());
        QCOMPARE(b.list.iconAt(2), 4);
        QCOMPARE(b.list.iconAt(3), 4);
        QCOMPARE(b.list.iconAt(1), 1);
    }

    // The player's Stop stops only its own playback; deleting the playing message stops it first;
    // saving over an existing file replaces it.
    void stopDeleteAndSave()
    {
        Bench b;
        b.add("long.wav", "0", 2000);
        b.list.makeList();
        b.player.PlayWave(b.messages() + "long.wav", false); // another player's sound
        QVERIFY(b.wavePlay.IsPlaying());
        b.player.stopButton();
        QVERIFY(b.wavePlay.IsPlaying());
        b.wavePlay.StopPlay();

        const QString target = b.home.path() + "/saved.wav";
        writeWav(target, tone(10));
        FileDialog::scriptNext(target);
        b.player.saveSelected();
        QCOMPARE(QFileInfo(target).size(), QFileInfo(b.messages() + "long.wav").size());
        FileDialog::scriptNext(QString());
        b.player.saveSelected(); // cancelled: nothing happens
        QCOMPARE(QFileInfo(target).size(), QFileInfo(b.messages() + "long.wav").size());
        // A copy that does not fit leaves the file it was to replace as it was.
        kalvo::test::SmallDrive drive(b.home.path() + "/small", 64);
        if (drive.mounted()) {
            const QString old = b.home.path() + "/small/old.wav";
            writeWav(old, tone(10));
            const QByteArray before = readAll(old);
            drive.fill();
            FileDialog::scriptNext(old);
            b.player.saveSelected();
            QCOMPARE(readAll(old), before);
            QCOMPARE(QDir(b.home.path() + "/small").entryList(QDir::Files).size(), 2);
        }

        b.player.playButton();
        QVERIFY(b.wavePlay.IsPlaying());
        b.list.DeleteCommand();
        QVERIFY(!b.wavePlay.IsPlaying());
        QVERIFY(!QFile::exists(b.messages() + "long.wav"));
        QCOMPARE(b.db.RecordCount(), 0);
    }

    // The record of a call: fields in order, "-1" without a message, the length with one, the
    // calls-log line, and message names that never overwrite an existing file.
    void callRecord()
    {
        Bench b;
        b.log.setCallsSwitch(1);
        CallStore store(b.db, b.wavePlay, b.log);
        CurrentCall call;
        call.CallDate = "12/07/2004";
        call.CallTime = "09:41:07";
        store.PutCallDetailsInDB(call, b.messages());
        const QString name = CallStore::messageFileName(b.messages(), call.CallDate, call.CallTime);
        QCOMPARE(name, QString("12-07-2004_09-41-07.wav"));
        writeWav(b.messages() + name, tone(250));
        QCOMPARE(CallStore::messageFileName(b.messages(), call.CallDate, call.CallTime),
                 QString("12-07-2004_09-41-07_2.wav"));
        call.CallerName = "";
        call.CallerNumber = "555";
        call.RingsAtAnswer = "2";
        call.MessageFile = name;
        call.GotMessage = true;
        store.PutCallDetailsInDB(call, b.messages());
        QCOMPARE(b.db.RecordCount(), 2);
        b.db.MoveTo(1);
        QCOMPARE(b.db.GetField("Type"), QString("-1"));
        QCOMPARE(b.db.GetField("Call_Name"), QString("UNKNOWN"));
        QCOMPARE(b.db.GetField("Read"), QString("0"));
        b.db.MoveTo(2);
        QCOMPARE(b.db.GetField("Type"), CallStore::lengthText(0.25));
        QCOMPARE(b.db.GetField("Call_Name"), QString());
        QCOMPARE(b.db.GetField("Call_Massage_Name"), name);
        QFile calls(b.log.folder() + b.log.callsLogName());
        QVERIFY(calls.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(calls.readAll());
        QVERIFY(text.contains("Ring: [UNKNOWN:UNKNOWN]"));
        QVERIFY(text.contains("Ring:2 [:555]"));
        // A missing message file is logged, and the record is still written.
        call.MessageFile = "gone.wav";
        store.PutCallDetailsInDB(call, b.messages());
        QCOMPARE(b.db.RecordCount(), 3);
        QVERIFY(CallStore::keepsCall(0, false) && CallStore::keepsCall(1, true) &&
                !CallStore::keepsCall(1, false));
    }

    // A call database that cannot be opened at start is told to the user and
    // logged; the damaged file is left as it was.
    void unopenableDatabaseIsTold()
    {
        Bench b;
        const QString folder = b.home.programFolder() + "/Broken";
        QDir().mkpath(folder);
        QFile junk(folder + "/" + kalvo::SqliteCallDatabase::FileName);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        QStringList logged;
        ErrorTrap trap("ErrorInitializeFormMain->", [&](const QString& line) { logged << line; });
        CallStore store(b.db, b.wavePlay, b.log);
        QStringList told;
        const auto tell = [&](const QString& text) { told << text; };
        QVERIFY(!store.openAtStart(folder, trap, tell));
        QCOMPARE(told.size(), 1);
        QVERIFY(told.first().contains("cannot be opened (3343 "));
        QCOMPARE(logged.size(), 1);
        QVERIFY(logged.first().startsWith("ErrorInitializeFormMain->3343 "));
        QCOMPARE(QFileInfo(junk).size(), 4096);
        told.clear();
        QVERIFY(store.openAtStart(b.home.programFolder() + "/Calls", trap, tell));
        QVERIFY(told.isEmpty());
    }

    // Another program's database (a Calls table with other columns) is told with what is wrong; a
    // call taken meanwhile is kept beside it and becomes a record once a usable database opens.
    void foreignTableKeepsCalls()
    {
        Bench b;
        const QString folder = b.home.programFolder() + "/Foreign";
        QDir().mkpath(folder);
        const QString file = folder + "/" + kalvo::SqliteCallDatabase::FileName;
        QCOMPARE(QProcess::execute("sqlite3", {file, "CREATE TABLE Calls (caller TEXT, stamp TEXT);"}), 0);
        QStringList told;
        const auto tell = [&](const QString& text) { told << text; };
        const ErrorTrap trap("ErrorInitializeFormMain->", [](const QString&) {});
        CallStore store(b.db, b.wavePlay, b.log);
        QVERIFY(!store.openAtStart(folder, trap, tell));
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().contains("not the one Kalvo keeps") &&
                     told.first().contains("Calls are still kept"),
                 qPrintable(told.first()));
        CurrentCall call;
        call.CallerName = "Eve";
        call.CallerNumber = "5550100";
        QVERIFY(!store.PutCallDetailsInDB(call, b.messages()));
        QVERIFY(store.queue(call, b.messages()));

        QVERIFY(QFile::remove(file));
        QVERIFY(store.openAtStart(folder, trap, tell));
        QCOMPARE(b.db.RecordCount(), 1);
        b.db.MoveTo(1);
        QCOMPARE(b.db.GetField("Call_Name"), QString("Eve"));
        QCOMPARE(b.db.GetField("Type"), QString("-1"));
        QVERIFY(QDir(folder + "/pending").isEmpty());
    }
};

QTEST_MAIN(CallListTest)
#include "CallListTest.moc"