// The options dialog's "Web Access" page against a running web page: the password is set there
// (both typings must agree), OK opens or closes the page at once, and what it shows (address,
// fingerprint, QR code) is the page that listens; a port that cannot be used is told, not logged only.
#include "Clock.h"
#include "MessageStore.h"
#include "SqliteCallDatabase.h"
#include "TestSupport.h"
#include "WebAccess.h"
#include "WebAccessPage.h"
#include "WebCertificate.h"
#include "WebPassword.h"
#include "mdlLog.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {
quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
} // namespace

class WebOptionsPageTest : public QObject
{
    Q_OBJECT

private slots:
    void setsPasswordAndAppliesAtOk()
    {
        kalvo::test::IsolatedHome home;
        const QString folder = home.programFolder();
        QDir().mkpath(folder + "/Calls");
        FixedClock clock{QDateTime::currentDateTime()};
        kalvo::SqliteCallDatabase db;
        db.Open(folder + "/Calls");
        QString messages = folder + "/Messages/";
        mdlLog log{folder + "/Log/", clock};
        MessageStore store{db, messages, log};
        WebAccess web{store, log, folder};
        QCOMPARE(web.apply(WebAccess::readConfig(), clock), QString());

        WebAccessPage page(folder);
        QCOMPARE(page.cmbWebAccess->currentIndex(), 0);
        QVERIFY(page.lblWebState->text().startsWith("No password"));
        page.txtWebPassword->setText("kitchen-garden-7");
        page.txtWebPasswordAgain->setText("kitchen-garden-8");
        page.cmdSetWebPassword->click();
        QVERIFY(!WebPassword::isSet(WebAccess::webFolder(folder)));
        page.txtWebPassword->setText("kitchen-garden-7");
        page.txtWebPasswordAgain->setText("kitchen-garden-7");
        page.cmdSetWebPassword->click();
        QVERIFY(WebPassword::matches(WebAccess::webFolder(folder), "kitchen-garden-7"));
        QVERIFY(page.txtWebPassword->text().isEmpty());

        const quint16 port = unusedPort();
        page.cmbWebAccess->setCurrentIndex(1);
        page.txtWebPort->setValue(port);
        QCOMPARE(page.save(), QString());
        QCOMPARE(web.port(), port);
        QCOMPARE(WebAccess::readConfig().access, 1);
        QCOMPARE(page.lblWebAddress->text(), QString("Address: https://127.0.0.1:%1/").arg(port));
        QVERIFY(page.lblWebFingerprint->text().endsWith(
            WebCertificate::fingerprint(WebAccess::webFolder(folder))));
        QVERIFY(!page.picWebAddress->pixmap().isNull());
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(socket.waitForConnected(3000));
        socket.close();

        // Someone else holds the port: the page says so and stays off.
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, unusedPort()));
        page.txtWebPort->setValue(other.serverPort());
        QVERIFY(page.save().contains(QString::number(other.serverPort())));
        QVERIFY2(page.lblWebState->text().startsWith("The web page is off: port"),
                 qPrintable(page.lblWebState->text()));
        QVERIFY(page.picWebAddress->isHidden());

        page.cmbWebAccess->setCurrentIndex(0);
        QCOMPARE(page.save(), QString());
        QCOMPARE(web.port(), quint16(0));
    }
};

QTEST_MAIN(WebOptionsPageTest)
#include "WebOptionsPageTest.moc"
