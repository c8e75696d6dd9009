// A line exposed to a flood of OPTIONS and REGISTER requests from the caller's own address (UDP
// sources are easily forged) still takes the real call: baresip's call is answered, the caller's
// voice recorded and stored, while the flood gets only its source's budget of replies and the
// program's memory stays bounded.
#include "EngineRig.h"
#include "SipFloodGuard.h"
#include "SipPeers.h"

#include <QFile>
#include <QtTest>
#include <cmath>
#include <malloc.h>

#ifdef __SANITIZE_ADDRESS__
extern "C" size_t __sanitizer_get_current_allocated_bytes(); // the sanitizer's own count
#endif

using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;

namespace {

// Memory the program holds, in kB: what is allocated and not freed. Resident size would count the
// freed blocks the address sanitizer keeps in quarantine too.
long heldKb()
{
#ifdef __SANITIZE_ADDRESS__
    return long(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    return long(mallinfo2().uordblks / 1024);
#endif
}

struct sa address(const char* host, uint16_t port = 5060)
{
    struct sa addr;
    sa_set_str(&addr, host, port);
    return addr;
}

} // namespace

class SipFloodTest : public QObject
{
    Q_OBJECT

private slots:
    // Budgets: one source gets its burst and then its rate; another source is not held back by it;
    // a source changing its port is the same source; INVITEs have budgets of their own, so neither
    // OPTIONS from the caller's address nor from many sources keep a caller out, while an INVITE
    // flood meets its own limit; the table of sources stays bounded.
    void budgetsPerSourceAndInTotal()
    {
        using namespace std::chrono;
        kalvo::sip::SipFloodGuard guard({10, 20, 50, 60, 8});
        const auto t0 = kalvo::sip::SipFloodGuard::Clock::now();
        int admitted = 0;
        for (int i = 0; i < 100; ++i)
            admitted += guard.admit(address("192.0.2.1", uint16_t(1000 + i)), false, t0);
        QCOMPARE(admitted, 20);
        int invites = 0;
        for (int i = 0; i < 40; ++i)
            invites += guard.admit(address("192.0.2.1"), true, t0 + milliseconds(50));
        QCOMPARE(invites, 20);
        QVERIFY(guard.admit(address("192.0.2.1"), false, t0 + milliseconds(100)));
        QVERIFY(guard.admit(address("192.0.2.2"), false, t0 + milliseconds(100)));

        // Eight more sources use up the shared budget for OPTIONS; an INVITE still gets in.
        for (int s = 3; s < 60; ++s)
            for (int i = 0; i < 20; ++i)
                guard.admit(address(qPrintable(QString("192.0.2.%1").arg(s))), false, t0 + milliseconds(100));
        QVERIFY(!guard.admit(address("192.0.2.2"), false, t0 + milliseconds(100)));
        QVERIFY(guard.admit(address("192.0.2.2"), true, t0 + milliseconds(100)));
        QVERIFY(guard.sources() <= 8);
        // Once their budgets refill, old sources make room for new ones.
        QVERIFY(guard.admit(address("198.51.100.7"), true, t0 + seconds(10)));
        QVERIFY(guard.sources() <= 8);
    }

    // The real call during the flood: answered, recorded, stored; the flood mostly unanswered.
    void callDuringFloodIsRecordedAndStored()
    {
        const uint16_t port = kalvo::sip::test::freePort();
        QVERIFY(port != 0);
        const QString conf = kalvo::sip::test::lineConf(port);
        EngineRig rig(Values{{"NumOfRing", "2"}, {"MaxRec", "1"}}, 1.0, conf);
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(300, 4000, 300));
        rig.start();
        std::vector<int16_t> voice(8000, 0);
        const std::vector<int16_t> speech = kalvo::sip::test::tone(700, 3.0, 9000);
        voice.insert(voice.end(), speech.begin(), speech.end());
        kalvo::sip::test::Baresip caller("Bob", "bob@127.0.0.1>;regint=0", voice);

        // 8,000 requests a second for 40 seconds from the caller's own address.
        const long before = heldKb();
        QTemporaryDir dir;
        const std::string floodLog = dir.path().toStdString() + "/flood";
        const pid_t flood = kalvo::sip::test::spawn(
            floodLog,
            {"/usr/bin/python3", kalvo::test::sourcePath("tests/support/sip/sipflood.py").toStdString(),
             "127.0.0.1", std::to_string(port), "8000", "320000", "127.0.0.1"});
        QTest::qWait(1500);
        QElapsedTimer answering;
        answering.start();
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 20000);
        const qint64 answeredMs = answering.elapsed();
        QTest::qWait(3500);
        caller.hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 20000);
        const long after = heldKb();
        QTRY_VERIFY_WITH_TIMEOUT(kalvo::sip::test::readFile(floodLog).find("sent") != std::string::npos,
                                 60000);
        kalvo::sip::test::terminate(flood);

        const auto record = rig.records().front();
        QCOMPARE(record.at("Call_Name"), QString("Bob"));
        const std::vector<int16_t> message =
            kalvo::sip::test::readWav((rig.messagesFolder() + record.at("Call_Massage_Name")).toStdString());
        QVERIFY2(message.size() > 8000, "the caller's voice was recorded");
        QVERIFY2(caller.log().find("Call established") != std::string::npos, caller.log().c_str());

        // "sent N replies M": the flood got its source's budget (a burst, then 20 a second).
        unsigned sent = 0, replies = 0;
        QCOMPARE(
            std::sscanf(kalvo::sip::test::readFile(floodLog).c_str(), "sent %u replies %u", &sent, &replies),
            2);
        qInfo("flood: %u sent, %u answered; recording after %lld ms; memory held %ld kB -> %ld kB", sent,
              replies, answeredMs, before, after);
        QVERIFY2(sent >= 100000, qPrintable(QString::number(sent)));
        QVERIFY2(replies < 1000, qPrintable(QString::number(replies)));
        QVERIFY2(after - before < 16 * 1024, qPrintable(QString("%1 kB -> %2 kB").arg(before).arg(after)));
    }
};

QTEST_MAIN(SipFloodTest)
#include "SipFloodTest.moc"
