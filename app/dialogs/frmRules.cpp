// The caller rules dialog.
#include "frmRules.h"

#include "FileDialog.h"
#include "MessageBox.h"
#include "RuleMatcher.h"
#include "RulesCsv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

using kalvo::CallerRule;

namespace {
QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QString& tip)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setAccessibleName(caption);
    return b;
}

// The kind combo's items, in the order of kindIndex.
const QStringList kKindCaptions = {"Block", "Allow", "Block by name", "Allow by name"};

int kindIndex(const CallerRule& rule)
{
    return (rule.kind == CallerRule::Kind::Allow ? 1 : 0) + (rule.match == CallerRule::Match::Name ? 2 : 0);
}

QString numberText(const CallerRule& rule)
{
    if (rule.match == CallerRule::Match::Name)
        return QStringLiteral("Any number");
    if (rule.number.compare(QLatin1String(RuleMatcher::kWithheld), Qt::CaseInsensitive) == 0)
        return QStringLiteral("No number");
    return rule.number.isEmpty() ? QStringLiteral("Any number") : rule.number;
}

// A greeting file as the greeting lists show it: its name without ".wav".
QString greetingName(const QString& file)
{
    return file.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive) ? file.chopped(4) : file;
}

bool allowKind(int kindIndex)
{
    return kindIndex % 2 == 1;
}
} // namespace

