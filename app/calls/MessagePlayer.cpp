// The message player.
#include "MessagePlayer.h"

#include "FrameIcons.h"

#include "ErrorTrap.h"
#include "FileDialog.h"
#include "LocaleText.h"
#include "MessageStore.h"
#include "PlaybackFlags.h"
#include "Settings.h"
#include "TimeBase.h"
#include "VbError.h"
#include "WaveControl.h"
#include "mdlLog.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSaveFile>
#include <QSlider>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <utility>

MessagePlayer::MessagePlayer(WaveControl& wavePlay, CallList& list, MessageStore& store,
                             const Settings& settings, mdlLog& log, const TimeBase& timeBase,
                             PlaybackFlags& flags, std::function<int()> lineWaveOutId, QWidget* parent)
    : QObject(parent), m_wavePlay(wavePlay), m_list(list), m_store(store), m_settings(settings), m_log(log),
      m_timeBase(timeBase), m_flags(flags), m_lineWaveOutId(std::move(lineWaveOutId)),
      m_toolBar(new QToolBar(parent)), m_time(new QLabel("0:00 / 0:00", parent)),
      m_slider(new QSlider(Qt::Horizontal, parent)), m_timer(new QTimer(this))
{
    m_toolBar->setObjectName("ToolBarPlayer");
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolBar->setIconSize(QSize(16, 16));
    for (const char* key : {"Play", "Stop"}) {
        QAction* button = m_toolBar->addAction(FrameIcons::toolIcon(key), key);
        button->setObjectName(key);
        button->setToolTip(QString(key) + " Message");
        if (QWidget* widget = m_toolBar->widgetForAction(button))
            widget->setAccessibleName(QString(key) + " message");
        connect(button, &QAction::triggered, this, [this, key] { ToolBarPlayerButtonClick(key); });
    }
    // Elapsed and total time of what plays, beside the buttons.
    m_time->setObjectName("lblPlayTime");
    m_time->setAccessibleName("Playing time");
    m_toolBar->addWidget(m_time);
    m_slider->setObjectName("Slider1");
    m_slider->setAccessibleName("Playback position");
    m_slider->setRange(0, 100);
    m_slider->setEnabled(false); // display only
    m_timer->setObjectName("Timer1");
    // The progress a person reads: four times a second, only while a message plays with the slider shown.
    m_timeBase.setInterval(*m_timer, 250);
    connect(m_timer, &QTimer::timeout, this, [this] {
        ErrorTrap("ErrTimer1 ", [this](const QString& l) { logLine(l); }).step([this] {
            m_slider->setValue(m_wavePlay.PlayPosition());
            showTime(m_length * m_wavePlay.PlayPosition() / 100.0);
        });
    });
    connect(&m_wavePlay, &WaveControl::DonePlay, this, &MessagePlayer::WavePlayDonePlay);
    m_list.setPlayer(this);
}

int32_t MessagePlayer::PlayGreetingPreview(const QString& path)
{
    if (m_wavePlay.IsPlaying())
        return 0;
    m_flags.clearPreviews();
    m_flags.QuickPlaying = true;
    const int32_t result = PlayWave(path, false);
    if (result != 0 && m_status)
        m_status(m_wavePlay.PlayErrorText(result));
    return result;
}

void MessagePlayer::StopGreetingPreview()
{
    if (m_wavePlay.IsPlaying() && m_flags.QuickPlaying) {
        m_wavePlay.StopPlay();
        m_flags.QuickPlaying = false;
    }
}

void MessagePlayer::logLine(const QString& line) const
{
    m_log.WriteSysLog(line);
}

void MessagePlayer::PlayMessages()
{
    for (;;) {
        const int position = m_list.selectedPosition();
        if (position == 0)
            return;
        m_list.MarkAsReadUnRead(position, true);
        if (!m_list.keyAt(position).isEmpty())
            break;
        if (position >= m_list.rowCount()) {
            m_flags.ListPlaying = false;
            return;
        }
        m_list.select(position + 1);
    }
    m_flags.clearPreviews();
    m_flags.ListPlaying = true;
    m_single = false;
    if (m_wavePlay.IsPlaying())
        m_wavePlay.StopPlay();
    bool showProgress = false;
    ErrorTrap("ErrToolBarPlayerButtonClick ", [this](const QString& l) { logLine(l); }).step([&] {
        showProgress = m_lineWaveOutId() != 0;
    });
    const int32_t result = PlayWave(m_store.pathOf(m_list.selectedKey()), showProgress);
    // A message that cannot be heard would otherwise fail silently for the user at the window.
    if (result != 0 && m_status)
        m_status(m_wavePlay.PlayErrorText(result));
}

int32_t MessagePlayer::PlayWave(const QString& path, bool showProgress)
{
    m_playingFile = path;
    if (m_wavePlay.IsPlaying()) {
        m_wavePlay.StopPlay();
        WaitTenths(2);
    }
    if (showProgress)
        m_timer->start();
    else
        m_timer->stop();
    const int32_t result = m_wavePlay.PlayFile(path, m_settings.options.Sound);
    if (result != 0)
        logLine(m_wavePlay.PlayErrorText(result));
    m_length = result == 0 ? WaveFileLength(m_wavePlay, path) : 0;
    showTime(0);
    return result;
}

