// Calls that survive a damaged store: a call database damaged in several ways is rebuilt with its
// earlier calls, and the queue of calls waiting beside it stores around a call it cannot store.
#include "CallStore.h"
#include "CurrentCall.h"
#include "EngineRig.h"
#include "ErrorTrap.h"
#include "SqliteCallDatabase.h"
#include "VbError.h"
#include "WaveSoundDevice.h"
#include "mdlLog.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

using kalvo::test::tone;

namespace {

constexpr int kCalls = 300;

// The message file names of the records in db.
QStringList listedFiles(kalvo::CallDatabase& db)
{
    QStringList files;
    for (int r = 1; r <= db.RecordCount(); ++r) {
        db.MoveTo(r);
        files << db.GetField("Call_Massage_Name");
    }
    return files;
}

// Refuses the call of one caller; stores the others.
class PickyDatabase : public kalvo::SqliteCallDatabase
{
public:
    void Update() override
    {
        if (GetField("Call_Name") == "Bad")
            throw kalvo::VbError(kalvo::VbDiskFull);
        SqliteCallDatabase::Update();
    }
};

struct Bench
{
    kalvo::test::IsolatedHome home;
    mdlLog log{home.programFolder() + "/Log/"};
    kalvo::sound::WaveSoundDevice wave;
    QStringList told;
    ErrorTrap trap{"ErrorInitializeFormMain->", [](const QString&) {}};
    std::function<void(const QString&)> tell = [this](const QString& text) { told << text; };

    QString calls() const { return home.programFolder() + "/Calls"; }
    QString messages() const { return home.programFolder() + "/Messages/"; }
    QString file() const { return calls() + "/" + kalvo::SqliteCallDatabase::FileName; }
    CurrentCall call(const QString& name, int n) const
    {
        CurrentCall call;
        call.CallerName = name;
        call.CallerNumber = "555" + QString::number(n);
        call.CallDate = "12/07/2004";
        call.CallTime = QString("09:%1:%2").arg(n / 60, 2, 10, QChar('0')).arg(n % 60, 2, 10, QChar('0'));
        call.MessageFile = DateTimeFileText(call.CallDate, call.CallTime) + ".wav";
        call.GotMessage = true;
        return call;
    }
};

} // namespace

class CallStoreRecoveryTest : public QObject
{
    Q_OBJECT

private slots:
    void damagedDatabaseIsRebuilt_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("page overwritten") << "page";
        QTest::newRow("header overwritten") << "header";
    }

    // Every earlier call is listed again, each message once: from the damaged file where it still
    // holds the call, from its message file where it does not; the damaged file is kept unchanged.
    void damagedDatabaseIsRebuilt()
    {
        QFETCH(QString, damage);
        Bench b;
        QDir().mkpath(b.messages());
        {
            kalvo::SqliteCallDatabase db;
            CallStore store(db, b.wave, b.log);
            QVERIFY(store.openAtStart(b.calls(), b.trap, b.tell));
            for (int n = 0; n < kCalls; ++n) {
                const CurrentCall call = b.call("Caller " + QString::number(n), n);
                kalvo::test::writeWav(b.messages() + call.MessageFile, tone(20));
                QVERIFY(store.PutCallDetailsInDB(call, b.messages()));
            }
        }
        QFile file(b.file());
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 size = file.size();
        if (damage == "truncated") {
            QVERIFY(file.resize(size / 2));
        } else {
            QByteArray garbage(damage == "page" ? 4096 : 100, '\0');
            QRandomGenerator random(7);
            for (char& c : garbage)
                c = char(random.bounded(256));
            file.seek(damage == "page" ? 5 * 4096 : 0);
            file.write(garbage);
        }
        file.close();
        const QByteArray damaged = [&] {
            QFile f(b.file());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();

        kalvo::SqliteCallDatabase db;
        CallStore store(db, b.wave, b.log);
        QVERIFY(store.openAtStart(b.calls(), b.trap, b.tell, {b.messages()}));
        QVERIFY2(b.told.isEmpty(), qPrintable(b.told.join('\n')));
        QStringList files = listedFiles(db);
        files.sort();
        QStringList expected = QDir(b.messages()).entryList({"*.wav"}, QDir::Files, QDir::Name);
        QCOMPARE(files, expected);
        int named = 0;
        for (int r = 1; r <= db.RecordCount(); ++r) {
            db.MoveTo(r);
            named += db.GetField("Call_Name").startsWith("Caller ") ? 1 : 0;
        }
        qInfo().noquote() << damage << ":" << named << "of" << kCalls << "with their caller;"
                          << store.rebuilt();
        QVERIFY(named > kCalls / 6);
        QVERIFY(store.rebuilt().contains(QString("%1 calls came back").arg(kCalls)));
        const QStringList aside = QDir(b.calls()).entryList({"calls.sqlite3.damaged-*"}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QFile kept(b.calls() + "/" + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), damaged);
    }

    // A file that holds no call at all is not taken for a call database: it stays where it is.
    void foreignFileIsNotRebuilt()
    {
        Bench b;
        QDir().mkpath(b.calls());
        QFile junk(b.file());
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        kalvo::SqliteCallDatabase db;
        CallStore store(db, b.wave, b.log);
        QVERIFY(!store.openAtStart(b.calls(), b.trap, b.tell, {b.messages()}));
        QVERIFY(store.rebuilt().isEmpty());
        QCOMPARE(QFileInfo(b.file()).size(), 4096);
    }

    // A queued call the database refuses waits while those after it are stored; a queued call whose
    // file comes back after it was stored is not stored twice.
    void pendingQueueStoresAroundARefusal()
    {
        Bench b;
        PickyDatabase db;
        CallStore store(db, b.wave, b.log);
        QDir().mkpath(b.calls());
        QFile blocker(b.file());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write(QByteArray(4096, 'x'));
        blocker.close();
        QVERIFY(!store.openAtStart(b.calls(), b.trap, b.tell));
        for (const char* name : {"First", "Bad", "Last"}) {
            CurrentCall call = b.call(name, 1);
            call.GotMessage = false;
            QVERIFY(store.queue(call, b.messages()));
        }
        QVERIFY(QFile::remove(b.file()));
        QVERIFY(store.openAtStart(b.calls(), b.trap, b.tell));
        QCOMPARE(db.RecordCount(), 2);
        db.MoveTo(2);
        QCOMPARE(db.GetField("Call_Name"), QString("Last"));
        QCOMPARE(QDir(b.calls() + "/pending").entryList({"*.call"}).size(), 1);

        // The stored "Last" queued again, as a file that could not be removed leaves it.
        CurrentCall last = b.call("Last", 1);
        last.GotMessage = false;
        QVERIFY(store.queue(last, b.messages()));
        QCOMPARE(store.storePending(), 0);
        QCOMPARE(db.RecordCount(), 2);
        QCOMPARE(QDir(b.calls() + "/pending").entryList({"*.call"}).size(), 1);
    }
};

QTEST_MAIN(CallStoreRecoveryTest)
#include "CallStoreRecoveryTest.moc"
