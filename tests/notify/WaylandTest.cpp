// Kalvo as a client of a real Wayland compositor (headless weston, Qt's Wayland platform; see
// on-weston.sh). In this process, without a tray or a notification service: the caller window is
// still shown, the close box minimises instead of hiding, and a dialog opens. As the real program
// with a real notification service: it starts with its main window, answers a call on its simulated
// line and shows the call as a notification in place of the caller window. A screenshot of the main
// window is kept for looking at.
#include "CallAnnouncer.h"
#include "EngineRig.h"
#include "NotificationServer.h"
#include "TrayIcon.h"
#include "mdlReg.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

using kalvo::test::EngineRig;
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

// The compositor's whole output through weston-screenshooter, as a picture in pngPath.
QImage screenshot(const QString& pngPath)
{
    QTemporaryDir folder;
    QProcess shooter;
    shooter.setWorkingDirectory(folder.path());
    shooter.start("weston-screenshooter", {});
    if (!shooter.waitForFinished(20000) || shooter.exitCode() != 0) {
        qWarning() << "weston-screenshooter:" << shooter.readAllStandardError();
        return {};
    }
    const QStringList shots = QDir(folder.path()).entryList({"*.png"}, QDir::Files);
    QFile::remove(pngPath);
    if (shots.isEmpty() || !QFile::copy(folder.path() + "/" + shots.first(), pngPath))
        return {};
    return QImage(pngPath);
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
    void initTestCase() { QVERIFY(QGuiApplication::platformName().startsWith("wayland")); }

    // No tray and no notification service: a call still shows the caller window (wherever the
    // compositor puts it), the close box minimises the window instead of hiding it, and the
    // events dialog opens, offering the notification as the first start's choice here.
    void windowsWithoutTrayOrService()
    {
        QVERIFY(!CallAnnouncer::windowCanPlaceItself());
        QVERIFY(!TrayIcon::available());
        EngineRig rig({{"ViewDetails", "1"}, {"NumOfRing", "9"}});
        frmMain& form = rig.form();
        rig.start();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        rig.sim().offerCall("5551234", "Alice");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(form.viewer().isLoaded() && form.viewer().isVisible(), 5000);

        form.close();
        QVERIFY(!form.WindowHidden());
        QVERIFY(rig.sysLogHas("the window is minimised instead of hidden"));

        QString shows;
        QSize size;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            size = dialog->size();
            shows = dialog->findChild<QComboBox*>("cmbCallerViewAs")->currentText();
            dialog->findChild<QPushButton*>("cmdCancel")->click();
        });
        form.menuClick("mnuEventsGeneral");
        QCOMPARE(shows, QString("Notification"));
        QVERIFY(size.width() > 200 && size.height() > 150);
    }

    // The real program, with nothing stored but "Display Caller View" and two rings: the first
    // start chooses the notification on Wayland, the call is answered and shown there with the
    // caller's name, and the main window is on the screen.
    void programAnswersAndNotifies()
    {
        NotificationServer server;
        QVERIFY2(server.problem().isEmpty(), qPrintable(server.problem()));
        QVERIFY2(server.start(), qPrintable(server.log()));
        kalvo::test::IsolatedHome home;
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "ViewDetails", 1, "1");
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "NumOfRing", 1, "2");
        QFile scenario(home.path() + "/call.txt");
        QVERIFY(scenario.open(QIODevice::WriteOnly));
        scenario.write("4 offer number=5550199 name=\"Wayland Caller\"\n+0.5 ring\n+1 ring\n+3 hangup\n");
        scenario.close();
        QFile conf(QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF")));
        QDir().mkpath(QFileInfo(conf).path());
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[Line0]\nname = Sim\nprovider = sim\naudio = fast\nscenario = " +
                   scenario.fileName().toUtf8() + "\n");
        conf.close();
        const QImage desktop = screenshot(QDir::currentPath() + "/wayland-desktop.png");
        QVERIFY(!desktop.isNull());

        QProcess kalvo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
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

        const QImage window = screenshot(QDir::currentPath() + "/wayland-main-window.png");
        QCOMPARE(window.size(), desktop.size());
        // The main window (640 x 480 at its design size) covers a good part of the desktop.
        QVERIFY(changed(desktop, window) > 0.2);

        kalvo.terminate();
        QVERIFY(kalvo.waitForFinished(30000));
        QCOMPARE(kalvo.exitCode(), 0);
        QVERIFY(sysLog(home.programFolder()).last().endsWith("Unload Kalvo"));
    }
};

QTEST_MAIN(WaylandTest)
#include "WaylandTest.moc"
