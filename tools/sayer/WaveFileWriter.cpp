// Writes 16-bit mono PCM as a RIFF wave file, replacing the old file only once the new one is complete.
#include "WaveFileWriter.h"

#include <QSaveFile>
#include <QtEndian>

namespace kalvo::sayer {

static void appendLe32(QByteArray& bytes, quint32 value)
{
    char raw[4];
    qToLittleEndian(value, raw);
    bytes.append(raw, 4);
}

static void appendLe16(QByteArray& bytes, quint16 value)
{
    char raw[2];
    qToLittleEndian(value, raw);
    bytes.append(raw, 2);
}

bool WaveFileWriter::write(const QString& path, const QByteArray& pcm, int sampleRate, QString& error)
{
    // A RIFF size field is 32 bits; greetings are far below that, but refuse rather than wrap.
    if (pcm.size() > 0x7fff0000) {
        error = QStringLiteral("speech too long for a wave file");
        return false;
    }
    const quint32 dataBytes = static_cast<quint32>(pcm.size());
    QByteArray header;
    header.append("RIFF");
    appendLe32(header, 36 + dataBytes);
    header.append("WAVEfmt ");
    appendLe32(header, 16);
    appendLe16(header, 1); // PCM
    appendLe16(header, 1); // mono
    appendLe32(header, static_cast<quint32>(sampleRate));
    appendLe32(header, static_cast<quint32>(sampleRate) * 2);
    appendLe16(header, 2);  // bytes per frame
    appendLe16(header, 16); // bits per sample
    header.append("data");
    appendLe32(header, dataBytes);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(header) != header.size() ||
        file.write(pcm) != pcm.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

} // namespace kalvo::sayer
