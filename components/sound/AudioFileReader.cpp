// Sound file reading and conversion to a device format.
#include "AudioFileReader.h"

#include "SoundErrors.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <memory>
#include <samplerate.h>
#include <sndfile.h>

namespace kalvo::sound {

using wave::WaveFormat;

namespace {

struct SndFileCloser
{
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

struct SrcDeleter
{
    void operator()(SRC_STATE* state) const { src_delete(state); }
};

int32_t openForReading(const QString& path, SndFilePtr& file, SF_INFO& info)
{
    const QFileInfo fileInfo(path);
    if (path.isEmpty() || !fileInfo.exists())
        return SOUND_ERR_FILENOTFOUND;
    if (!fileInfo.isFile() || !fileInfo.isReadable())
        return SOUND_ERR_FILEREAD;
    info = SF_INFO{};
    file.reset(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file)
        return sf_error(nullptr) == SF_ERR_SYSTEM ? SOUND_ERR_FILEREAD : SOUND_ERR_FILEFORMAT;
    if (info.channels < 1 || info.samplerate < 1)
        return SOUND_ERR_FILEFORMAT;
    return SOUND_OK;
}

int16_t toSample(float value)
{
    return static_cast<int16_t>(std::clamp(std::lrint(value * 32768.0f), -32768L, 32767L));
}

// Mixes one block of file frames down or up to the target channel count.
void mapChannels(const float* in, size_t frames, int inChannels, float* out, int outChannels)
{
    for (size_t f = 0; f < frames; ++f) {
        const float* frame = in + f * inChannels;
        if (inChannels == outChannels) {
            std::copy(frame, frame + inChannels, out + f * outChannels);
            continue;
        }
        float mono = 0;
        for (int c = 0; c < inChannels; ++c)
            mono += frame[c];
        mono /= static_cast<float>(inChannels);
        for (int c = 0; c < outChannels; ++c)
            out[f * outChannels + c] = mono;
    }
}

} // namespace

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

int32_t AudioFileReader::load(const QString& path, const std::vector<WaveFormat>& accepted, DecodedAudio& out)
{
    out = DecodedAudio{};
    if (accepted.empty())
        return SOUND_ERR_BADFORMAT;
    SndFilePtr file;
    SF_INFO info;
    if (int32_t result = openForReading(path, file, info))
        return result;
    const WaveFormat target =
        chooseFormat(static_cast<uint32_t>(info.samplerate), static_cast<uint16_t>(info.channels), accepted);
    out.format = target;
    const int outChannels = target.channels;
    const double ratio = static_cast<double>(target.sampleRate) / info.samplerate;
    std::unique_ptr<SRC_STATE, SrcDeleter> converter;
    if (target.sampleRate != static_cast<uint32_t>(info.samplerate)) {
        int error = 0;
        converter.reset(src_new(SRC_SINC_MEDIUM_QUALITY, outChannels, &error));
        if (!converter)
            return SOUND_ERR_FILEREAD;
    }
    if (info.frames > 0)
        out.samples.reserve(static_cast<size_t>(info.frames * ratio + 16) * outChannels);

    constexpr size_t kBlock = 4096;
    std::vector<float> raw(kBlock * info.channels);
    std::vector<float> mapped(kBlock * outChannels);
    std::vector<float> converted(static_cast<size_t>(kBlock * ratio + 64) * outChannels);
    for (bool last = false; !last;) {
        const sf_count_t got = sf_readf_float(file.get(), raw.data(), kBlock);
        if (got < 0)
            return SOUND_ERR_FILEREAD;
        last = got < static_cast<sf_count_t>(kBlock);
        mapChannels(raw.data(), static_cast<size_t>(got), info.channels, mapped.data(), outChannels);
        if (!converter) {
            for (size_t i = 0; i < static_cast<size_t>(got) * outChannels; ++i)
                out.samples.push_back(toSample(mapped[i]));
            continue;
        }
        // Feed the block, then keep pulling until the converter has nothing more for it (at the end
        // of the file, until it is drained).
        SRC_DATA data{};
        data.data_in = mapped.data();
        data.input_frames = static_cast<long>(got);
        data.src_ratio = ratio;
        data.end_of_input = last ? 1 : 0;
        do {
            data.data_out = converted.data();
            data.output_frames = static_cast<long>(converted.size() / outChannels);
            if (src_process(converter.get(), &data) != 0)
                return SOUND_ERR_FILEREAD;
            for (long i = 0; i < data.output_frames_gen * outChannels; ++i)
                out.samples.push_back(toSample(converted[static_cast<size_t>(i)]));
            data.data_in += data.input_frames_used * outChannels;
            data.input_frames -= data.input_frames_used;
        } while (data.input_frames > 0 || (last && data.output_frames_gen > 0));
    }
    return SOUND_OK;
}

int32_t AudioFileReader::info(const QString& path, WaveFileInfoRecord& record)
{
    record = WaveFileInfoRecord{};
    SndFilePtr file;
    SF_INFO info;
    if (int32_t result = openForReading(path, file, info))
        return result;
    record.channels = info.channels;
    record.sampleRate = info.samplerate;
    record.frames = info.frames;
    record.length = static_cast<double>(info.frames) / info.samplerate;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8:
        record.formatTag = 1;
        record.bitsPerSample = 8;
        break;
    case SF_FORMAT_PCM_16:
        record.formatTag = 1;
        record.bitsPerSample = 16;
        break;
    case SF_FORMAT_PCM_24:
        record.formatTag = 1;
        record.bitsPerSample = 24;
        break;
    case SF_FORMAT_PCM_32:
        record.formatTag = 1;
        record.bitsPerSample = 32;
        break;
    case SF_FORMAT_FLOAT:
        record.formatTag = 3;
        record.bitsPerSample = 32;
        break;
    case SF_FORMAT_ALAW:
        record.formatTag = 6;
        record.bitsPerSample = 8;
        break;
    case SF_FORMAT_ULAW:
        record.formatTag = 7;
        record.bitsPerSample = 8;
        break;
    default:
        break;
    }
    return SOUND_OK;
}

} // namespace kalvo::sound
