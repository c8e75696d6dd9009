// The sound component as the program names it: one instance on the line's wave devices (Wave1), one
// on the sound card (WavePlay).
#pragma once

#include "SoundDevice.h"

#include <QString>

using WaveControl = kalvo::sound::SoundDevice;

// The length the component's file information record gives for a wave file (seconds); raises
// kalvo::VbError when the file cannot be read.
inline double WaveFileLength(const WaveControl& wave, const QString& path)
{
    kalvo::sound::WaveFileInfoRecord info;
    wave.WaveFileInfo(path, info);
    return info.length;
}
