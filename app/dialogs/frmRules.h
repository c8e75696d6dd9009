// The caller rules dialog: the block and allow lists with what each rule decided today and in all,
// a rule editor (an allow rule may name its own greeting), import and export as CSV, and what a
// line that cannot refuse a call does with a blocked caller. Every change is stored at once; the running
// engine meets it at the next call.
#pragma once

#include "CallerRuleStore.h"

#include <QDialog>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QCheckBox;
class QTabWidget;
class QTableWidget;

class frmRules : public QDialog
{
    Q_OBJECT

public:
    // Opens the rules of the call database in callsFolder; a store that cannot be opened is said in
    // the dialog and every control but Close is disabled. The greetings an allow rule may name are
    // the wave files of greetsFolder.
    frmRules(const QString& callsFolder, const QString& greetsFolder, QWidget* parent = nullptr);

    // Stores a number rule for a caller at once (the call list's "Block this number" and "Always
    // allow this number"), the caller's name as its label, and shows it selected with Undo; a
    // caller without a number (as the call record shows it) becomes a "no number" rule. A rule
    // that already says the same is only selected.
    void prefill(bool allow, const QString& callerName, const QString& callerNumber);
    // Adds a page after the rules (the screening page).
    void addPage(QWidget* page, const QString& title);
    // Stores at once a number rule for a caller (withheld when it has no number), the name as its
    // label. @return false when it failed, which was said in a box.
    bool addCallerRule(bool allow, const QString& callerName, const QString& callerNumber);

private:
    void fillList();
    void showSelected();
    // Enables the number or the name part and names the name field after the chosen kind.
    void showKind();
    // Lists "(default greeting)" and the greetings of the folder, greeting (a file name) selected;
    // one that is not in the folder is listed as missing, so saving the rule keeps it.
    void showGreeting(const QString& greeting);
    void newRule();
    void saveRule();
    void deleteRule();
    // Takes back the rule prefill stored.
    void undoAdded();
    void selectRule(qint64 id);
    void importRules();
    void exportRules();
    void storeChoice();
    // Says a failure of the store in a box. @return false.
    bool failed(const QString& what);

    kalvo::CallerRuleStore m_store;
    std::vector<kalvo::CallerRule> m_rules;
    qint64 m_editing = 0; // the rule in the editor; 0 for a new one
    QTabWidget* m_tabs;
    QTableWidget* m_list;
    QLabel* m_counts;
    QLineEdit* m_number;
    QCheckBox* m_withheld;
    QLabel* m_nameCaption;
    QLineEdit* m_name; // a number rule's label, or a name rule's name part
    QComboBox* m_kind;
    QLineEdit* m_note;
    QString m_greetsFolder;
    QComboBox* m_greeting;
    QPushButton* m_save;
    QPushButton* m_delete;
    QPushButton* m_undo;
    qint64 m_added = 0; // the rule prefill stored, until Undo or another change
    QRadioButton* m_answerHangUp;
    QRadioButton* m_letRing;
};
