// Sound files through libsndfile: opening them, their best device format and their description.
#pragma once

#include "SoundDevice.h"
#include "WaveDevice.h"

#include <QString>
#include <cstdint>
#include <vector>

#include <sndfile.h>

namespace kalvo::sound {

class AudioFileReader
{
public:
    // The format of accepted (a device's list, its own first) that a file of this rate and channel
    // count plays in with the least conversion.
    static wave::WaveFormat chooseFormat(uint32_t rate, uint16_t channels,
                                         const std::vector<wave::WaveFormat>& accepted);

    // Opens a sound file for reading with libsndfile; the caller closes file with sf_close.
    // @return SOUND_OK, SOUND_ERR_FILENOTFOUND, SOUND_ERR_FILEREAD or SOUND_ERR_FILEFORMAT.
    static int32_t openFile(const QString& path, SNDFILE*& file, SF_INFO& info);

    // Describes a file. @return SOUND_OK, SOUND_ERR_FILENOTFOUND, SOUND_ERR_FILEREAD or SOUND_ERR_FILEFORMAT.
    static int32_t info(const QString& path, WaveFileInfoRecord& info);
};

} // namespace kalvo::sound
