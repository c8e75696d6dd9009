// Recording files in the spool folder and their move to the final name.
#include "RecordingFile.h"

#include "ProgramHome.h"
#include "SoundErrors.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtGlobal>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalvo::sound {

namespace {

std::atomic<int> g_sequence{0};

int sndFormat(int32_t formatTag, int32_t bits)
{
    if (formatTag == 1 && bits == 16)
        return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    if (formatTag == 1 && bits == 8)
        return SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
    if (formatTag == 6 && bits == 8)
        return SF_FORMAT_WAV | SF_FORMAT_ALAW;
    if (formatTag == 7 && bits == 8)
        return SF_FORMAT_WAV | SF_FORMAT_ULAW;
    return 0;
}

bool processRuns(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

void syncFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

RecordingFile::~RecordingFile()
{
    close();
}

bool RecordingFile::isRecordFormat(int32_t formatTag, int32_t bits)
{
    return sndFormat(formatTag, bits) != 0;
}

QString RecordingFile::defaultSpoolFolder()
{
    return kalvo::programHome() + "/.recording";
}

QStringList RecordingFile::keepInterrupted(const QString& spoolFolder)
{
    QStringList kept;
    QDir dir(spoolFolder);
    const QStringList parts = dir.entryList({"rec-*.part.wav"}, QDir::Files, QDir::Name);
    for (const QString& name : parts) {
        // rec-<pid>-<n>.part.wav: a running process is still writing it.
        const QStringList fields = name.split('-');
        if (fields.size() >= 3 && processRuns(fields[1].toLongLong()))
            continue;
        const QFileInfo info(dir.filePath(name));
        const QString stamp = info.lastModified().toString("yyyyMMdd-HHmmss");
        for (int n = 1;; ++n) {
            const QString target = dir.filePath(QString("interrupted-%1-%2.wav").arg(stamp).arg(n));
            if (QFileInfo::exists(target))
                continue;
            if (QFile::rename(info.filePath(), target))
                kept << target;
            break;
        }
    }
    return kept;
}

int32_t RecordingFile::open(const QString& spoolFolder, int32_t formatTag, int32_t channels, int32_t bits,
                            int32_t rate)
{
    close();
    const int format = sndFormat(formatTag, bits);
    if (format == 0 || channels < 1 || channels > 2 || rate < 1)
        return SOUND_ERR_BADFORMAT;
    if (!QDir().mkpath(spoolFolder))
        return SOUND_ERR_FILEWRITE;
    // Recordings are callers' voices: the spool and its files are owner-only.
    ::chmod(QFile::encodeName(spoolFolder).constData(), 0700);
    m_tempPath = QDir(spoolFolder)
                     .filePath(QString("rec-%1-%2.part.wav").arg(::getpid()).arg(g_sequence.fetch_add(1)));
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    // Made owner-only before anything is in it; libsndfile then opens the existing file.
    const int fd =
        ::open(QFile::encodeName(m_tempPath).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return SOUND_ERR_FILEWRITE;
    ::close(fd);
    m_file = sf_open(QFile::encodeName(m_tempPath).constData(), SFM_WRITE, &info);
    if (!m_file) {
        QFile::remove(m_tempPath);
        return SOUND_ERR_FILEWRITE;
    }
    m_channels = channels;
    // The header follows every write, so a file cut short by a crash is still a valid wave file.
    sf_command(m_file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return SOUND_OK;
}

bool RecordingFile::write(const int16_t* frames, size_t frameCount)
{
    if (!m_file)
        return false;
    return sf_writef_short(m_file, frames, static_cast<sf_count_t>(frameCount)) ==
           static_cast<sf_count_t>(frameCount);
}

void RecordingFile::close()
{
    if (m_file)
        sf_close(m_file);
    m_file = nullptr;
}

void RecordingFile::discard()
{
    close();
    if (!m_tempPath.isEmpty())
        QFile::remove(m_tempPath);
    m_tempPath.clear();
}

int32_t RecordingFile::finish(const QString& path)
{
    if (!m_file && !unsaved())
        return SOUND_ERR_NOTRECORDING;
    if (m_file) {
        close();
        syncFile(m_tempPath);
    }
    if (path.isEmpty())
        return SOUND_ERR_FILEWRITE;
    // A rename replaces the old file in one step; across file systems QSaveFile writes a complete copy
    // beside the target first and renames it.
    if (std::rename(QFile::encodeName(m_tempPath).constData(), QFile::encodeName(path).constData()) != 0) {
        if (errno != EXDEV)
            return SOUND_ERR_FILEWRITE;
        QFile in(m_tempPath);
        QSaveFile out(path);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            return SOUND_ERR_FILEWRITE;
        while (!in.atEnd()) {
            const QByteArray block = in.read(1 << 16);
            if (block.isEmpty() || out.write(block) != block.size())
                return SOUND_ERR_FILEWRITE;
        }
        out.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        const bool existed = QFileInfo::exists(path);
        // A drive that fills up can leave the copy short without a failed call: only a whole copy
        // counts, and a short one made here is not left behind.
        if (!out.commit() || QFileInfo(path).size() != in.size()) {
            if (!existed)
                QFile::remove(path);
            return SOUND_ERR_FILEWRITE;
        }
        QFile::remove(m_tempPath);
    }
    m_tempPath.clear();
    return SOUND_OK;
}

} // namespace kalvo::sound
