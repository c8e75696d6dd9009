// The greeting creator: a new greeting recorded from the sound card or spoken by the text-to-speech
// helper, listened to and saved under a name as the current greeting.
#pragma once

#include "WaveControl.h"

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QTabBar;
class QTimer;
class SpeechLink;
class TimeBase;
class mdlLog;
struct PlaybackFlags;

class frmGreetC : public QDialog
{
    Q_OBJECT

public:
    // The full scale of ProgressBarRec in seconds ("0 MIN" to "3 MIN"); a recording stops there.
    static constexpr int kRecordSeconds = 180;

    // wavePlay is the main window's sound-card instance; greetingSaved runs after a save with the
    // name, and makes it the configured greeting, so every greeting list and the engine follow.
    frmGreetC(WaveControl& wavePlay, mdlLog& log, PlaybackFlags& flags, const QString& programFolder,
              const TimeBase& timeBase, std::function<void(const QString&)> greetingSaved,
              QWidget* parent = nullptr);
    ~frmGreetC() override;

    // True when a greeting name holds none of ? * : > < | \ " /.
    static bool IsLegalGreetingName(const QString& name);

    bool HasGreeting() const { return m_hasGreeting; }
    bool SpeakerRecorded() const { return m_speakerRecorded; }
    bool SpeechRecorded() const { return m_speechRecorded; }
    bool SapiPresent() const { return m_sapiPresent; }
    SpeechLink& uDat() { return *m_link; }

    // The handlers, callable from tests as the controls call them.
    void TabStrip1Click(int index);
    void cmdRecClick();
    void cmdStopRecClick();
    void cmdPlayClick();
    void cmdStopPlayClick();
    void SpeakBtnClick();
    void StopBtnClick();
    void cmdCreateGreetingClick();
    void cmdOKClick();

    // Closing (Cancel, OK or the close box) stops a playback, is refused while recording, and tells
    // the helper to quit either way.
    void done(int result) override;
    // Kalvo ends while the creator is open: a recording in progress is kept as an unsaved take (or
    // thrown away when askUser and the user says so) and the creator closes.
    void finishOnExit(bool askUser);

private:
    void buildSpeakerPage();
    void buildTextPage();
    void TimerRecTick();
    // The recording indicator's blink: red, or its text kept in place but not seen.
    void showRecordLight(bool lit);
    void TimerPlayTick();
    // The helper has written the spoken greeting: it is played, or saved when OK is waiting for it.
    void speechReady();
    void speechFailed(const QString& why);
    void setSpeakerButtons(bool record, bool stopRecord, bool play, bool stopPlay);
    bool ask(const QString& text);
    void logLine(const QString& line) const;
    QString folderFile(const QString& name) const { return m_programFolder + "/" + name; }

    WaveControl& m_wavePlay;
    mdlLog& m_log;
    PlaybackFlags& m_flags;
    QString m_programFolder;
    std::function<void(const QString&)> m_greetingSaved;
    SpeechLink* m_link;

    bool m_hasGreeting = false;
    int32_t m_soundDevice = 0;
    bool m_tabsLoading = false;
    bool m_speakerRecorded = false;
    bool m_speechRecorded = false;
    bool m_sapiPresent = false;
    bool m_speechPending = false; // "Create Greeting" sent, the helper's answer not yet come
    bool m_saveWhenReady = false; // OK pressed meanwhile: saved once the greeting is ready

    QTabBar* m_tabs;
    QFrame* m_frame1;
    QFrame* m_frame2;
    QPushButton* m_rec = nullptr;
    QPushButton* m_stopRec = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_stopPlay = nullptr;
    QProgressBar* m_progressRec = nullptr;
    QProgressBar* m_progressPlay = nullptr;
    QLabel* m_lblRec = nullptr;
    QTimer* m_timerRec;
    QTimer* m_timerPlay;
    QPlainTextEdit* m_text = nullptr;
    QComboBox* m_voices = nullptr;
    QSlider* m_rate = nullptr;
    QLabel* m_speechState = nullptr;
    QTimer* m_speechWait;
    QLineEdit* m_name;
};
