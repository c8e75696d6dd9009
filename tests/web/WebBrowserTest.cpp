// The web page end to end: baresip calls the SIP line and leaves a message; a real browser (headless
// chromium) logs in, sees the call, plays it, marks it read (the window's row loses its bold), blocks
// the caller (the next call from that number gets 603) and deletes the call (the window's list and
// the message file lose it too).
#include "CallList.h"
#include "CallListModel.h"
#include "CallerRuleStore.h"
#include "EngineRig.h"
#include "MessageStore.h"
#include "SipPeers.h"
#include "WebAccess.h"
#include "WebPassword.h"
#include "WebStart.h"

#include <QDir>
#include <QFont>
#include <QProcess>
#include <QtTest>

using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;

class WebBrowserTest : public QObject
{
    Q_OBJECT

private slots:
    void browserPlaysMarksBlocksDeletes()
    {
        const uint16_t sipPort = kalvo::sip::test::freePort();
        const uint16_t webPort = kalvo::sip::test::freePort();
        QVERIFY(sipPort != 0 && webPort != 0);
        EngineRig rig(Values{{"NumOfRing", "1"},
                             {"MaxRec", "1"},
                             {"WebAccess", "1"},
                             {"WebPort", QString::number(webPort)}},
                      1.0, kalvo::sip::test::lineConf(sipPort));
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(300, 8000, 300));
        rig.start();
        QCOMPARE(WebPassword::store(WebAccess::webFolder(rig.programFolder()), "hallway-phone-42"),
                 QString());
        const std::unique_ptr<WebAccess> web = WebStart::start(rig.form());
        QCOMPARE(web->port(), webPort);

        const std::string number = "+4930555123";
        const std::string target = "sip:kalvo@127.0.0.1:" + std::to_string(sipPort);
        {
            kalvo::sip::test::Baresip caller("Alice", number + "@127.0.0.1>;regint=0",
                                             kalvo::sip::test::tone(440, 4.0));
            caller.dial(target);
            QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Connected[LineIndex:0]"), 20000);
            QTest::qWait(3000);
            caller.hangUp();
            QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 20000);
        }
        CallList& list = rig.form().callList();
        QTRY_COMPARE_WITH_TIMEOUT(list.rowCount(), 1, 10000);
        auto bold = [&] { return list.model()->index(0, 0).data(Qt::FontRole).value<QFont>().bold(); };
        QVERIFY(bold());

        const QString shots = QStringLiteral(KALVO_TEST_BIN_DIR "/../tests/web-screenshots");
        QDir().mkpath(shots);
        QTemporaryDir profile;
        QProcess browser;
        browser.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        browser.start("/usr/bin/python3",
                      {kalvo::test::sourcePath("tests/web/browser_check.py"),
                       "https://127.0.0.1:" + QString::number(webPort) + "/", "hallway-phone-42",
                       QString::fromStdString(number), shots, profile.path()});
        QByteArray said;
        auto reached = [&](const char* word) {
            said += browser.readAllStandardOutput();
            return said.contains(word) || browser.state() == QProcess::NotRunning;
        };
        QTRY_VERIFY_WITH_TIMEOUT(reached("marked"), 90000);
        QVERIFY2(said.contains("played") && said.contains("marked"), said.constData());
        QTRY_VERIFY_WITH_TIMEOUT(!bold(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(reached("blocked"), 30000);
        QVERIFY2(said.contains("blocked"), said.constData());
        {
            kalvo::sip::test::Baresip again("Alice", number + "@127.0.0.1>;regint=0",
                                            std::vector<int16_t>(8000, 0));
            again.dial(target);
            QTRY_VERIFY_WITH_TIMEOUT(!rig.sysLog().filter("CallerBlocked[LineIndex:0]").isEmpty(), 20000);
            QVERIFY2(again.waitLog("603", std::chrono::seconds(10)), again.log().c_str());
        }
        QCOMPARE(int(rig.records().size()), 1);
        const QString message = rig.form().messages().pathOf(rig.form().messages().newest());
        QVERIFY(QFile::exists(message));
        browser.write("delete\n");
        QTRY_VERIFY_WITH_TIMEOUT(reached("deleted"), 30000);
        QVERIFY2(said.contains("deleted"), said.constData());
        QVERIFY(browser.waitForFinished(30000));
        QCOMPARE(browser.exitCode(), 0);
        QCOMPARE(int(rig.records().size()), 0);
        QCOMPARE(list.rowCount(), 0);
        QVERIFY(!QFile::exists(message));
    }
};

QTEST_MAIN(WebBrowserTest)
#include "WebBrowserTest.moc"
