// The SIP line's settings dialog opened from the options dialog over a main form on a real SIP line:
// a new listen port takes effect without restarting, and an account typed in registers with a real
// kamailio and receives a call routed by it. Every peer is on 127.0.0.1.
#include "SipLineDialog.h"
#include "AnsweringEngine.h"
#include "EngineRig.h"
#include "LineControl.h"
#include "LineSettingsEditor.h"
#include "SipPeers.h"
#include "TelephonyLayer.h"
#include "frmOptions.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

using kalvo::sip::test::Baresip;
using kalvo::sip::test::freePort;
using kalvo::sip::test::Kamailio;
using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;

namespace {
QString confFor(uint16_t port)
{
    return QString(
               "# Lines of this test\n[Line0]\nname = SIP Line\nprovider = sip\n"
               "# where calls arrive\nlisten = 127.0.0.1:%1\nring_interval = 0.3\nrtp_ports = 40000-49998\n\n"
               "[location]\ncountry_code = 44\narea_code =\n")
        .arg(port);
}

QString confText()
{
    QFile file(QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void set(QDialog& dialog, const char* field, const QString& text)
{
    dialog.findChild<QLineEdit*>(field)->setText(text);
}
} // namespace

class SipLineDialogTest : public QObject
{
    Q_OBJECT

private slots:
    // The line answers a call while its dialog is open; a bad port is refused with a reason; a good
    // one is written into the file with its comments and other sections kept, and a softphone
    // calling the new port is answered without a restart.
    void newListenPortWithoutRestart()
    {
        const uint16_t oldPort = freePort();
        EngineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}}, 1.0, confFor(oldPort));
        rig.start();
        frmMain& form = rig.form();
        QVERIFY(form.Tapi1().LineOpened(0));
        uint16_t newPort = freePort();
        while (newPort == oldPort)
            newPort = freePort();