void MessagePlayer::ToolBarPlayerButtonClick(const QString& key)
{
    ErrorTrap("ErrToolBarPlayerButtonClick ", [this](const QString& l) { logLine(l); }).step([&] {
        if (key == QLatin1String("Play")) {
            if (m_list.rowCount() > 0)
                PlayMessages();
        } else if (key == QLatin1String("Stop")) {
            // Only the list's own playback is stopped; other sounds on the card play on.
            if (m_wavePlay.IsPlaying() && m_flags.ListPlaying)
                m_wavePlay.StopPlay();
            resetPlayer();
        }
    });
}

void MessagePlayer::showTime(double elapsedSeconds)
{
    m_time->setText(LocaleText::minutesSeconds(elapsedSeconds) + " / " +
                    LocaleText::minutesSeconds(m_length));
}

void MessagePlayer::resetPlayer()
{
    m_slider->setValue(0);
    m_timer->stop();
    m_flags.ListPlaying = false;
    // The time shown is the selected message's, not the one heard before.
    const int position = m_list.selectedPosition();
    m_length = position > 0 && !m_list.keyAt(position).isEmpty()
                   ? std::max(0.0, LocaleText::storedSeconds(m_list.lengthAt(position)))
                   : 0.0;
    showTime(0);
}

void MessagePlayer::stopIfPlaying()
{
    if (m_wavePlay.IsPlaying())
        m_wavePlay.StopPlay();
}

void MessagePlayer::WavePlayDonePlay()
{
    ErrorTrap("ErrWavePlayDonePlay ", [this](const QString& l) { logLine(l); }).step([this] {
        if (!m_flags.ListPlaying)
            return;
        const int position = m_list.selectedPosition();
        if (position >= m_list.rowCount() || std::exchange(m_single, false)) {
            // The last message has played: the player is back at its start.
            m_flags.ListPlaying = false;
            m_slider->setValue(0);
            showTime(0);
            return;
        }
        m_list.select(position + 1);
        PlayMessages();
    });
}

void MessagePlayer::DeleteItemIndex(int position)
{
    const QString key = m_list.keyAt(position);
    // The message that plays is stopped before its file goes.
    ErrorTrap("ErrDeleteItemIndex ", [this](const QString& l) { logLine(l); }).step([&] {
        if (!key.isEmpty() && FileNameOf(m_playingFile) == FileNameOf(key))
            m_wavePlay.StopPlay();
    });
    m_store.remove(m_list.idAt(position));
}

void MessagePlayer::playCall(qint64 id, const QString& path)
{
    // A message chosen from its notification plays alone, not on into the older ones; the player's
    // Stop still stops it.
    const bool listed = id != 0 && m_list.selectId(id);
    if (listed)
        m_list.MarkAsReadUnRead(m_list.selectedPosition(), true);
    m_flags.clearPreviews();
    m_flags.ListPlaying = listed;
    m_single = listed;
    const int32_t result = PlayWave(path, listed);
    if (result != 0 && m_status)
        m_status(m_wavePlay.PlayErrorText(result));
}

void MessagePlayer::saveSelected()
{
    const QString key = m_list.selectedKey();
    if (!key.isEmpty())
        SaveFile(m_store.pathOf(key));
}

void MessagePlayer::SaveFile(const QString& path)
{
    ErrorTrap("ErrSaveFile ", [this](const QString& l) { logLine(l); }).step([&] {
        if (FileNameOf(m_playingFile) == m_list.selectedKey())
            m_wavePlay.StopPlay();
        const QString ext = path.right(3);
        const QString chosen = FileDialog::getSaveFileName(m_toolBar->window(), "Save", FileNameOf(path),
                                                           ext + " (*." + ext + ")");
        if (chosen.isEmpty())
            return;
        if (!QFileInfo::exists(path))
            throw kalvo::VbError(kalvo::VbFileNotFound);
        // Saving a message onto itself leaves it as it is.
        if (QFileInfo(chosen).canonicalFilePath() == QFileInfo(path).canonicalFilePath())
            return;
        // The copy is written beside the target and takes its name in one step once complete, so a
        // failure anywhere leaves an existing file as it was.
        QFile in(path);
        QSaveFile out(chosen);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            throw kalvo::VbError(kalvo::VbPathFileAccessError);
        while (!in.atEnd()) {
            const QByteArray block = in.read(1 << 16);
            if (block.isEmpty() || out.write(block) != block.size())
                throw kalvo::VbError(kalvo::VbPathFileAccessError);
        }
        out.setPermissions(in.permissions());
        if (!out.commit())
            throw kalvo::VbError(kalvo::VbPathFileAccessError);
    });
}

QString MessagePlayer::FileNameOf(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    return slash < 0 ? path : path.mid(slash + 1);
}

void MessagePlayer::WaitTenths(int tenths) const
{
    m_timeBase.wait(tenths * 100);
}
