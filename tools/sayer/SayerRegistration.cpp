// Announces the speech helper in the registry, as the program expects of an installed speech engine.
#include "SayerRegistration.h"

#include "Registry.h"

namespace kalvo::sayer {

bool SayerRegistration::registerHelper(const QString& helperPath, QString& error)
{
    HKEY key = 0;
    LONG result = RegCreateKeyA(HKEY_CLASSES_ROOT, VoiceKey, &key);
    if (result != ERROR_SUCCESS) {
        error = QStringLiteral("cannot create HKEY_CLASSES_ROOT\\%1 (error %2)").arg(VoiceKey).arg(result);
        return false;
    }
    // A string value carries its terminating zero, as readers of the registry expect.
    const QByteArray value = helperPath.toUtf8();
    result = RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.constData()),
                            static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        error = QStringLiteral("cannot write HKEY_CLASSES_ROOT\\%1 (error %2)").arg(VoiceKey).arg(result);
        return false;
    }
    return true;
}

bool SayerRegistration::unregisterHelper(QString& error)
{
    HKEY key = 0;
    LONG result = RegOpenKeyA(HKEY_CLASSES_ROOT, VoiceKey, &key);
    if (result == ERROR_FILE_NOT_FOUND)
        return true;
    if (result == ERROR_SUCCESS) {
        result = RegDeleteValueA(key, "");
        RegCloseKey(key);
    }
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND)
        result = RegDeleteKeyA(HKEY_CLASSES_ROOT, VoiceKey);
    // A key that still holds other values or sub-keys is left; its default value is what counts.
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND && result != ERROR_KEY_HAS_CHILDREN) {
        error = QStringLiteral("cannot remove HKEY_CLASSES_ROOT\\%1 (error %2)").arg(VoiceKey).arg(result);
        return false;
    }
    return true;
}

} // namespace kalvo::sayer
