// Reads sound files through libsndfile and converts them to a wave device's 16-bit format.
#pragma once

#include "SoundDevice.h"
#include "WaveDevice.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace kalvo::sound {

// A whole file in one device format, interleaved.
struct DecodedAudio
{
    wave::WaveFormat format;
    std::vector<int16_t> samples;

    size_t frames() const { return format.channels ? samples.size() / format.channels : 0; }
};

class AudioFileReader
{
public:
    // The format of accepted (a device's list, its own first) that a file of this rate and channel
    // count plays in with the least conversion.
    static wave::WaveFormat chooseFormat(uint32_t rate, uint16_t channels,
                                         const std::vector<wave::WaveFormat>& accepted);

    // Reads any file libsndfile knows (PCM, float, A-law, mu-law; any rate and channel count) and
    // converts it to one of the accepted formats: channels mixed or copied, rate converted with
    // libsamplerate. Same rate and channels give the file's samples unchanged.
    // @return SOUND_OK, SOUND_ERR_FILENOTFOUND, SOUND_ERR_FILEREAD, SOUND_ERR_FILEFORMAT or
    // SOUND_ERR_BADFORMAT (no accepted format).
    static int32_t load(const QString& path, const std::vector<wave::WaveFormat>& accepted,
                        DecodedAudio& out);

    // Describes a file. @return SOUND_OK, SOUND_ERR_FILENOTFOUND, SOUND_ERR_FILEREAD or SOUND_ERR_FILEFORMAT.
    static int32_t info(const QString& path, WaveFileInfoRecord& info);
};

} // namespace kalvo::sound
