// Writes 16-bit mono PCM as a RIFF wave file, replacing the old file only once the new one is complete.
#pragma once

#include <QByteArray>
#include <QString>

namespace kalvo::sayer {

class WaveFileWriter
{
public:
    // Writes `pcm` (16-bit little-endian mono at `sampleRate`) to `path`. The file appears whole or
    // not at all, so a reader never copies half a greeting. @return false with `error` set.
    static bool write(const QString& path, const QByteArray& pcm, int sampleRate, QString& error);
};

} // namespace kalvo::sayer
