// The greeting creator.
#include "frmGreetC.h"

#include "ErrorTrap.h"
#include "GreetingFile.h"
#include "MessageBox.h"
#include "PlainDialog.h"
#include "PlaybackFlags.h"
#include "RecordingFile.h"
#include "RecoveredMessages.h"
#include "SettingsLoader.h"
#include "SpeechLink.h"
#include "TimeBase.h"
#include "mdlLog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

namespace {
int32_t storedSoundDevice()
{
    return SettingsLoader::StoredSoundDevice();
}

QPushButton* button(const QString& text, const char* name, const QString& accessible, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAccessibleName(accessible);
    b->setAutoDefault(false);
    return b;
}

QLabel* label(const QString& text, const char* name, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}
} // namespace

frmGreetC::frmGreetC(WaveControl& wavePlay, mdlLog& log, PlaybackFlags& flags, const QString& programFolder,
                     const TimeBase& timeBase, std::function<void(const QString&)> greetingSaved,
                     QWidget* parent)
    : QDialog(parent), m_wavePlay(wavePlay), m_log(log), m_flags(flags), m_programFolder(programFolder),
      m_greetingSaved(std::move(greetingSaved)), m_link(new SpeechLink(nullptr, this)),
      m_tabs(new QTabBar(this)), m_frame1(new QFrame(this)), m_frame2(new QFrame(this)),
      m_timerRec(new QTimer(this)), m_timerPlay(new QTimer(this)), m_speechWait(new QTimer(this)),
      m_name(new QLineEdit(this))
{
    setObjectName("frmGreetC");
    makePlainDialog(*this);
    setWindowTitle("Greeting Creator");
    setModal(true);
    m_timerRec->setObjectName("TimerRec");
    m_timerPlay->setObjectName("TimerPlay");
    timeBase.setInterval(*m_timerRec, 1000);
    timeBase.setInterval(*m_timerPlay, 100);
    connect(m_timerRec, &QTimer::timeout, this, &frmGreetC::TimerRecTick);
    connect(m_timerPlay, &QTimer::timeout, this, &frmGreetC::TimerPlayTick);

    m_tabs->setObjectName("TabStrip1");
    m_tabs->setAccessibleName("Greeting source");
    m_frame1->setObjectName("Frame1");
    m_frame2->setObjectName("Frame2");
    m_frame1->setFrameShape(QFrame::StyledPanel);
    m_frame2->setFrameShape(QFrame::StyledPanel);
    buildSpeakerPage();
    buildTextPage();
    m_name->setObjectName("txtGreetingName");
    m_name->setAccessibleName("Greeting name");
    auto* nameLabel = label("Greeting Name:", "lblGreetingName", this);
    nameLabel->setBuddy(m_name);
    auto* ok = button("OK", "cmdOK", "OK", this);
    ok->setDefault(true);
    auto* cancel = button("Cancel", "cmdCancel", "Cancel", this);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addWidget(m_tabs);
    auto* pages = new QGridLayout;
    pages->addWidget(m_frame1, 0, 0);
    pages->addWidget(m_frame2, 0, 0);
    layout->addLayout(pages, 1);
    layout->addSpacing(10);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(nameLabel);
    bottom->addWidget(m_name, 1);
    bottom->addSpacing(12);
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    layout->addLayout(bottom);
    resize(460, 330);
    connect(ok, &QPushButton::clicked, this, &frmGreetC::cmdOKClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // Load: the sound card is the creator's now.
    ErrorTrap("ErrForm_Load ", [this](const QString& l) { logLine(l); }).step([&] {
        if (m_wavePlay.IsPlaying())
            m_wavePlay.StopPlay();
        m_flags.clearPreviews();
        m_flags.ListPlaying = false;
    });
    m_tabsLoading = true;
    m_tabs->addTab("Speaker");
    m_tabs->addTab("Text To Speech");
    m_frame2->hide();
    m_frame1->show();
    m_soundDevice = storedSoundDevice();
    m_tabsLoading = false;
    connect(m_tabs, &QTabBar::currentChanged, this, &frmGreetC::TabStrip1Click);
    connect(m_link, &SpeechLink::voicesArrived, this, [this](const QStringList& voices) {
        m_voices->addItems(voices);
        if (m_voices->count() > 0)
            m_voices->setCurrentIndex(0);
    });
    connect(m_link, &SpeechLink::waveWritten, this, &frmGreetC::speechReady);
    connect(m_link, &SpeechLink::waveFailed, this, &frmGreetC::speechFailed);
    // A helper that never answers must not leave OK waiting for ever.
    m_speechWait->setSingleShot(true);
    m_speechWait->setInterval(30000);
    connect(m_speechWait, &QTimer::timeout, this,
            [this] { speechFailed("the speech helper did not answer"); });
    m_sapiPresent = m_link->Start();
    // A take kept when Kalvo last ended during a recording can still be played and saved.
    if (QFileInfo::exists(folderFile("spktmp.wav"))) {
        m_speakerRecorded = m_hasGreeting = true;
        setSpeakerButtons(true, false, true, true);
    }
}

frmGreetC::~frmGreetC() = default;

void frmGreetC::buildSpeakerPage()
{
    m_rec = button("Record", "cmdRec", "Record", m_frame1);
    m_stopRec = button("Stop", "cmdStopRec", "Stop recording", m_frame1);
    m_play = button("Play", "cmdPlay", "Play", m_frame1);
    m_stopPlay = button("Stop", "cmdStopPlay", "Stop playing", m_frame1);
    m_progressRec = new QProgressBar(m_frame1);
    m_progressRec->setObjectName("ProgressBarRec");
    m_progressRec->setAccessibleName("Recording time");
    m_progressRec->setRange(0, kRecordSeconds);
    m_progressRec->setTextVisible(false);
    m_progressPlay = new QProgressBar(m_frame1);
    m_progressPlay->setObjectName("ProgressBar1");
    m_progressPlay->setAccessibleName("Playback position");
    m_progressPlay->setRange(0, 100);
    m_progressPlay->setTextVisible(false);
    m_lblRec = label("Record", "lblRec", m_frame1);
    // Neutral while idle; while recording it blinks red in place (its text is kept, so nothing moves).
    m_lblRec->setProperty("lit", false);
    auto* lblPlay = label("Play", "lblPlay", m_frame1);
    auto* zero = label("0 MIN", "lblZeroMin", m_frame1);
    auto* three = label("3 MIN", "lblThreeMin", m_frame1);

    auto* grid = new QGridLayout(m_frame1);
    grid->addWidget(m_lblRec, 0, 0);
    grid->addWidget(m_progressRec, 0, 1, 1, 2);
    grid->addWidget(zero, 1, 1, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(three, 1, 2, Qt::AlignRight | Qt::AlignTop);
    auto* recButtons = new QHBoxLayout;
    recButtons->addWidget(m_rec);
    recButtons->addWidget(m_stopRec);
    recButtons->addStretch(1);
    grid->addLayout(recButtons, 2, 1, 1, 2);
    grid->setRowMinimumHeight(3, 16);
    grid->addWidget(lblPlay, 4, 0);
    grid->addWidget(m_progressPlay, 4, 1, 1, 2);
    auto* playButtons = new QHBoxLayout;
    playButtons->addWidget(m_play);
    playButtons->addWidget(m_stopPlay);
    playButtons->addStretch(1);
    grid->addLayout(playButtons, 5, 1, 1, 2);
    grid->setRowStretch(6, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    setSpeakerButtons(true, false, false, false);

    connect(m_rec, &QPushButton::clicked, this, &frmGreetC::cmdRecClick);
    connect(m_stopRec, &QPushButton::clicked, this, &frmGreetC::cmdStopRecClick);
    connect(m_play, &QPushButton::clicked, this, &frmGreetC::cmdPlayClick);
    connect(m_stopPlay, &QPushButton::clicked, this, &frmGreetC::cmdStopPlayClick);
}

void frmGreetC::buildTextPage()
{
    m_text = new QPlainTextEdit(m_frame2);
    m_text->setObjectName("txtSayer");
    m_text->setAccessibleName("Text");
    m_voices = new QComboBox(m_frame2);
    m_voices->setObjectName("VoiceCB");
    m_voices->setAccessibleName("Voice");
    m_rate = new QSlider(Qt::Horizontal, m_frame2);
    m_rate->setObjectName("RateSldr");
    m_rate->setAccessibleName("Rate");
    m_rate->setRange(-10, 10);
    m_rate->setTickPosition(QSlider::TicksBelow);
    m_rate->setTickInterval(5);
    auto* text = label("Text:", "lblText", m_frame2);
    text->setBuddy(m_text);
    auto* voice = label("Voice:", "lblVoice", m_frame2);
    voice->setBuddy(m_voices);
    auto* rate = label("Rate:", "lblRate", m_frame2);
    rate->setBuddy(m_rate);
    auto* speak = button("Speak", "SpeakBtn", "Speak", m_frame2);
    auto* stop = button("Stop", "StopBtn", "Stop speaking", m_frame2);
    auto* create = button("Create Greeting", "cmdCreateGreeting", "Create Greeting", m_frame2);
    m_speechState = label(QString(), "lblSpeechState", m_frame2);
    m_speechState->setTextFormat(Qt::PlainText);
    m_speechState->setWordWrap(true);
    m_speechState->setAccessibleName("Spoken greeting");

    auto* grid = new QGridLayout(m_frame2);
    grid->addWidget(text, 0, 0, Qt::AlignTop);
    grid->addWidget(m_text, 0, 1);
    grid->addWidget(voice, 1, 0);
    grid->addWidget(m_voices, 1, 1);
    grid->addWidget(rate, 2, 0);
    grid->addWidget(m_rate, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(speak);
    buttons->addWidget(stop);
    buttons->addStretch(1);
    buttons->addWidget(create);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->addWidget(m_speechState, 4, 0, 1, 2);
    grid->setRowStretch(0, 1);

    connect(speak, &QPushButton::clicked, this, &frmGreetC::SpeakBtnClick);
    connect(stop, &QPushButton::clicked, this, &frmGreetC::StopBtnClick);
    connect(create, &QPushButton::clicked, this, &frmGreetC::cmdCreateGreetingClick);
}

bool frmGreetC::IsLegalGreetingName(const QString& name)
{
    for (const QChar c : {'?', '*', ':', '>', '<', '|', '\\', '"', '/'})
        if (name.contains(c))
            return false;
    return true;
}

void frmGreetC::logLine(const QString& line) const
{
    m_log.WriteSysLog(line);
}

bool frmGreetC::ask(const QString& text)
{
    return MessageBox::show(text, MessageBox::YesNo | MessageBox::Information, "Greeting Creator", this) ==
           MessageBox::Yes;
}

void frmGreetC::setSpeakerButtons(bool record, bool stopRecord, bool play, bool stopPlay)
{
    m_rec->setEnabled(record);
    m_stopRec->setEnabled(stopRecord);
    m_play->setEnabled(play);
    m_stopPlay->setEnabled(stopPlay);
}

void frmGreetC::TabStrip1Click(int index)
{
    if (m_tabsLoading || index < 0)
        return;
    m_frame1->hide();
    m_frame2->hide();
    if (index == 0) {
        m_frame1->show();
    } else if (m_sapiPresent) {
        m_frame2->show();
    } else {
        MessageBox::show("Please Install SAPI 5.1 From Microsoft", MessageBox::OkOnly, "Greeting Creator",
                         this);
        m_tabs->setCurrentIndex(0);
        m_frame1->show();
    }
    if (m_tabs->currentIndex() != (m_frame1->isVisible() ? 0 : 1))
        m_tabs->setCurrentIndex(m_frame1->isVisible() ? 0 : 1);
}

void frmGreetC::cmdRecClick()
{
    if (m_wavePlay.IsRecording())
        return;
    ErrorTrap("ErrcmdRec_Click ", [this](const QString& l) { logLine(l); }).step([&] {
        if (m_speechRecorded && !ask("This Will Delete 'Text To Speech' Recorded. \n Continue ?"))
            return;
        m_text->clear();
        m_soundDevice = storedSoundDevice();
        if (m_wavePlay.IsPlaying())
            m_wavePlay.StopPlay();
        const int32_t r = m_wavePlay.StartRecord(m_soundDevice, 1, 1, 16, 8000);
        const QString format = QString::number(m_soundDevice) + " 1, 1, 16, 8000]->";
        if (r != 0) {
            logLine("Error Start RecMessage[Device:" + format + m_wavePlay.RecordErrorText(r));
            // The user just pressed "Record": say why nothing happens.
            MessageBox::show("Recording cannot start: " + m_wavePlay.RecordErrorText(r) +
                                 ". Check that a microphone is connected and chosen in Options > Devices.",
                             MessageBox::Exclamation, "Greeting Creator", this);
            return;
        }
        // The take is the creator's own: should Kalvo end before it is saved, it never becomes a call.
        RecoveredMessages::noteGreetingTake(kalvo::sound::RecordingFile::defaultSpoolFolder());
        logLine("Start RecMessage[Device:" + format + m_wavePlay.RecordErrorText(r));
        m_progressRec->setValue(0);
        showRecordLight(true);
        m_timerRec->start();
        m_speechRecorded = false;
        m_speakerRecorded = m_hasGreeting = true;
        setSpeakerButtons(false, true, false, false);
    });
}

void frmGreetC::showRecordLight(bool lit)
{
    m_lblRec->setProperty("lit", lit);
    m_lblRec->setStyleSheet(lit ? "color: #c00000; font-weight: bold"
                                : "color: transparent; font-weight: bold");
}

void frmGreetC::TimerRecTick()
{
    m_progressRec->setValue(std::min(m_progressRec->value() + 1, kRecordSeconds));
    showRecordLight(!m_lblRec->property("lit").toBool());
    // A forgotten recording ends at the end of the scale instead of filling the disk.
    if (m_progressRec->value() >= kRecordSeconds)
        cmdStopRecClick();
}

void frmGreetC::cmdStopRecClick()
{
    if (!m_wavePlay.IsRecording())
        return;
    ErrorTrap("ErrcmdStopRec_Click ", [this](const QString& l) { logLine(l); }).step([&] {
        const int32_t r = m_wavePlay.StopRecordToFile(folderFile("spktmp.wav"));
        if (r != 0)
            logLine("ErrStopRecGreet " + m_wavePlay.RecordErrorText(r));
        m_timerRec->stop();
        showRecordLight(false);
        m_lblRec->setStyleSheet(QString());
        setSpeakerButtons(true, false, true, true);
    });
}

void frmGreetC::cmdPlayClick()
{
    if (m_wavePlay.IsPlaying())
        return;
    ErrorTrap("ErrcmdPlay_Click ", [this](const QString& l) { logLine(l); }).step([&] {
        m_flags.clearPreviews();
        m_flags.ListPlaying = false;
        const int32_t r = m_wavePlay.PlayFile(folderFile("spktmp.wav"), m_soundDevice);
        if (r != 0) {
            logLine("Error Start Play[Device:" + QString::number(m_soundDevice) + "]->" + m_programFolder +
                    "/Greets/spktmp.wav " + m_wavePlay.PlayErrorText(r));
            return;
        }
        logLine("Start Play:" + m_wavePlay.PlayErrorText(r));
        m_progressPlay->setValue(0);
        m_timerPlay->start();
        setSpeakerButtons(false, false, false, true);
    });
}

void frmGreetC::TimerPlayTick()
{
    m_progressPlay->setValue(m_wavePlay.PlayPosition());
    if (!m_wavePlay.IsPlaying()) {
        m_timerPlay->stop();
        m_progressPlay->setValue(100);
        setSpeakerButtons(true, false, true, true);
    }
}

void frmGreetC::cmdStopPlayClick()
{
    ErrorTrap("ErrcmdStopPlay_Click ", [this](const QString& l) { logLine(l); }).step([&] {
        int32_t r = 0;
        if (m_wavePlay.IsPlaying())
            r = m_wavePlay.StopPlay();
        logLine("Stop Play" + m_wavePlay.PlayErrorText(r));
        m_timerPlay->stop();
        setSpeakerButtons(true, false, true, true);
    });
}

void frmGreetC::SpeakBtnClick()
{
    const QString text = m_text->toPlainText();
    if (text.isEmpty())
        return;
    m_link->selectVoice(m_voices->currentIndex());
    m_link->setRate(m_rate->value());
    m_link->say(text);
}

void frmGreetC::StopBtnClick()
{
    m_link->stopSpeaking();
}

void frmGreetC::cmdCreateGreetingClick()
{
    const QString text = m_text->toPlainText();
    if (text.isEmpty()) {
        m_text->setFocus();
        return;
    }
    ErrorTrap("ErrcmdCreateGreeting_Click ", [this](const QString& l) { logLine(l); }).step([&] {
        if (m_link->isUp() && m_speakerRecorded && !ask("This Will Delete Speaker Recorded. \n Continue ?"))
            return;
        if (m_wavePlay.IsPlaying())
            cmdStopPlayClick();
        if (m_wavePlay.IsRecording())
            cmdStopRecClick();
        m_progressRec->setValue(0);
        m_progressPlay->setValue(0);
        // Without the helper nothing would be written: no greeting to save, and the owner is told.
        if (!m_link->isUp()) {
            m_speechState->setText("The speech helper is not running: no greeting was created.");
            return;
        }
        m_link->setFileStream(folderFile("sayertmp.wav"));
        m_link->speakToWave(text);
        m_speechRecorded = true;
        m_speakerRecorded = false;
        m_hasGreeting = true;
        m_speechPending = true;
        m_speechWait->start();
        m_speechState->setText("Creating the greeting...");
        setSpeakerButtons(true, false, false, false);
    });
}

void frmGreetC::speechReady()
{
    if (!m_speechPending)
        return;
    m_speechPending = false;
    m_speechWait->stop();
    if (std::exchange(m_saveWhenReady, false)) {
        cmdOKClick();
        return;
    }
    ErrorTrap("ErrcmdCreateGreeting_Click ", [this](const QString& l) { logLine(l); }).step([&] {
        m_flags.clearPreviews();
        m_flags.ListPlaying = false;
        const int32_t r = m_wavePlay.PlayFile(folderFile("sayertmp.wav"), m_soundDevice);
        logLine("Start Play:" + m_wavePlay.PlayErrorText(r));
        m_speechState->setText(r == 0 ? "The spoken greeting is ready; it is playing now."
                                      : "The spoken greeting is ready (it cannot be played here: " +
                                            m_wavePlay.PlayErrorText(r) + ").");
    });
}

void frmGreetC::speechFailed(const QString& why)
{
    if (!m_speechPending)
        return;
    m_speechPending = m_saveWhenReady = false;
    m_speechWait->stop();
    m_hasGreeting = m_speechRecorded = false;
    m_speechState->setText("The greeting could not be spoken: " + why);
}

void frmGreetC::cmdOKClick()
{
    const bool canSpeak = !m_text->toPlainText().isEmpty() && m_sapiPresent;
    if (!m_hasGreeting && !canSpeak) {
        MessageBox::show("Empty Message", MessageBox::Information, "Greeting Creator", this);
        return;
    }
    // A name of spaces only would save a file named ".wav".
    if (m_name->text().trimmed().isEmpty()) {
        MessageBox::show("Enter Greeting Name", MessageBox::OkOnly, "Greeting Creator", this);
        return;
    }
    if (!IsLegalGreetingName(m_name->text())) {
        MessageBox::show(QString("Greeting name with ? \\ / | * < > : ") + '"' + " is not legal",
                         MessageBox::OkOnly, "Greeting Creator", this);
        return;
    }
    // Text typed but not yet spoken, or still being spoken: the greeting is made first, then saved.
    if (!m_hasGreeting)
        cmdCreateGreetingClick();
    if (m_speechPending) {
        m_saveWhenReady = true;
        m_speechState->setText("Creating the greeting; it is saved as soon as it is ready.");
        return;
    }
    if (!m_hasGreeting) {
        MessageBox::show("Empty Message", MessageBox::Information, "Greeting Creator", this);
        return;
    }
    // The greeting being recorded is the one to save, and the form could not close while it records.
    if (m_wavePlay.IsRecording())
        cmdStopRecClick();
    const QString name = m_name->text().trimmed();
    const QString source = folderFile(m_speakerRecorded ? "spktmp.wav" : "sayertmp.wav");
    const QString greets = m_programFolder + "/Greets";
    const QString target = greets + "/" + name + ".wav";
    // The name has no separator, so the greeting stays in its folder; checked once more all the same.
    if (QFileInfo(target).absolutePath() != QDir(greets).absolutePath())
        return;
    if (QFileInfo::exists(target) && MessageBox::show("Greeting " + name + " already exists. Replace it ?",
                                                      MessageBox::YesNo | MessageBox::Question,
                                                      "Greeting Creator", this) != MessageBox::Yes)
        return;
    ErrorTrap trap("ErrcmdOK_Click ", [this](const QString& l) { logLine(l); });
    trap.step([&] { GreetingFile::store(source, target); });
    // The owner stores it as the configured greeting.
    trap.step([&] {
        if (m_greetingSaved)
            m_greetingSaved(name);
    });
    trap.step([&] { QFile::remove(source); });
    trap.step([&] { m_link->Disconnect(); });
    done(Accepted);
}

void frmGreetC::finishOnExit(bool askUser)
{
    if (!m_wavePlay.IsRecording())
        return;
    const bool keep = !askUser || ask("Keep the greeting being recorded? It waits, unsaved, in the Greeting "
                                      "Creator.");
    const QString take = folderFile("spktmp.wav");
    m_wavePlay.StopRecordToFile(take);
    m_timerRec->stop();
    if (!keep)
        QFile::remove(take);
    m_hasGreeting = keep;
    QDialog::done(Rejected);
}

void frmGreetC::done(int result)
{
    // Closing without saving throws a take away: asked first.
    if (result == Rejected && m_hasGreeting && !m_wavePlay.IsRecording()) {
        if (MessageBox::show("Discard the greeting you recorded ?",
                             MessageBox::YesNo | MessageBox::Question | MessageBox::DefaultButton2,
                             "Greeting Creator", this) != MessageBox::Yes)
            return;
        QFile::remove(folderFile("spktmp.wav"));
        QFile::remove(folderFile("sayertmp.wav"));
        m_hasGreeting = false;
    }
    bool cancel = false;
    ErrorTrap("ErrForm_QueryUnload ", [this](const QString& l) { logLine(l); }).step([&] {
        if (m_wavePlay.IsPlaying())
            m_wavePlay.StopPlay();
        cancel = m_wavePlay.IsRecording();
        m_timerPlay->stop();
    });
    ErrorTrap("ErrForm_Unload ", [this](const QString& l) { logLine(l); }).step([&] { m_link->unload(); });
    if (!cancel)
        QDialog::done(result);
}
