// The message player of the main window: the player strip (ToolBarPlayer, Slider1, Timer1), playing
// messages through the list on the sound card, PlayWave for every other sound-card sound, saving a
// message under another name, and deleting a call through the message store.
#pragma once

#include "WaveControl.h"

#include "CallList.h"

#include <QObject>
#include <QString>
#include <functional>

class MessageStore;
class QLabel;
class QSlider;
class QTimer;
class QToolBar;
class QWidget;
class TimeBase;

class mdlLog;
struct PlaybackFlags;
struct Settings;

class MessagePlayer : public QObject, public CallListPlayer
{
    Q_OBJECT

public:
    // wavePlay is the sound-card instance; lineWaveOutId gives the watched line's output device id.
    MessagePlayer(WaveControl& wavePlay, CallList& list, MessageStore& store, const Settings& settings,
                  mdlLog& log, const TimeBase& timeBase, PlaybackFlags& flags,
                  std::function<int()> lineWaveOutId, QWidget* parent);

    QToolBar* toolBar() const { return m_toolBar; }
    QSlider* slider() const { return m_slider; }
    QTimer* progressTimer() const { return m_timer; }
    // The path last handed to PlayWave.
    QString playingFile() const { return m_playingFile; }
    // Where a message playback that cannot start is told besides the log (the first status-bar panel).
    void setStatusSink(std::function<void(const QString&)> sink) { m_status = std::move(sink); }

    // Plays from the selected row on, marking rows read and skipping rows without a message.
    void PlayMessages();
    // Plays one wave file on the sound card, stopping what plays there first. @return the
    // component's result (0 when it plays); a failure is logged.
    int32_t PlayWave(const QString& path, bool showProgress);
    // The quick strip's greeting preview: plays a greeting on the sound card unless something plays
    // there already; a failure to start is told in the status panel. Stop ends only that preview.
    int32_t PlayGreetingPreview(const QString& path);
    void StopGreetingPreview();
    // The player strip's buttons, by key ("Play", "Stop").
    void ToolBarPlayerButtonClick(const QString& key);
    // Plays the message of a call alone (selected and marked read when the list shows it), as a
    // notification's "Play" asks.
    void playCall(qint64 id, const QString& path);
    // Saves a copy of a message file through the save dialog.
    void SaveFile(const QString& path);

    // The text after the last path separator, or the whole text without one.
    static QString FileNameOf(const QString& path);
    // Waits tenths of a second while handling events.
    void WaitTenths(int tenths) const;

    // ---- CallListPlayer ----
    void resetPlayer() override;
    void stopIfPlaying() override;
    void playButton() override { ToolBarPlayerButtonClick("Play"); }
    void stopButton() override { ToolBarPlayerButtonClick("Stop"); }
    void saveSelected() override;
    void DeleteItemIndex(int position) override;

public slots:
    // DonePlay of the sound-card instance: the list playback goes on with the next row.
    void WavePlayDonePlay();

private:
    // "m:ss / m:ss": elapsed and total time of what plays.
    void showTime(double elapsedSeconds);
    void logLine(const QString& line) const;

    WaveControl& m_wavePlay;
    CallList& m_list;
    MessageStore& m_store;
    const Settings& m_settings;
    mdlLog& m_log;
    const TimeBase& m_timeBase;
    PlaybackFlags& m_flags;
    std::function<int()> m_lineWaveOutId;
    std::function<void(const QString&)> m_status;
    QToolBar* m_toolBar;
    QLabel* m_time;
    QSlider* m_slider;
    QTimer* m_timer;
    QString m_playingFile;
    double m_length = 0;   // seconds of what plays
    bool m_single = false; // the list playback stops after the message that plays
};
