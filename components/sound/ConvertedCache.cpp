// The cache of converted sound files.
#include "ConvertedCache.h"
#include "ProgramHome.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <atomic>
#include <sndfile.h>
#include <unistd.h>

namespace kalvo::sound {

namespace {

QString hashText(const QByteArray& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex().left(16));
}

// The part of an entry's name that depends on the source's path only.
QString pathPart(const QString& source)
{
    return hashText(QFile::encodeName(QFileInfo(source).absoluteFilePath()));
}

} // namespace

QString ConvertedCache::defaultFolder()
{
    return kalvo::programHome() + "/.converted";
}

QString ConvertedCache::entryPath(const QString& folder, const QString& source)
{
    const QFileInfo info(source);
    if (!info.isFile())
        return {};
    const QByteArray identity = QByteArray::number(info.size()) + ':' +
                                QByteArray::number(info.lastModified().toMSecsSinceEpoch()) + ':' +
                                QByteArray::number(info.metadataChangeTime().toMSecsSinceEpoch());
    return folder + "/" + pathPart(source) + "-" + hashText(identity) + ".wav";
}

bool ConvertedCache::isWhole(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const QByteArray head = file.read(12);
    if (head.size() != 12 || !head.startsWith("RIFF") || head.mid(8) != "WAVE" ||
        qFromLittleEndian<quint32>(head.constData() + 4) != quint64(size - 8))
        return false;
    bool format = false;
    qint64 dataBytes = -1;
    // Every chunk must end inside the file, and the last one exactly at its end.
    for (qint64 at = 12; at < size;) {
        file.seek(at);
        const QByteArray chunk = file.read(8);
        if (chunk.size() != 8)
            return false;
        const quint32 length = qFromLittleEndian<quint32>(chunk.constData() + 4);
        const qint64 next = at + 8 + length + (length & 1);
        if (next > size)
            return false;
        if (chunk.startsWith("fmt ")) {
            const QByteArray fmt = file.read(16);
            format = fmt.size() == 16 && qFromLittleEndian<quint16>(fmt.constData()) == 1 &&
                     qFromLittleEndian<quint16>(fmt.constData() + 2) == 1 &&
                     qFromLittleEndian<quint32>(fmt.constData() + 4) == 8000 &&
                     qFromLittleEndian<quint16>(fmt.constData() + 14) == 16;
        } else if (chunk.startsWith("data")) {
            dataBytes = length;
        }
        at = next;
    }
    return format && dataBytes >= 2 && dataBytes % 2 == 0;
}

CacheWriter::~CacheWriter()
{
    abandon();
}

bool CacheWriter::open(const QString& entryPath)
{
    abandon();
    if (entryPath.isEmpty() || !QDir().mkpath(QFileInfo(entryPath).path()))
        return false;
    m_entry = entryPath;
    static std::atomic<int> written{0};
    m_temp = entryPath + ".part-" + QString::number(::getpid()) + "-" + QString::number(++written);
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    m_file = sf_open(QFile::encodeName(m_temp).constData(), SFM_WRITE, &info);
    m_frames = 0;
    return m_file != nullptr;
}

void CacheWriter::write(const int16_t* samples, size_t count)
{
    if (!m_file)
        return;
    if (sf_write_short(m_file, samples, static_cast<sf_count_t>(count)) != static_cast<sf_count_t>(count)) {
        abandon();
        return;
    }
    m_frames += count;
}

void CacheWriter::commit()
{
    if (!m_file)
        return;
    const bool closed = sf_close(m_file) == 0;
    m_file = nullptr;
    if (!closed || m_frames == 0 || !ConvertedCache::isWhole(m_temp)) {
        QFile::remove(m_temp);
        return;
    }
    QFile::remove(m_entry);
    if (!QFile::rename(m_temp, m_entry)) {
        QFile::remove(m_temp);
        return;
    }
    // Entries of earlier versions of the same source are of no further use.
    const QFileInfo entry(m_entry);
    const QString prefix = entry.fileName().section('-', 0, 0) + "-*.wav";
    QDir folder = entry.dir();
    for (const QString& name : folder.entryList({prefix}, QDir::Files))
        if (name != entry.fileName())
            folder.remove(name);
}

void CacheWriter::abandon()
{
    if (m_file) {
        sf_close(m_file);
        m_file = nullptr;
        QFile::remove(m_temp);
    }
}

} // namespace kalvo::sound