        QString refused;
        kalvo::test::editLineSettings(form, "SipLineDialog", [&](QDialog& dialog) {
            {
                Baresip early("Ann", "ann@127.0.0.1>;regint=0", kalvo::sip::test::tone(700, 2.0, 9000));
                early.dial("sip:kalvo@127.0.0.1:" + std::to_string(oldPort));
                QTRY_VERIFY_WITH_TIMEOUT(form.Wave1().IsRecording(), 15000);
                early.hangUp();
                QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 15000);
            }
            QCOMPARE(dialog.findChild<QLineEdit*>("txtListenPort")->text(), QString::number(oldPort));
            set(dialog, "txtListenPort", "70000");
            dialog.findChild<QPushButton*>("cmdOK")->click();
            refused = dialog.findChild<QLabel*>("lblError")->text();
            QVERIFY(dialog.isVisible());
            set(dialog, "txtListenAddress", "localhost:1");
            set(dialog, "txtListenPort", QString::number(newPort));
            dialog.findChild<QPushButton*>("cmdOK")->click();
            QVERIFY(dialog.findChild<QLabel*>("lblError")->text().contains("not an IP address"));
            // An address this computer does not have is said at once, and not refused.
            set(dialog, "txtListenAddress", "192.0.2.77");
            emit dialog.findChild<QLineEdit*>("txtListenAddress")->editingFinished();
            QVERIFY(
                dialog.findChild<QLabel*>("lblError")->text().contains("not an address of this computer"));
            set(dialog, "txtListenAddress", "127.0.0.1");
            dialog.findChild<QPushButton*>("cmdOK")->click();
            QVERIFY(!dialog.isVisible());
        });
        QCOMPARE(refused, QString("The listen port must be a number from 1 to 65535."));
        const QString conf = confText();
        QVERIFY2(conf.contains(QString("listen = 127.0.0.1:%1\n").arg(newPort)), qPrintable(conf));
        for (const char* kept :
             {"# Lines of this test\n", "# where calls arrive\n", "[location]\ncountry_code = 44\n",
              "ring_interval = 0.3\n", "name = SIP Line\n"})
            QVERIFY2(conf.contains(kept), kept);
        QVERIFY(form.Tapi1().LineOpened(0));
        QCOMPARE(form.engine().state().LineIndex, 0);

        std::vector<int16_t> voice(8000, 0);
        const std::vector<int16_t> speech = kalvo::sip::test::tone(700, 2.0, 9000);
        voice.insert(voice.end(), speech.begin(), speech.end());
        Baresip caller("Bob", "bob@127.0.0.1>;regint=0", voice);
        caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(newPort));
        QTRY_VERIFY_WITH_TIMEOUT(form.Wave1().IsRecording(), 15000);
        caller.hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 2, 15000);
        QCOMPARE(rig.records().back().at("Call_Name"), QString("Bob"));
    }

    // An account typed into the dialog registers with kamailio, and a call to it through the
    // registrar is answered.
    void accountRegistersWithKamailio()
    {
        Kamailio registrar("s3cret");
        const uint16_t port = freePort();
        EngineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}}, 1.0, confFor(port));
        rig.start();
        frmMain& form = rig.form();
        kalvo::test::editLineSettings(form, "SipLineDialog", [&](QDialog& dialog) {
            set(dialog, "txtRegistrar", QString("sip:127.0.0.1:%1").arg(registrar.port()));
            set(dialog, "txtUser", "");
            dialog.findChild<QPushButton*>("cmdOK")->click();
            QCOMPARE(dialog.findChild<QLabel*>("lblError")->text(),
                     QString("An account at a registrar needs a user."));
            set(dialog, "txtUser", "kalvo");
            set(dialog, "txtPassword", "s3cret");
            set(dialog, "txtDisplayName", "Kalvo");
            set(dialog, "txtExpires", "60");
            dialog.findChild<QPushButton*>("cmdOK")->click();
            QVERIFY(!dialog.isVisible());
        });
        const QString conf = confText();
        QVERIFY2(conf.contains("user = kalvo\n") && conf.contains("password = s3cret\n") &&
                     conf.contains("expires = 60\n"),
                 qPrintable(conf));
        QTRY_VERIFY_WITH_TIMEOUT(registrar.count("REGISTER from sip:kalvo@") >= 1, 10000);

        Baresip caller("Via Registrar", "ivan@127.0.0.1>;regint=0", std::vector<int16_t>(5 * 8000, 0));
        // The registration may still be on its way when the first REGISTER is logged.
        bool answered = false;
        for (int attempt = 0; attempt < 3 && !answered; ++attempt) {
            caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(registrar.port()));
            answered = QTest::qWaitFor([&] { return form.Wave1().IsRecording(); }, 8000);
        }
        QVERIFY2(answered, registrar.log().c_str());
        caller.hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 15000);
    }

    // Combinations that cannot work are explained before anything is written: encrypted calls
    // without TLS, an authority file that does not exist (found beside the configuration when
    // named relatively); TLS with its files is then written as the line will read it.
    void internetFieldsRefuseWhatCannotWork()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/telephony.conf";
        QFile conf(path);
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(confFor(5070).toUtf8());
        conf.close();
        kalvo::telephony::LineConfig line;
        line.name = "SIP Line";
        line.provider = "sip";
        line.keys = {{"listen", "127.0.0.1:5070"}, {"ring_interval", "0.3"}, {"rtp_ports", "40000-49998"}};
        kalvo::sip::SipLineDialog dialog(line, path.toStdString());
        auto* transport = dialog.findChild<QComboBox*>("cmbTransport");
        auto* srtp = dialog.findChild<QComboBox*>("cmbSrtp");
        QCOMPARE(transport->currentText(), QString("UDP"));
        srtp->setCurrentIndex(2);
        QString reason;
        QVERIFY(!dialog.save(&reason));
        QVERIFY2(reason.startsWith("Encrypted calls need the TLS transport"), qPrintable(reason));
        transport->setCurrentIndex(2);
        set(dialog, "txtTlsCa", "pbx-ca.pem");
        QVERIFY(!dialog.save(&reason));
        QVERIFY2(reason.startsWith("The file pbx-ca.pem does not exist"), qPrintable(reason));
        QFile ca(dir.path() + "/pbx-ca.pem");
        QVERIFY(ca.open(QIODevice::WriteOnly));
        ca.close();
        // Every field filled in, so that every key the dialog knows is written.
        set(dialog, "txtRegistrar", "sip:pbx.example");
        set(dialog, "txtUser", "kalvo");
        set(dialog, "txtAuthUser", "k1");
        set(dialog, "txtPassword", "pw");
        set(dialog, "txtDisplayName", "Kalvo");
        set(dialog, "txtOutboundProxy", "sip:proxy.example;transport=tls");
        set(dialog, "txtStunServer", "stun.example:3478");
        set(dialog, "txtKeepalive", "25");
        QVERIFY2(dialog.save(&reason), qPrintable(reason));
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(written.readAll());
        QVERIFY2(text.contains("transport = tls\n") && text.contains("srtp = mandatory\n") &&
                     text.contains("tls_ca = pbx-ca.pem\n") && text.contains("stun_server = stun.example"),
                 qPrintable(text));
        // The line reads all of it without a word (kalvo-line list prints these problems).
        const QByteArray previous = qgetenv("KALVO_TELEPHONY_CONF");
        qputenv("KALVO_TELEPHONY_CONF", path.toLocal8Bit());
        QVERIFY(kalvo::telephony::reloadConfiguration());
        const std::vector<std::string> problems = kalvo::telephony::configurationProblems();
        qputenv("KALVO_TELEPHONY_CONF", previous);
        kalvo::telephony::reloadConfiguration();
        QVERIFY2(problems.empty(), problems.empty() ? "" : problems.front().c_str());
    }
};

QTEST_MAIN(SipLineDialogTest)
#include "SipLineDialogTest.moc"
