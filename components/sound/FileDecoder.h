// A sound file read and converted piece by piece to a wave device's 16-bit format.
#pragma once

#include "WaveDevice.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

struct sf_private_tag;
struct SRC_STATE_tag;

namespace kalvo::sound {

class FileDecoder
{
public:
    FileDecoder();
    ~FileDecoder();
    Q_DISABLE_COPY_MOVE(FileDecoder)

    // Opens any file libsndfile knows (PCM, float, A-law, mu-law; any rate and channel count) and
    // picks the accepted format it plays in with the least conversion.
    // @return SOUND_OK, SOUND_ERR_FILENOTFOUND, SOUND_ERR_FILEREAD, SOUND_ERR_FILEFORMAT or
    // SOUND_ERR_BADFORMAT (no accepted format).
    int32_t open(const QString& path, const std::vector<wave::WaveFormat>& accepted);

    const wave::WaveFormat& format() const { return m_target; }
    // The output frames the file's header promises (the converter may give a few more or less).
    uint64_t expectedFrames() const { return m_expected; }

    // Appends the next piece (about 4096 file frames, converted: channels mixed or copied, rate
    // converted with libsamplerate) to out as interleaved samples. finished is set after the last
    // piece. @return SOUND_OK, or SOUND_ERR_FILEREAD when the file cannot be read further.
    int32_t decodeNext(std::vector<int16_t>& out, bool& finished);

private:
    sf_private_tag* m_file = nullptr;
    SRC_STATE_tag* m_converter = nullptr;
    int m_fileChannels = 1;
    double m_ratio = 1.0;
    wave::WaveFormat m_target;
    uint64_t m_expected = 0;
    bool m_finished = false;
    std::vector<float> m_raw, m_mapped, m_converted;
};

} // namespace kalvo::sound
