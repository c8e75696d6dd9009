// Stores a new greeting in the line's format.
#include "GreetingFile.h"

#include "FileDecoder.h"
#include "SoundErrors.h"
#include "VbError.h"

#include <QFile>
#include <cstdio>
#include <sndfile.h>
#include <vector>

void GreetingFile::store(const QString& source, const QString& target)
{
    using namespace kalvo::sound;
    FileDecoder decoder;
    const int32_t opened = decoder.open(source, {kalvo::wave::WaveFormat{8000, 1}});
    if (opened == SOUND_ERR_FILENOTFOUND)
        throw kalvo::VbError(kalvo::VbFileNotFound);
    if (opened != SOUND_OK)
        throw kalvo::VbError(kalvo::VbPathFileAccessError);

    const QString part = target + ".part";
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(part).constData(), SFM_WRITE, &info);
    if (!file)
        throw kalvo::VbError(kalvo::VbPathFileAccessError);
    // Converted piece by piece, so a long greeting never sits in memory whole.
    bool written = true;
    bool finished = false;
    std::vector<int16_t> piece;
    while (written && !finished) {
        piece.clear();
        written = decoder.decodeNext(piece, finished) == SOUND_OK;
        const auto frames = static_cast<sf_count_t>(piece.size());
        written = written && sf_write_short(file, piece.data(), frames) == frames;
    }
    const bool closed = sf_close(file) == 0;
    if (!written || !closed) {
        QFile::remove(part);
        throw kalvo::VbError(kalvo::VbPathFileAccessError);
    }
    QFile::setPermissions(part, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // rename() replaces an existing greeting in one step: a caller hears the old one or the new one.
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(part);
        throw kalvo::VbError(kalvo::VbPathFileAccessError);
    }
}