frmRules::frmRules(const QString& callsFolder, const QString& greetsFolder, QWidget* parent)
    : QDialog(parent), m_greetsFolder(greetsFolder)
{
    setObjectName("frmRules");
    setWindowTitle("Caller Rules");
    auto* outer = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName("tabRules");
    auto* rulesPage = new QWidget(m_tabs);
    auto* layout = new QVBoxLayout(rulesPage);
    m_tabs->addTab(rulesPage, "Rules");
    outer->addWidget(m_tabs, 1);

    m_list = new QTableWidget(0, 7, this);
    m_list->setObjectName("lstRules");
    m_list->setAccessibleName("Caller rules");
    m_list->setHorizontalHeaderLabels({"Kind", "Number", "Name", "Greeting", "Note", "Today", "Total"});
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->horizontalHeader()->setSectionResizeMode(4, QHeaderView::Stretch);
    layout->addWidget(m_list, 1);
    m_counts = new QLabel(this);
    m_counts->setObjectName("lblCounts");
    m_counts->setTextFormat(Qt::PlainText);
    layout->addWidget(m_counts);

    auto* editor = new QGroupBox("Rule", this);
    auto* form = new QFormLayout(editor);
    m_number = new QLineEdit(editor);
    m_number->setObjectName("txtNumber");
    m_number->setToolTip("The caller's number exactly, or its start followed by * (+1900*)");
    m_number->setAccessibleName("Number");
    m_withheld = new QCheckBox("No number (withheld, private, unknown)", editor);
    m_withheld->setObjectName("chkWithheld");
    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(m_number, 1);
    numberRow->addWidget(m_withheld);
    form->addRow("Number:", numberRow);
    m_kind = new QComboBox(editor);
    m_kind->setObjectName("cmbKind");
    m_kind->addItems(kKindCaptions);
    m_kind->setToolTip("Block and Allow decide by the number; by name, by a part of the caller's name. "
                       "Allow rules win over block rules");
    m_kind->setAccessibleName("Kind");
    form->addRow("Kind:", m_kind);
    m_name = new QLineEdit(editor);
    m_name->setObjectName("txtName");
    m_nameCaption = new QLabel(editor);
    m_nameCaption->setBuddy(m_name);
    form->addRow(m_nameCaption, m_name);
    m_greeting = new QComboBox(editor);
    m_greeting->setObjectName("cmbGreeting");
    m_greeting->setToolTip("What callers this allow rule lets in hear instead of the default greeting");
    m_greeting->setAccessibleName("Greeting");
    form->addRow("Greeting:", m_greeting);
    m_note = new QLineEdit(editor);
    m_note->setObjectName("txtNote");
    m_note->setAccessibleName("Note");
    form->addRow("Note:", m_note);
    auto* editButtons = new QHBoxLayout;
    auto* add = button(editor, "cmdNew", "New", "Start a new rule");
    m_save = button(editor, "cmdSave", "Save Rule", "Store the rule in the editor");
    m_delete = button(editor, "cmdDelete", "Delete", "Delete the selected rule");
    editButtons->addWidget(add);
    editButtons->addWidget(m_save);
    editButtons->addWidget(m_delete);
    m_undo = button(editor, "cmdUndo", "Undo", "Take back the rule just added from the call list");
    m_undo->hide();
    editButtons->addWidget(m_undo);
    editButtons->addStretch(1);
    form->addRow(editButtons);
    layout->addWidget(editor);

    auto* choice = new QGroupBox("A blocked call on a line that cannot refuse it", this);
    auto* choiceRow = new QHBoxLayout(choice);
    m_answerHangUp = new QRadioButton("Answer and hang up at once", choice);
    m_answerHangUp->setObjectName("optAnswerHangUp");
    m_letRing = new QRadioButton("Let it ring", choice);
    m_letRing->setObjectName("optLetRing");
    choiceRow->addWidget(m_answerHangUp);
    choiceRow->addWidget(m_letRing);
    choiceRow->addStretch(1);
    layout->addWidget(choice);

    auto* bottom = new QHBoxLayout;
    auto* import =
        button(this, "cmdImport", "Import...", "Add the rules of a CSV file (number,name,kind,note)");
    auto* exportButton = button(this, "cmdExport", "Export...", "Write all rules to a CSV file");
    auto* close = button(this, "cmdClose", "Close", "Close the dialog");
    bottom->addWidget(import);
    bottom->addWidget(exportButton);
    bottom->addStretch(1);
    bottom->addWidget(close);
    outer->addLayout(bottom);
    // Enter saves the rule in the editor, whichever button has the focus.
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);
    m_save->setDefault(true);
    resize(720, 560);

    connect(m_list, &QTableWidget::itemSelectionChanged, this, &frmRules::showSelected);
    connect(add, &QPushButton::clicked, this, &frmRules::newRule);
    connect(m_save, &QPushButton::clicked, this, &frmRules::saveRule);
    connect(m_delete, &QPushButton::clicked, this, &frmRules::deleteRule);
    connect(m_undo, &QPushButton::clicked, this, &frmRules::undoAdded);
    connect(import, &QPushButton::clicked, this, &frmRules::importRules);
    connect(exportButton, &QPushButton::clicked, this, &frmRules::exportRules);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_withheld, &QCheckBox::toggled, this, &frmRules::showKind);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &frmRules::showKind);
    showKind();

    if (!m_store.open(callsFolder)) {
        m_counts->setText("The caller rules cannot be opened: " + m_store.lastError());
        for (QWidget* w : std::initializer_list<QWidget*>{m_list, editor, choice, import, exportButton})
            w->setEnabled(false);
        return;
    }
    const bool ring = m_store.cannotRefuse() == kalvo::CallerRuleStore::CannotRefuse::LetRing;
    (ring ? m_letRing : m_answerHangUp)->setChecked(true);
    connect(m_answerHangUp, &QRadioButton::toggled, this, &frmRules::storeChoice);
    fillList();
    newRule();
}

void frmRules::fillList()
{
    bool ok = false;
    m_rules = m_store.rules(&ok);
    if (!ok)
        failed("The caller rules cannot be read");
    const QDate today = QDate::currentDate();
    int blockedToday = 0, blockedTotal = 0;
    QSignalBlocker quiet(m_list);
    m_list->setRowCount(int(m_rules.size()));
    for (int row = 0; row < int(m_rules.size()); ++row) {
        const CallerRule& rule = m_rules[std::size_t(row)];
        const bool allow = rule.kind == CallerRule::Kind::Allow;
        const QStringList texts = {kKindCaptions.value(kindIndex(rule)),
                                   numberText(rule),
                                   rule.shownName(),
                                   greetingName(rule.greeting),
                                   QString(rule.note).replace('\n', ' '),
                                   QString::number(rule.today(today)),
                                   QString::number(rule.countTotal)};
        for (int column = 0; column < texts.size(); ++column)
            m_list->setItem(row, column, new QTableWidgetItem(texts[column]));
        if (!allow) {
            blockedToday += rule.today(today);
            blockedTotal += rule.countTotal;
        }
    }
    m_list->resizeColumnsToContents();
    m_counts->setText(QString("%1 rules. Blocked calls today: %2, in all: %3")
                          .arg(m_rules.size())
                          .arg(blockedToday)
                          .arg(blockedTotal));
}

