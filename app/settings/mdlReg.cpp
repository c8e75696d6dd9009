// The registry module over the registry functions.
#include "mdlReg.h"

#include "Registry.h"
#include "VbConvert.h"
#include "VbError.h"

#include <QByteArray>

namespace mdlReg {

namespace {

constexpr DWORD kBufferSize = 2048;

// The text a variant stands for; a single-precision number keeps its seven significant digits.
QString textOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::Float)
        return QString::number(double(value.toFloat()), 'g', 7);
    if (value.typeId() == QMetaType::Double)
        return QString::number(value.toDouble(), 'g', 15);
    return value.toString();
}

} // namespace

QString GetRegString(uint32_t root, const QString& keyPath, const QString& valueName)
{
    HKEY key = 0;
    if (RegOpenKeyA(root, keyPath.toUtf8().constData(), &key) != ERROR_SUCCESS)
        return kNotFound;
    QByteArray buffer(kBufferSize, '\0');
    DWORD type = 0, size = kBufferSize;
    LONG rc = RegQueryValueExA(key, valueName.toUtf8().constData(), nullptr, &type,
                               reinterpret_cast<BYTE*>(buffer.data()), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return kNotFound;
    buffer.truncate(size);

    if (type == REG_DWORD) {
        uint32_t n = 0;
        for (int i = std::min<int>(size, 4) - 1; i >= 0; --i)
            n = n * 256 + static_cast<unsigned char>(buffer[i]);
        return QString::number(n).rightJustified(3, '0');
    }
    if (type == REG_BINARY)
        return QString::fromLatin1(buffer.toHex().toUpper());
    buffer.chop(1); // the terminating NUL
    return QString::fromUtf8(buffer);
}

void SetRegValue(uint32_t root, const QString& keyPath, const QString& valueName, int type,
                 const QVariant& value)
{
    HKEY key = 0;
    if (RegCreateKeyA(root, keyPath.toUtf8().constData(), &key) != ERROR_SUCCESS)
        return;
    QByteArray name = valueName.toUtf8();
    if (type == REG_DWORD) {
        try {
            int32_t n = value.typeId() == QMetaType::QString ? VbConvert::toInt32(value.toString())
                                                             : VbConvert::toInt32(textOf(value));
            BYTE data[4];
            for (int i = 0; i < 4; ++i)
                data[i] = BYTE((uint32_t(n) >> (8 * i)) & 0xff);
            RegSetValueExA(key, name.constData(), 0, REG_DWORD, data, 4);
        } catch (const kalvo::VbError&) {
            // A value that is no number is not stored; writes report nothing.
        }
    } else {
        QByteArray data = textOf(value).toUtf8();
        if (type == REG_SZ)
            data.append('\0');
        RegSetValueExA(key, name.constData(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.constData()),
                       DWORD(data.size()));
    }
    RegFlushKey(key);
    RegCloseKey(key);
}

void DeleteRegValue(uint32_t root, const QString& keyPath, const QString& valueName)
{
    HKEY key = 0;
    if (RegOpenKeyA(root, keyPath.toUtf8().constData(), &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, valueName.toUtf8().constData());
    RegCloseKey(key);
}

} // namespace mdlReg
