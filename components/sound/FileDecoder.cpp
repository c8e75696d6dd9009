// Piecewise reading and conversion of sound files.
#include "FileDecoder.h"

#include "AudioFileReader.h"
#include "SoundErrors.h"

#include <algorithm>
#include <cmath>
#include <samplerate.h>
#include <sndfile.h>

namespace kalvo::sound {

using wave::WaveFormat;

namespace {

constexpr size_t kBlock = 4096;

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

FileDecoder::FileDecoder() = default;

FileDecoder::~FileDecoder()
{
    if (m_converter)
        src_delete(m_converter);
    if (m_file)
        sf_close(m_file);
}

int32_t FileDecoder::open(const QString& path, const std::vector<WaveFormat>& accepted)
{
    if (accepted.empty())
        return SOUND_ERR_BADFORMAT;
    SF_INFO info{};
    if (int32_t result = AudioFileReader::openFile(path, m_file, info))
        return result;
    m_fileChannels = info.channels;
    m_target = AudioFileReader::chooseFormat(static_cast<uint32_t>(info.samplerate),
                                             static_cast<uint16_t>(info.channels), accepted);
    m_ratio = static_cast<double>(m_target.sampleRate) / info.samplerate;
    if (m_target.sampleRate != static_cast<uint32_t>(info.samplerate)) {
        int error = 0;
        m_converter = src_new(SRC_SINC_MEDIUM_QUALITY, m_target.channels, &error);
        if (!m_converter)
            return SOUND_ERR_FILEREAD;
    }
    m_expected =
        info.frames > 0 ? static_cast<uint64_t>(std::llround(static_cast<double>(info.frames) * m_ratio)) : 0;
    m_raw.resize(kBlock * static_cast<size_t>(info.channels));
    m_mapped.resize(kBlock * m_target.channels);
    m_converted.resize(static_cast<size_t>(kBlock * m_ratio + 64) * m_target.channels);
    return SOUND_OK;
}

int32_t FileDecoder::decodeNext(std::vector<int16_t>& out, bool& finished)
{
    finished = m_finished;
    if (m_finished || !m_file)
        return SOUND_OK;
    const int outChannels = m_target.channels;
    const sf_count_t got = sf_readf_float(m_file, m_raw.data(), kBlock);
    if (got < 0 || sf_error(m_file) != SF_ERR_NO_ERROR) {
        m_finished = finished = true;
        return SOUND_ERR_FILEREAD;
    }
    const bool last = got < static_cast<sf_count_t>(kBlock);
    mapChannels(m_raw.data(), static_cast<size_t>(got), m_fileChannels, m_mapped.data(), outChannels);
    if (!m_converter) {
        for (size_t i = 0; i < static_cast<size_t>(got) * outChannels; ++i)
            out.push_back(toSample(m_mapped[i]));
    } else {
        // Feed the block, then keep pulling until the converter has nothing more for it (at the end
        // of the file, until it is drained).
        SRC_DATA data{};
        data.data_in = m_mapped.data();
        data.input_frames = static_cast<long>(got);
        data.src_ratio = m_ratio;
        data.end_of_input = last ? 1 : 0;
        do {
            data.data_out = m_converted.data();
            data.output_frames = static_cast<long>(m_converted.size() / outChannels);
            if (src_process(m_converter, &data) != 0) {
                m_finished = finished = true;
                return SOUND_ERR_FILEREAD;
            }
            for (long i = 0; i < data.output_frames_gen * outChannels; ++i)
                out.push_back(toSample(m_converted[static_cast<size_t>(i)]));
            data.data_in += data.input_frames_used * outChannels;
            data.input_frames -= data.input_frames_used;
        } while (data.input_frames > 0 || (last && data.output_frames_gen > 0));
    }
    m_finished = finished = last;
    return SOUND_OK;
}

} // namespace kalvo::sound