void frmRules::showSelected()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= int(m_rules.size()))
        return;
    const CallerRule& rule = m_rules[std::size_t(row)];
    m_editing = rule.id;
    const bool withheld =
        rule.number.compare(QLatin1String(RuleMatcher::kWithheld), Qt::CaseInsensitive) == 0;
    m_withheld->setChecked(withheld);
    m_number->setText(withheld ? QString() : rule.number);
    m_name->setText(rule.shownName());
    m_kind->setCurrentIndex(kindIndex(rule));
    m_note->setText(rule.note);
    showGreeting(rule.greeting);
    m_delete->setEnabled(true);
}

void frmRules::newRule()
{
    m_editing = 0;
    m_list->clearSelection();
    m_withheld->setChecked(false);
    m_number->clear();
    m_name->clear();
    m_kind->setCurrentIndex(0);
    m_note->clear();
    showGreeting(QString());
    m_delete->setEnabled(false);
    m_number->setFocus();
}

void frmRules::prefill(bool allow, const QString& callerName, const QString& callerNumber)
{
    newRule();
    const CallerIdentity caller = CallerIdentity::fromText(callerName, callerNumber);
    CallerRule rule;
    rule.kind = allow ? CallerRule::Kind::Allow : CallerRule::Kind::Block;
    rule.number = caller.noNumber() ? QString(RuleMatcher::kWithheld) : callerNumber.trimmed();
    // The caller's name says who this is; the rule itself decides by the number only.
    if (caller.name)
        rule.label = callerName;
    for (const CallerRule& known : m_rules) {
        if (known.match == CallerRule::Match::Number && known.kind == rule.kind &&
            known.number.compare(rule.number, Qt::CaseInsensitive) == 0) {
            selectRule(known.id);
            return;
        }
    }
    if (const QString wrong = RuleMatcher::ruleError(rule); !wrong.isEmpty()) {
        MessageBox::show("The rule cannot be saved: " + wrong, MessageBox::Exclamation, "Caller Rules");
        return;
    }
    if (!m_store.add(rule)) {
        failed("The rule cannot be saved");
        return;
    }
    fillList();
    selectRule(rule.id);
    m_added = rule.id;
    m_undo->show();
    m_counts->setText(m_counts->text() + (allow ? "  Allowed: " : "  Blocked: ") + numberText(rule));
}

void frmRules::undoAdded()
{
    if (m_added != 0 && !m_store.remove(m_added))
        failed("The rule cannot be taken back");
    m_added = 0;
    m_undo->hide();
    fillList();
    newRule();
}

void frmRules::selectRule(qint64 id)
{
    for (int row = 0; row < int(m_rules.size()); ++row) {
        if (m_rules[std::size_t(row)].id == id) {
            m_list->selectRow(row);
            m_list->setCurrentCell(row, 0);
            showSelected();
            return;
        }
    }
}

void frmRules::addPage(QWidget* page, const QString& title)
{
    m_tabs->addTab(page, title);
}

bool frmRules::addCallerRule(bool allow, const QString& callerName, const QString& callerNumber)
{
    CallerRule rule;
    rule.kind = allow ? CallerRule::Kind::Allow : CallerRule::Kind::Block;
    rule.number = callerNumber.trimmed().isEmpty() ? QString(RuleMatcher::kWithheld) : callerNumber.trimmed();
    rule.label = callerName;
    if (!m_store.isOpen() || !m_store.add(rule))
        return failed("The rule cannot be stored");
    fillList();
    return true;
}

void frmRules::showKind()
{
    const bool byName = m_kind->currentIndex() >= 2;
    m_withheld->setEnabled(!byName);
    m_number->setEnabled(!byName && !m_withheld->isChecked());
    m_nameCaption->setText(byName ? "Name contains:" : "Name:");
    m_name->setToolTip(byName ? "The rule applies to every caller whose name contains this (any case)"
                              : "Who this is; shown only, never compared with the caller's name");
    m_name->setAccessibleName(byName ? "Name part" : "Label");
    // A blocked caller is never greeted.
    m_greeting->setEnabled(allowKind(m_kind->currentIndex()));
}

