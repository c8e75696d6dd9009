// A recording on its way to disk: a wave file in a spool folder whose header is kept valid after every
// write, moved to its final name when the recording ends.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

struct sf_private_tag;

namespace kalvo::sound {

class RecordingFile
{
public:
    RecordingFile() = default;
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    // True for the formats recordings are written in: tag 1 with 8 or 16 bits, tags 6 and 7 with 8.
    static bool isRecordFormat(int32_t formatTag, int32_t bits);

    // The spool folder used when none is given: $KALVO_HOME/.recording, or the user's data folder's
    // kalvo/.recording.
    static QString defaultSpoolFolder();

    // Gives leftover recordings of processes that no longer run (cut short by a crash) a lasting name
    // in the same folder, "interrupted-<date>-<time>-<n>.wav", and returns their new paths. Never
    // deletes anything.
    static QStringList keepInterrupted(const QString& spoolFolder);

    // Creates the temporary file "rec-<pid>-<n>.part.wav" in spoolFolder. @return a sound result.
    int32_t open(const QString& spoolFolder, int32_t formatTag, int32_t channels, int32_t bits, int32_t rate);

    // Appends frames; the header on disk is updated with them. @return false on a write error.
    bool write(const int16_t* frames, size_t frameCount);

    // Closes the file and moves it to path. On failure the temporary file stays in the spool folder
    // (the next start keeps it) and finish may be called again with another path.
    // @return SOUND_OK or SOUND_ERR_FILEWRITE.
    int32_t finish(const QString& path);

    // Closes and deletes the temporary file (a recording that never started).
    void discard();

    // Whether a closed recording still waits in the spool for a finish that worked.
    bool unsaved() const { return !m_file && !m_tempPath.isEmpty(); }
    // The temporary file's path while open.
    const QString& tempPath() const { return m_tempPath; }
    bool isOpen() const { return m_file != nullptr; }
    int32_t channels() const { return m_channels; }

private:
    void close();

    sf_private_tag* m_file = nullptr;
    QString m_tempPath;
    int32_t m_channels = 1;
};

} // namespace kalvo::sound
