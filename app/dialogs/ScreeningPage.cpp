// The caller rules dialog's screening page.
#include "ScreeningPage.h"

#include "CallScreen.h"
#include "DialogHost.h"
#include "DialogLists.h"
#include "MessageBox.h"
#include "Settings.h"
#include "SettingsWriter.h"
#include "SpeechLink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMap>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int kKeepDays = 30;
const QString kSpokenDefault = QStringLiteral("(spoken prompt)");

template <typename W> W* named(W* widget, const char* name, const QString& accessible, const QString& tip)
{
    widget->setObjectName(name);
    widget->setAccessibleName(accessible);
    widget->setToolTip(tip);
    return widget;
}
} // namespace

ScreeningPage::ScreeningPage(DialogHost& host,
                             std::function<bool(bool, const QString&, const QString&)> addRule,
                             QWidget* parent)
    : QWidget(parent), m_host(host), m_addRule(std::move(addRule))
{
    setObjectName("pageScreening");
    const ScreenSettings& s = host.settings.screen;
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_mode = named(new QComboBox(this), "cmbScreenCallers", "Screen callers",
                   "Screened callers are answered at once and must press the key before anything rings");
    m_mode->addItems({"Off", "Callers without a number or not known", "Every caller not on an allow rule"});
    m_mode->setCurrentIndex(std::clamp<int>(s.ScreenCallers, 0, 2));
    form->addRow("Screen:", m_mode);
    auto* keyRow = new QHBoxLayout;
    m_key = named(new QComboBox(this), "cmbScreenKey", "Key", "The key that lets a caller through");
    m_key->addItems({"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "*", "#"});
    m_key->setCurrentText(s.ScreenKey);
    m_wait =
        named(new QSpinBox(this), "spnScreenWait", "Seconds to wait", "Seconds the caller has to press it");
    m_wait->setRange(3, 60);
    m_wait->setSuffix(" s");
    m_wait->setValue(s.ScreenWait);
    keyRow->addWidget(m_key);
    keyRow->addWidget(new QLabel("within", this));
    keyRow->addWidget(m_wait);
    keyRow->addStretch(1);
    form->addRow("Key:", keyRow);
    auto* promptRow = new QHBoxLayout;
    m_prompt = named(new QComboBox(this), "cmbScreenPrompt", "Prompt", "What a screened caller hears");
    m_prompt->addItem(kSpokenDefault);
    QComboBox greetings;
    DialogLists::GreetFilFile(greetings, host.programFolder + "/Greets/*.wav", QString(), host.log);
    for (int i = 0; i < greetings.count(); ++i)
        m_prompt->addItem(greetings.itemText(i));
    m_prompt->setCurrentIndex(s.ScreenPrompt.isEmpty() ? 0 : std::max(0, m_prompt->findText(s.ScreenPrompt)));
    auto* play =
        named(new QPushButton("Play", this), "cmdPlayPrompt", "Play", "Play the prompt on the sound card");
    promptRow->addWidget(m_prompt, 1);
    promptRow->addWidget(play);
    form->addRow("Prompt:", promptRow);
    auto* speakRow = new QHBoxLayout;
    m_text = named(new QLineEdit(CallScreen::defaultPromptText(s.ScreenKey), this), "txtScreenSpeak",
                   "Prompt text", "The words of the spoken prompt");
    auto* speak = named(new QPushButton("Speak", this), "cmdSpeakPrompt", "Speak",
                        "Make the spoken prompt from these words");
    speakRow->addWidget(m_text, 1);
    speakRow->addWidget(speak);
    form->addRow("Words:", speakRow);
    m_remember = named(new QCheckBox("Remember callers who pressed the key (allow rule)", this),
                       "chkScreenRemember", "Remember", "A caller who passed rings normally next time");
    m_remember->setChecked(s.ScreenRemember != 0);
    form->addRow(m_remember);
    m_ownNumber = named(new QLineEdit(s.OwnNumber, this), "txtOwnNumber", "Own number",
                        "This line's number: callers showing it, or one next to it, are screened");
    form->addRow("Own number:", m_ownNumber);
    layout->addLayout(form);

    m_list = named(new QTableWidget(0, 7, this), "lstScreened", "Screened-out calls",
                   "Calls screening hung up on in the last 30 days");
    m_list->setHorizontalHeaderLabels({"Time", "Name", "Number", "Reason", "Outcome", "", ""});
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    for (const int column : {5, 6}) {
        m_list->horizontalHeader()->setSectionResizeMode(column, QHeaderView::Fixed);
        m_list->horizontalHeader()->resizeSection(column, 60);
    }
    layout->addWidget(m_list, 1);
    m_counts = new QLabel(this);
    m_counts->setObjectName("lblScreenedCounts");
    m_counts->setTextFormat(Qt::PlainText);
    m_counts->setWordWrap(true);
    layout->addWidget(m_counts);

    connect(m_mode, &QComboBox::currentIndexChanged, this, &ScreeningPage::store);
    connect(m_key, &QComboBox::currentTextChanged, this, &ScreeningPage::store);
    connect(m_wait, &QSpinBox::valueChanged, this, &ScreeningPage::store);
    connect(m_prompt, &QComboBox::currentIndexChanged, this, &ScreeningPage::store);
    connect(m_remember, &QCheckBox::toggled, this, &ScreeningPage::store);
    connect(m_ownNumber, &QLineEdit::editingFinished, this, &ScreeningPage::store);
    connect(play, &QPushButton::clicked, this, &ScreeningPage::playPrompt);
    connect(speak, &QPushButton::clicked, this, &ScreeningPage::speakPrompt);
    if (!m_store.open(host.programFolder + "/Calls"))
        m_counts->setText("The screened-out calls cannot be read: " + m_store.lastError());
    else
        fillList();
}

ScreeningPage::~ScreeningPage()
{
    if (m_speech)
        m_speech->unload();
}

QString ScreeningPage::promptPath() const
{
    const QString prompt = m_prompt->currentIndex() == 0 ? QString() : m_prompt->currentText();
    return CallScreen::promptPath(m_host.programFolder, prompt, m_key->currentText());
}

void ScreeningPage::store()
{
    ScreenInput in;
    in.ScreenCallers = static_cast<int16_t>(m_mode->currentIndex());
    in.ScreenKey = m_key->currentText();
    in.ScreenWait = static_cast<int16_t>(m_wait->value());
    in.ScreenPrompt = m_prompt->currentIndex() == 0 ? QString() : m_prompt->currentText();
    in.ScreenRemember = m_remember->isChecked();
    in.OwnNumber = m_ownNumber->text().trimmed();
    SettingsWriter(m_host.settings).PutScreening(in);
    // The spoken default is made once, when screening first needs it.
    if (in.ScreenCallers != 0 && in.ScreenPrompt.isEmpty() && !QFileInfo::exists(promptPath())) {
        m_text->setText(CallScreen::defaultPromptText(in.ScreenKey));
        speakPrompt();
    }
}

void ScreeningPage::playPrompt()
{
    if (m_host.playWave)
        m_host.playWave(promptPath());
}

void ScreeningPage::speakPrompt()
{
    if (!m_speech) {
        m_speech = std::make_unique<SpeechLink>();
        if (!m_speech->Start() || !m_speech->isUp()) {
            m_speech.reset();
            MessageBox::show("Speech is not available here: choose a greeting as the prompt.",
                             MessageBox::Exclamation, "Caller Rules", this);
            return;
        }
    }
    if (m_prompt->currentIndex() != 0)
        m_prompt->setCurrentIndex(0);
    m_speech->setFileStream(promptPath());
    m_speech->speakToWave(m_text->text());
}

void ScreeningPage::fillList()
{
    bool ok = false;
    const QDateTime now = QDateTime::currentDateTime();
    m_calls = m_store.since(now.addDays(-kKeepDays), &ok);
    if (!ok) {
        m_counts->setText("The screened-out calls cannot be read: " + m_store.lastError());
        return;
    }
    const QLocale locale = QLocale::system();
    QMap<QDate, int> perDay;
    m_list->setRowCount(int(m_calls.size()));
    for (int row = 0; row < int(m_calls.size()); ++row) {
        const kalvo::ScreenedCall& call = m_calls[std::size_t(row)];
        ++perDay[call.at.date()];
        const QStringList texts = {locale.toString(call.at.date(), QLocale::ShortFormat) + " " +
                                       locale.toString(call.at.time(), QLocale::ShortFormat),
                                   call.name,
                                   call.number.isEmpty() ? QStringLiteral("No number") : call.number,
                                   call.reason, call.outcome};
        for (int column = 0; column < texts.size(); ++column)
            m_list->setItem(row, column, new QTableWidgetItem(texts[column]));
        for (const bool allow : {true, false}) {
            auto* b = new QPushButton(allow ? "Allow" : "Block", m_list);
            b->setObjectName(allow ? "cmdAllowScreened" : "cmdBlockScreened");
            b->setAccessibleName(b->text() + " " + texts[2]);
            b->setToolTip(allow ? "Let this caller ring from now on" : "Refuse this caller from now on");
            connect(b, &QPushButton::clicked, this, [this, allow, name = call.name, number = call.number] {
                m_addRule(allow, name, number);
            });
            m_list->setCellWidget(row, allow ? 5 : 6, b);
        }
    }
    QStringList days;
    for (auto it = perDay.constEnd(); it != perDay.constBegin();) {
        --it;
        days << locale.toString(it.key(), QLocale::ShortFormat) + ": " + QString::number(it.value());
    }
    m_counts->setText(m_calls.empty() ? QStringLiteral("No calls were screened out in the last 30 days.")
                                      : "Screened out per day: " + days.join(", "));
}