void frmRules::showGreeting(const QString& greeting)
{
    // Read again each time: a greeting recorded while the dialog is open is offered too.
    m_greeting->clear();
    m_greeting->addItem("(default greeting)", QString());
    const QStringList files = QDir(m_greetsFolder).entryList({"*.wav"}, QDir::Files, QDir::Name);
    for (const QString& file : files)
        m_greeting->addItem(greetingName(file), file);
    if (!greeting.isEmpty() && !files.contains(greeting))
        m_greeting->addItem(greetingName(greeting) + " (missing)", greeting);
    m_greeting->setCurrentIndex(std::max(0, m_greeting->findData(greeting)));
}

void frmRules::saveRule()
{
    CallerRule rule;
    rule.id = m_editing;
    const int kind = m_kind->currentIndex();
    rule.kind = allowKind(kind) ? CallerRule::Kind::Allow : CallerRule::Kind::Block;
    rule.match = kind >= 2 ? CallerRule::Match::Name : CallerRule::Match::Number;
    if (rule.match == CallerRule::Match::Name)
        rule.name = m_name->text().trimmed();
    else {
        rule.number = m_withheld->isChecked() ? QString(RuleMatcher::kWithheld) : m_number->text().trimmed();
        rule.label = m_name->text().trimmed();
    }
    rule.note = m_note->text();
    if (rule.kind == CallerRule::Kind::Allow)
        rule.greeting = m_greeting->currentData().toString();
    if (const QString wrong = RuleMatcher::ruleError(rule); !wrong.isEmpty()) {
        MessageBox::show("The rule cannot be saved: " + wrong, MessageBox::Exclamation, "Caller Rules");
        return;
    }
    if (!(rule.id == 0 ? m_store.add(rule) : m_store.update(rule))) {
        failed("The rule cannot be saved");
        return;
    }
    m_added = 0;
    m_undo->hide();
    fillList();
    newRule();
}

void frmRules::deleteRule()
{
    if (m_editing == 0)
        return;
    if (MessageBox::show("Delete this rule ?", MessageBox::YesNo | MessageBox::Information, "Caller Rules") !=
        MessageBox::Yes)
        return;
    if (!m_store.remove(m_editing))
        failed("The rule cannot be deleted");
    if (m_editing == m_added) {
        m_added = 0;
        m_undo->hide();
    }
    fillList();
    newRule();
}

void frmRules::importRules()
{
    const QString path = FileDialog::getOpenFileName(this, "Import Caller Rules", "CSV files (*.csv)");
    if (path.isEmpty())
        return;
    RulesCsv::ReadResult read = RulesCsv::readFile(path);
    if (!read.ok()) {
        MessageBox::show("Nothing was imported.\n" + read.error, MessageBox::Exclamation, "Caller Rules");
        return;
    }
    if (!m_store.addAll(read.rules)) {
        failed("Nothing was imported");
        return;
    }
    fillList();
    MessageBox::show(QString::number(read.rules.size()) + " rules imported from " + path,
                     MessageBox::Information, "Caller Rules");
}

void frmRules::exportRules()
{
    const QString path =
        FileDialog::getSaveFileName(this, "Export Caller Rules", "caller-rules.csv", "CSV files (*.csv)");
    if (path.isEmpty())
        return;
    if (const QString wrong = RulesCsv::writeFile(path, m_rules); !wrong.isEmpty())
        MessageBox::show("The rules were not exported: " + wrong, MessageBox::Exclamation, "Caller Rules");
}

void frmRules::storeChoice()
{
    const auto choice = m_letRing->isChecked() ? kalvo::CallerRuleStore::CannotRefuse::LetRing
                                               : kalvo::CallerRuleStore::CannotRefuse::AnswerAndHangUp;
    if (!m_store.setCannotRefuse(choice))
        failed("The choice cannot be saved");
}

bool frmRules::failed(const QString& what)
{
    MessageBox::show(what + ": " + m_store.lastError(), MessageBox::Exclamation, "Caller Rules");
    return false;
}
