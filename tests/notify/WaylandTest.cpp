// The real program under a real Wayland compositor (headless weston, Qt's Wayland platform) with a
// real notification service: it starts with its main window, opens its simulated line, answers a
// call and shows the call as a notification in place of the caller window, which cannot place
// itself there. A screenshot of the main window is kept for looking at.
#include "EngineRig.h"
#include "HeadlessWeston.h"
#include "NotificationServer.h"
#include "mdlReg.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QtTest>

using kalvo::test::HeadlessWeston;
using kalvo::test::NotificationServer;

namespace {
QStringList sysLog(const QString& programFolder)
{
    QStringList lines;
    const QString folder = programFolder + "/Log/";
    for (const QString& name : QDir(folder).entryList({"*_Sys.txt"}, QDir::Files)) {
        QFile file(folder + name);
        if (file.open(QIODevice::ReadOnly))
            lines << QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
    }
    return lines;
}

// The share of sampled pixels that differ between two pictures of the same size.
double changed(const QImage& before, const QImage& after)
{
    int differ = 0, all = 0;
    for (int y = 0; y < before.height(); y += 4)
        for (int x = 0; x < before.width(); x += 4, ++all)
            differ += before.pixel(x, y) != after.pixel(x, y);
    return all ? double(differ) / all : 0;
}
} // namespace

class WaylandTest : public QObject
{
    Q_OBJECT

private slots:
    // Started with no setting but "Display Caller View": the first start chooses the notification
    // on Wayland, the call is answered and shown there with the caller's name, and the main
    // window is on the screen.
    void answersAndNotifiesUnderWeston()
    {
        HeadlessWeston weston;
        QVERIFY2(weston.problem().isEmpty(), qPrintable(weston.problem()));
        NotificationServer server;
        QVERIFY2(server.problem().isEmpty(), qPrintable(server.problem()));
        QVERIFY(server.start());
        kalvo::test::IsolatedHome home;
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "ViewDetails", 1, "1");
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "NumOfRing", 1, "2");
        const QString folder = home.path() + "/scenario";
        QDir().mkpath(folder);
        QFile scenario(folder + "/call.txt");
        QVERIFY(scenario.open(QIODevice::WriteOnly));
        scenario.write("4 offer number=5550199 name=\"Wayland Caller\"\n+0.5 ring\n+1 ring\n+3 hangup\n");
        scenario.close();
        QFile conf(QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF")));
        QDir().mkpath(QFileInfo(conf).path());
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[Line0]\nname = Sim\nprovider = sim\naudio = fast\nscenario = " +
                   scenario.fileName().toUtf8() + "\n");
        conf.close();

        const QString empty = QDir::currentPath() + "/wayland-desktop.png";
        QVERIFY2(weston.screenshot(empty), qPrintable(weston.log()));

        QProcess kalvo;
        QProcessEnvironment env = weston.clientEnvironment(QProcessEnvironment::systemEnvironment());
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        kalvo.setProcessEnvironment(env);
        kalvo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        kalvo.start(kalvo::test::binaryPath("kalvo"), {});
        QVERIFY(kalvo.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(sysLog(home.programFolder()).filter("LineAnswer[LineIndex:0]").size() == 1,
                                 60000);
        QTRY_VERIFY_WITH_TIMEOUT(
            !server.shown().isEmpty() && server.shown().last().body.contains("Wayland Caller"), 20000);
        QCOMPARE(mdlReg::GetRegString(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "CallerViewAs"),
                 QString("1"));
        QVERIFY(kalvo.state() == QProcess::Running);

        const QString shot = QDir::currentPath() + "/wayland-main-window.png";
        QVERIFY2(weston.screenshot(shot), qPrintable(weston.log()));
        const QImage image(shot);
        QCOMPARE(image.size(), QSize(1024, 768));
        // The main window (640 x 480 at its design size) covers a good part of the desktop.
        QVERIFY(changed(QImage(empty), image) > 0.2);

        kalvo.terminate();
        QVERIFY(kalvo.waitForFinished(30000));
        QCOMPARE(kalvo.exitCode(), 0);
        QVERIFY(sysLog(home.programFolder()).last().endsWith("Unload Kalvo"));
    }
};

QTEST_MAIN(WaylandTest)
#include "WaylandTest.moc"
