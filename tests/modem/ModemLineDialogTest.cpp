// The modem line's settings dialog opened from the options dialog over a main form on a modem line:
// Probe tells what the modem on the chosen port is, an empty port is refused, and moving the line to
// another modem takes effect without a restart (a call on the new modem is answered); a modem line
// added in the lines dialog answers without a restart.
#include "ModemLineDialog.h"
#include "AnsweringEngine.h"
#include "EngineRig.h"
#include "LineControl.h"
#include "LineSettingsEditor.h"
#include "ModalDialogs.h"
#include "ModemSimulator.h"
#include "frmOptions.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

using kalvo::modem::test::Caller;
using kalvo::modem::test::ModemSimulator;
using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;

namespace {
QString confText()
{
    QFile file(QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class ModemLineDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { qputenv("KALVO_LOCK_DIR", m_locks.path().toLocal8Bit()); }

    // Probe, a refused empty port, and the line moved to a second modem without a restart.
    void probeAndMoveToAnotherModem()
    {
        ModemSimulator first, second;
        const QString conf = QString("# the answering line\n[Line0]\nname = Home Line\nprovider = modem\n"
                                     "device = %1\nspeed = 57600\n")
                                 .arg(QString::fromStdString(first.device()));
        EngineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}}, 1.0, conf);
        rig.start();
        frmMain& form = rig.form();
        QVERIFY(form.Tapi1().LineOpened(0));
        kalvo::test::editLineSettings(form, "ModemLineDialog", [&](QDialog& dialog) {
            auto* device = dialog.findChild<QComboBox*>("cmbDevice");
            QCOMPARE(device->currentText(), QString::fromStdString(first.device()));
            QCOMPARE(dialog.findChild<QComboBox*>("cmbSpeed")->currentText(), QString("57600"));
            device->setCurrentText(QString::fromStdString(second.device()));
            const int fieldHeight = device->height();
            dialog.findChild<QPushButton*>("cmdProbe")->click();
            // The dialog makes room for the whole answer; the fields keep their size.
            auto* answer = dialog.findChild<QLabel*>("lblProbe");
            QTRY_VERIFY(answer->height() >= answer->heightForWidth(answer->width()));
            QCOMPARE(device->height(), fieldHeight);
            const QString probed = answer->text();
            QVERIFY2(probed.contains("voice mode") && probed.contains("Kalvo would use G.711U"),
                     qPrintable(probed));
            device->setCurrentText("");
            dialog.findChild<QPushButton*>("cmdOK")->click();
            QVERIFY(
                dialog.findChild<QLabel*>("lblError")->text().startsWith("Choose the modem's serial port"));
            QVERIFY(dialog.isVisible());
            device->setCurrentText(QString::fromStdString(second.device()));
            dialog.findChild<QPushButton*>("cmdOK")->click();
            QVERIFY(!dialog.isVisible());
        });
        const QString written = confText();
        QVERIFY2(written.contains("device = " + QString::fromStdString(second.device()) + "\n"),
                 qPrintable(written));
        QVERIFY(written.contains("# the answering line\n"));

        Caller caller;
        caller.rings = 3;
        caller.voice = std::vector<int16_t>(8000 * 3, 0);
        second.call(caller);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Connected[LineIndex:0]"), 15000);
        QVERIFY(second.offHook() || !rig.records().empty());
    }

    // A modem line added in the lines dialog (through its own settings dialog) and chosen there is
    // watched at OK, and a simulator call on it is answered; the simulated line it replaces stays
    // in the file.
    void modemLineAddedInTheLinesDialogAnswers()
    {
        ModemSimulator modem;
        EngineRig rig(Values{{"NumOfRing", "1"}, {"MaxRec", "1"}}, 1.0);
        rig.start();
        frmMain& form = rig.form();
        QVERIFY(form.Tapi1().LineOpened(0));
        frmOptions options(form.dialogHost(), &form);
        int rows = 0;
        kalvo::test::onDialog("frmLines", [&](QWidget* lines) {
            kalvo::test::onDialog("ModemLineDialog", [&](QWidget* dialog) {
                dialog->findChild<QComboBox*>("cmbDevice")
                    ->setCurrentText(QString::fromStdString(modem.device()));
                dialog->findChild<QPushButton*>("cmdOK")->click();
            });
            lines->findChild<QPushButton*>("cmdAddModem")->click();
            rows = lines->findChild<QListWidget*>("lstLines")->count();
            lines->findChild<QPushButton*>("cmdWatch")->click();
            lines->findChild<QPushButton*>("cmdOK")->click();
        });
        options.findChild<QPushButton*>("cmdLines")->click();
        QCOMPARE(rows, 2);
        QCOMPARE(options.findChild<QComboBox*>("cmbModemDev")->currentText(), QString("Modem Line"));
        options.findChild<QPushButton*>("cmdCancel")->click();
        const QString written = confText();
        QVERIFY2(written.contains("[Line1]\nname = Modem Line\nprovider = modem\n") &&
                     written.contains("device = " + QString::fromStdString(modem.device())) &&
                     written.contains("[Line0]"),
                 qPrintable(written));
        QTRY_VERIFY_WITH_TIMEOUT(form.statusText().startsWith("Monitoring Modem Line - "), 20000);
        QVERIFY2(form.statusText().endsWith(" ready"), qPrintable(form.statusText()));

        Caller caller;
        caller.rings = 3;
        caller.voice = std::vector<int16_t>(8000 * 3, 0);
        modem.call(caller);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sysLog().contains("Connected[LineIndex:1]"), 15000);
    }

private:
    QTemporaryDir m_locks;
};

QTEST_MAIN(ModemLineDialogTest)
#include "ModemLineDialogTest.moc"
