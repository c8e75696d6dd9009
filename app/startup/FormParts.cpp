// The standard parts of the main form.
#include "FormParts.h"

#include "CurlMailSender.h"
#include "LineControl.h"
#include "LineDialogList.h"
#include "NullDevices.h"
#include "SoundCardBackend.h"
#include "SqliteCallDatabase.h"
#include "TapiLineControl.h"
#include "WaveSoundDevice.h"

FormParts FormParts::withStandardParts(FormParts parts)
{
    if (!parts.tapi) {
        QString error;
        parts.tapi = TapiLineControl::load(&error);
        // Without the line control the program still lists and plays calls; it has no lines.
        if (!parts.tapi)
            parts.tapi = std::make_unique<NoLineControl>();
    }
    if (!parts.wave1)
        parts.wave1 = std::make_unique<kalvo::sound::WaveSoundDevice>();
    if (!parts.wavePlay) {
        if (!parts.soundCard)
            parts.soundCard = std::make_unique<kalvo::wave::SoundCardBackend>();
        parts.wavePlay = std::make_unique<kalvo::sound::WaveSoundDevice>();
    }
    if (!parts.database)
        parts.database = std::make_unique<kalvo::SqliteCallDatabase>();
    if (!parts.mail1)
        parts.mail1 = std::make_unique<kalvo::CurlMailSender>();
    return parts;
}

void FormParts::installLineDialogs()
{
    kalvo::telephony::installLineDialogs();
}
