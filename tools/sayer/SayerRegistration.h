// Announces the speech helper in the registry, as the program expects of an installed speech engine.
#pragma once

#include <QString>

namespace kalvo::sayer {

class SayerRegistration
{
public:
    // The key whose default value tells the program that speech is available.
    static constexpr const char* VoiceKey = "SAPI.SpVoice";

    // Writes the default value of VoiceKey under HKEY_CLASSES_ROOT: the helper's own path.
    // @return false with `error` set when the registry refuses.
    static bool registerHelper(const QString& helperPath, QString& error);

    // Removes VoiceKey's default value and the key; already absent is success.
    // @return false with `error` set when the registry refuses.
    static bool unregisterHelper(QString& error);
};

} // namespace kalvo::sayer
