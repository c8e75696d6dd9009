// Result numbers of the sound device component and their texts for log lines.
#pragma once

#include "WaveDevice.h"

#include <QString>
#include <cstdint>

namespace kalvo::sound {

// The device numbers are those the wave devices return; the rest are the component's own.
enum SoundResult : int32_t {
    SOUND_OK = wave::WAVE_OK,
    SOUND_ERR_BADDEVICEID = wave::WAVE_ERR_BADDEVICEID,
    SOUND_ERR_NOTENABLED = wave::WAVE_ERR_NOTENABLED,
    SOUND_ERR_ALLOCATED = wave::WAVE_ERR_ALLOCATED,
    SOUND_ERR_NODRIVER = wave::WAVE_ERR_NODRIVER,
    SOUND_ERR_NOTSUPPORTED = wave::WAVE_ERR_NOTSUPPORTED,
    SOUND_ERR_BADFORMAT = wave::WAVE_ERR_BADFORMAT,
    SOUND_ERR_FILENOTFOUND = 101,
    SOUND_ERR_FILEREAD = 102,
    SOUND_ERR_FILEFORMAT = 103,
    SOUND_ERR_FILEWRITE = 104,
    SOUND_ERR_NOTRECORDING = 105,
    SOUND_ERR_RECORDING = 106,
    SOUND_ERR_DEVICELOST = 107,
    SOUND_ERR_NOSOUNDCARD = 108,
};

// Short plain text of a result number ("OK" for 0).
QString soundErrorText(int32_t number);

} // namespace kalvo::sound
