// The Caller Rules dialog on the main window: the call list's "Block this number" stores the rule at
// once and opens on it, selected, with Undo, and Enter saves; a faulty CSV file is refused with its line and
// nothing is imported; the Options menu opens it too; an allow rule's greeting is saved and shown again.
#include "CallList.h"
#include "CallerRuleStore.h"
#include "EngineRig.h"
#include "FileDialog.h"
#include "MessageBox.h"
#include "ModalDialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using kalvo::test::EngineRig;
using kalvo::test::onDialog;
using Values = std::map<QString, QString>;

class RulesDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void blockFromTheCallListAndRefuseAFaultyImport()
    {
        EngineRig rig(Values{{"NumOfRing", "9"}});
        rig.start();
        rig.sim().offerCall("+1 900 555 0100", "Robo");
        rig.sim().hangUp(true);
        QTRY_COMPARE(rig.form().callList().rowCount(), 1);
        rig.form().callList().select(1);

        bool shown = false;
        onDialog("frmRules", [&shown](QWidget* dialog) {
            const auto* list = dialog->findChild<QTableWidget*>("lstRules");
            shown = list->rowCount() == 1 && list->currentRow() == 0 &&
                    dialog->findChild<QLineEdit*>("txtNumber")->text() == "+1 900 555 0100" &&
                    !dialog->findChild<QCheckBox*>("chkWithheld")->isChecked() &&
                    dialog->findChild<QPushButton*>("cmdUndo")->isVisible() &&
                    dialog->findChild<QPushButton*>("cmdSave")->isDefault();
            dialog->findChild<QPushButton*>("cmdClose")->click();
        });
        rig.form().callList().mnuNoMessageRightClick()->findChild<QAction*>("mnuNoMesBlock")->trigger();
        QVERIFY(shown);
        // Undo takes the rule back; the same caller blocked again is one rule, not two.
        onDialog("frmRules", [](QWidget* dialog) {
            dialog->findChild<QPushButton*>("cmdUndo")->click();
            dialog->findChild<QPushButton*>("cmdClose")->click();
        });
        rig.form().callList().mnuNoMessageRightClick()->findChild<QAction*>("mnuNoMesBlock")->trigger();
        for (int i = 0; i < 2; ++i) {
            onDialog("frmRules",
                     [](QWidget* dialog) { dialog->findChild<QPushButton*>("cmdClose")->click(); });
            rig.form().callList().mnuNoMessageRightClick()->findChild<QAction*>("mnuNoMesBlock")->trigger();
        }
        kalvo::CallerRuleStore store;
        QVERIFY(store.open(rig.programFolder() + "/Calls"));
        QCOMPARE(int(store.rules().size()), 1);
        QCOMPARE(store.rules().front().number, QString("+1 900 555 0100"));
        QCOMPARE(store.rules().front().label, QString("Robo")); // a label, not a condition
        QCOMPARE(store.rules().front().match, kalvo::CallerRule::Match::Number);

        const QString bad = rig.programFolder() + "/bad.csv";
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("number,name,kind,note\n5550001,,block,\n\"5550002,,block,\n");
        file.close();
        MessageBox::clearShown();
        int rows = -1;
        onDialog("frmRules", [&rows, bad](QWidget* dialog) {
            FileDialog::scriptNext(bad);
            dialog->findChild<QPushButton*>("cmdImport")->click();
            rows = dialog->findChild<QTableWidget*>("lstRules")->rowCount();
            dialog->findChild<QPushButton*>("cmdClose")->click();
        });
        rig.form().findChild<QAction*>("mnuCallerRules")->trigger();
        QCOMPARE(rows, 1);
        QCOMPARE(int(store.rules().size()), 1);
        const QString said = MessageBox::shownTexts().join('\n');
        QVERIFY2(said.contains("Nothing was imported") &&
                     said.contains("line 3: a quoted field is not closed"),
                 qPrintable(said));
    }

    // An allow rule's greeting is stored and shown again with the rule, in the editor and the list;
    // a rule whose file is gone keeps it; a block rule offers none and loses it.
    void allowRuleGreetingSavesAndReloads()
    {
        EngineRig rig(Values{{"NumOfRing", "9"}});
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Family.wav", kalvo::test::tone(100));
        rig.start();
        kalvo::CallerRuleStore store;
        QVERIFY(store.open(rig.programFolder() + "/Calls"));
        kalvo::CallerRule gone;
        gone.kind = kalvo::CallerRule::Kind::Allow;
        gone.number = "5550122";
        gone.greeting = "Gone.wav";
        QVERIFY(store.add(gone));
        QStringList seen;
        for (int pass = 0; pass < 2; ++pass) {
            onDialog("frmRules", [&seen, pass](QWidget* dialog) {
                auto* list = dialog->findChild<QTableWidget*>("lstRules");
                auto* greeting = dialog->findChild<QComboBox*>("cmbGreeting");
                auto* kind = dialog->findChild<QComboBox*>("cmbKind");
                if (pass == 0) {
                    seen << greeting->itemText(0) << QString::number(greeting->isEnabled());
                    kind->setCurrentIndex(1);
                    dialog->findChild<QLineEdit*>("txtNumber")->setText("5550111");
                    greeting->setCurrentIndex(greeting->findText("Family"));
                    dialog->findChild<QPushButton*>("cmdSave")->click();
                    list->setCurrentCell(0, 0);
                } else {
                    list->setCurrentCell(1, 0);
                    seen << list->item(1, 3)->text() << QString::number(greeting->isEnabled());
                    kind->setCurrentIndex(0);
                    seen << QString::number(greeting->isEnabled());
                }
                seen << greeting->currentText();
                dialog->findChild<QPushButton*>("cmdSave")->click();
                dialog->findChild<QPushButton*>("cmdClose")->click();
            });
            if (pass == 1)
                QCOMPARE(store.rules().at(1).greeting, QString("Family.wav"));
            rig.form().findChild<QAction*>("mnuCallerRules")->trigger();
        }
        QCOMPARE(seen,
                 (QStringList{"(default greeting)", "0", "Gone (missing)", "Family", "1", "0", "Family"}));
        QCOMPARE(store.rules().at(0).greeting, QString("Gone.wav"));
        QCOMPARE(store.rules().at(1).kind, kalvo::CallerRule::Kind::Block);
        QCOMPARE(store.rules().at(1).greeting, QString());
    }

    // The Screening page lists a call screening hung up on, with its reason and the day's count;
    // its Block stores a rule for that caller; a changed setting is stored at once.
    void screeningPageListsAndBlocks()
    {
        EngineRig rig(Values{{"ScreenCallers", "1"}, {"ScreenPrompt", "Test"}});
        kalvo::test::writeWav(rig.programFolder() + "/Greets/Test.wav", kalvo::test::tone(100));
        rig.start();
        rig.sim().offerCall("123", "Robo");
        QTRY_VERIFY(rig.sysLog().contains("Idle[LineIndex:0]"));
        QTRY_COMPARE(rig.form().statusText(), QString("Screened out today: 1"));

        QStringList row;
        QString counts;
        onDialog("frmRules", [&](QWidget* dialog) {
            auto* list = dialog->findChild<QTableWidget*>("lstScreened");
            for (int column = 1; list->rowCount() == 1 && column < 5; ++column)
                row << list->item(0, column)->text();
            counts = dialog->findChild<QLabel*>("lblScreenedCounts")->text();
            qobject_cast<QPushButton*>(list->cellWidget(0, 6))->click();
            dialog->findChild<QComboBox*>("cmbScreenCallers")->setCurrentIndex(2);
            dialog->findChild<QPushButton*>("cmdClose")->click();
        });
        rig.form().findChild<QAction*>("mnuCallerRules")->trigger();
        QCOMPARE(row, (QStringList{"Robo", "123", "number too short", "timed out"}));
        QVERIFY2(counts.startsWith("Screened out per day: ") && counts.endsWith(": 1"), qPrintable(counts));
        kalvo::CallerRuleStore store;
        QVERIFY(store.open(rig.programFolder() + "/Calls"));
        QCOMPARE(int(store.rules().size()), 1);
        QCOMPARE(store.rules().front().kindText(), QString("block"));
        QCOMPARE(store.rules().front().number, QString("123"));
        QCOMPARE(kalvo::test::storedSetting("ScreenCallers"), QString("2"));
        QCOMPARE(rig.form().settings().screen.ScreenCallers, int16_t(2));
    }
};

QTEST_MAIN(RulesDialogTest)
#include "RulesDialogTest.moc"
