// Sound file facts: opening, the best device format, the file information record.
#include "AudioFileReader.h"

#include "SoundErrors.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <memory>
#include <sndfile.h>

namespace kalvo::sound {

using wave::WaveFormat;

namespace {

struct SndFileCloser
{
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

} // namespace

int32_t AudioFileReader::openFile(const QString& path, SNDFILE*& file, SF_INFO& info)
{
    file = nullptr;
    const QFileInfo fileInfo(path);
    if (path.isEmpty() || !fileInfo.exists())
        return SOUND_ERR_FILENOTFOUND;
    if (!fileInfo.isFile() || !fileInfo.isReadable())
        return SOUND_ERR_FILEREAD;
    info = SF_INFO{};
    SndFilePtr opened(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!opened)
        return sf_error(nullptr) == SF_ERR_SYSTEM ? SOUND_ERR_FILEREAD : SOUND_ERR_FILEFORMAT;
    if (info.channels < 1 || info.samplerate < 1)
        return SOUND_ERR_FILEFORMAT;
    file = opened.release();
    return SOUND_OK;
}

WaveFormat AudioFileReader::chooseFormat(uint32_t rate, uint16_t channels,
                                         const std::vector<WaveFormat>& accepted)
{
    const uint16_t wanted = std::min<uint16_t>(channels, 2);
    for (const WaveFormat& format : accepted) {
        if (format.sampleRate == rate && format.channels == wanted)
            return format;
    }
    for (const WaveFormat& format : accepted) {
        if (format.sampleRate == rate)
            return format;
    }
    return accepted.front();
}

int32_t AudioFileReader::info(const QString& path, WaveFileInfoRecord& record)
{
    record = WaveFileInfoRecord{};
    SNDFILE* opened = nullptr;
    SF_INFO info;
    if (int32_t result = openFile(path, opened, info))
        return result;
    SndFilePtr file(opened);
    record.channels = info.channels;
    record.sampleRate = info.samplerate;
    record.frames = info.frames;
    record.length = static_cast<double>(info.frames) / info.samplerate;
    // The wave format tag (1 PCM, 3 float, 6 A-law, 7 mu-law) and bits of each sample encoding.
    struct Encoding
    {
        int subtype;
        int32_t formatTag;
        int32_t bits;
    };
    static constexpr Encoding kEncodings[] = {
        {SF_FORMAT_PCM_U8, 1, 8},  {SF_FORMAT_PCM_S8, 1, 8},  {SF_FORMAT_PCM_16, 1, 16},
        {SF_FORMAT_PCM_24, 1, 24}, {SF_FORMAT_PCM_32, 1, 32}, {SF_FORMAT_FLOAT, 3, 32},
        {SF_FORMAT_ALAW, 6, 8},    {SF_FORMAT_ULAW, 7, 8},
    };
    for (const Encoding& e : kEncodings)
        if ((info.format & SF_FORMAT_SUBMASK) == e.subtype) {
            record.formatTag = e.formatTag;
            record.bitsPerSample = e.bits;
        }
    return SOUND_OK;
}

} // namespace kalvo::sound
