// Texts of the sound device component's result numbers.
#include "SoundErrors.h"

namespace kalvo::sound {

QString soundErrorText(int32_t number)
{
    switch (number) {
    case SOUND_OK:
        return QStringLiteral("OK");
    case SOUND_ERR_BADDEVICEID:
        return QStringLiteral("No such sound device");
    case SOUND_ERR_NOTENABLED:
        return QStringLiteral("Sound device not enabled");
    case SOUND_ERR_ALLOCATED:
        return QStringLiteral("Sound device busy");
    case SOUND_ERR_NODRIVER:
        return QStringLiteral("Sound device failed to open");
    case SOUND_ERR_NOTSUPPORTED:
        return QStringLiteral("Not supported by the sound device");
    case SOUND_ERR_BADFORMAT:
        return QStringLiteral("Sound format not supported");
    case SOUND_ERR_FILENOTFOUND:
        return QStringLiteral("Sound file not found");
    case SOUND_ERR_FILEREAD:
        return QStringLiteral("Sound file cannot be read");
    case SOUND_ERR_FILEFORMAT:
        return QStringLiteral("Not a sound file");
    case SOUND_ERR_FILEWRITE:
        return QStringLiteral("Sound file cannot be written");
    case SOUND_ERR_NOTRECORDING:
        return QStringLiteral("Not recording");
    case SOUND_ERR_RECORDING:
        return QStringLiteral("Already recording");
    case SOUND_ERR_DEVICELOST:
        return QStringLiteral("Sound device went away");
    case SOUND_ERR_NOSOUNDCARD:
        return QStringLiteral("No sound card");
    default:
        return QStringLiteral("Unknown sound error %1").arg(number);
    }
}

} // namespace kalvo::sound
