// Choosing, opening and closing the watched line through the loaded line control and simulated lines.
#include "AnsweringEngine.h"
#include "EngineRig.h"
#include "MessageBox.h"
#include "mdlReg.h"

#include <QAction>
#include <QtTest>

using kalvo::test::EngineRig;
using kalvo::test::storedSetting;
using Values = std::map<QString, QString>;

namespace {
// A line that cannot answer as a voice application, then two lines with the same name.
const QString kThreeLines = "[Line0]\nname = Fax\nprovider = sim\nmedia_modes = g3fax\n"
                            "[Line1]\nname = Dup\nprovider = sim\n"
                            "[Line2]\nname = Dup\nprovider = sim\n";

} // namespace

class LineMonitorTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { MessageBox::clearShown(); }

    // The line switch's toolbar button or menu item on the rig's window.
    static QAction* switchItem(EngineRig& rig, const char* name)
    {
        return rig.form().findChild<QAction*>(name);
    }

    // A first start takes the first voice line by itself and stores it; of two equal names the
    // lower index wins; open and close change the status, the toolbar button and the menus once.
    void firstStartOpenAndClose()
    {
        EngineRig rig({}, 0.001, kThreeLines);
        rig.start();
        LineMonitor& monitor = rig.form().engine().monitor();
        QCOMPARE(rig.form().engine().state().LineIndex, 1);
        QCOMPARE(storedSetting("Modem"), QString("1"));
        QCOMPARE(storedSetting("ModemName"), QString("Dup"));
        QVERIFY(rig.sysLog().contains("SelectDevice->LineIndex: 1  Device Name: Dup"));
        QCOMPARE(rig.form().statusText(), QString("Monitoring Dup"));
        QVERIFY(switchItem(rig, "OnOff")->isChecked());
        QCOMPARE(switchItem(rig, "OnOff")->text(), QString("On"));
        QCOMPARE(switchItem(rig, "OnOff")->property("image").toInt(), 2);
        QVERIFY(switchItem(rig, "mnuOn")->isChecked() && !switchItem(rig, "mnuOff")->isChecked());

        monitor.OpenLine(1);
        QCOMPARE(rig.sysLog().filter("LineOpen[").size(), 1);
        monitor.OpenLine(-1);
        monitor.CloseLine(-1);
        const int lines = rig.sysLog().size();
        monitor.CloseLine(1);
        QCOMPARE(rig.sysLog().size(), lines + 1);
        QVERIFY(rig.sysLog().last().startsWith("LineClose[LineIndex=1]->"));
        QCOMPARE(rig.form().statusText(), QString("Off Mode"));
        QVERIFY(!switchItem(rig, "OnOff")->isChecked());
        QCOMPARE(switchItem(rig, "OnOff")->text(), QString("Off"));
        QVERIFY(switchItem(rig, "mnuOff")->isChecked() && !switchItem(rig, "mnuOn")->isChecked());
        monitor.CloseLine(1);
        QCOMPARE(rig.sysLog().size(), lines + 1);

        // The button opens the line again.
        switchItem(rig, "OnOff")->trigger();
        QCOMPARE(rig.form().statusText(), QString("Monitoring Dup"));
        QVERIFY(rig.form().engine().state().LineIsOpen);
    }

    // The stored name decides over the stored index; a name no line has turns the line off.
    void nameDecides()
    {
        {
            EngineRig rig(Values{{"Modem", "2"}, {"ModemName", "Fax"}}, 0.001, kThreeLines);
            rig.start();
            QCOMPARE(rig.form().engine().state().LineIndex, 0);
            QCOMPARE(storedSetting("Modem"), QString("2"));
        }
        EngineRig rig(Values{{"Modem", "1"}, {"ModemName", "Gone"}}, 0.001, kThreeLines);
        MessageBox::scriptAnswers({MessageBox::Ok});
        rig.start();
        QCOMPARE(rig.form().engine().state().LineIndex, -1);
        QCOMPARE(storedSetting("Modem"), QString("-1"));
        QVERIFY(MessageBox::shownTexts().contains("Select Modem Device From Options/Devices [Modem Device]"));
        QCOMPARE(rig.form().statusText(), QString("Off Mode"));
        QVERIFY(rig.sysLog().filter("LineOpen").isEmpty());
    }

    // A refused open (a device without the 1.4 interface) is logged with the control's text and the
    // watched line's name, and puts the button up; the open state stays as it was.
    void refusedOpen()
    {
        EngineRig rig(
            Values{{"ModemName", "Good"}}, 0.001,
            "[Line0]\nname = Good\nprovider = sim\n[Line1]\nname = Old\nprovider = sim\nrefuse_1_4 = yes\n");
        rig.start();
        LineMonitor& monitor = rig.form().engine().monitor();
        QVERIFY(switchItem(rig, "OnOff")->isChecked());
        monitor.OpenLine(1);
        QCOMPARE(rig.sysLog()
                     .filter(QRegularExpression("^Error LineOpen\\[LineIndex:1 Device Name:Good\\]->.+"))
                     .size(),
                 1);
        QVERIFY(!switchItem(rig, "OnOff")->isChecked());
        QCOMPARE(switchItem(rig, "OnOff")->property("image").toInt(), 1);
        QVERIFY(rig.form().engine().state().LineIsOpen);
        QCOMPARE(rig.form().statusText(), QString("Monitoring Good"));
    }
};

QTEST_MAIN(LineMonitorTest)
#include "LineMonitorTest.moc"
