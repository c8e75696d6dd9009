// Conversions of stored texts to numbers with the program's run-time error rules.
#include "VbConvert.h"

#include "VbError.h"

#include <cmath>
#include <limits>

namespace VbConvert {

namespace {

double toNumber(const QString& text)
{
    bool ok = false;
    QString trimmed = text.trimmed();
    double value = trimmed.toDouble(&ok);
    if (!ok || trimmed.isEmpty() || !std::isfinite(value))
        throw kalvo::VbError(kalvo::VbTypeMismatch);
    return value;
}

template <typename T> T toInteger(const QString& text)
{
    double value = std::nearbyint(toNumber(text)); // the default rounding mode rounds half to even
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())
        throw kalvo::VbError(kalvo::VbOverflow);
    return static_cast<T>(value);
}

} // namespace

int16_t toInt16(const QString& text)
{
    return toInteger<int16_t>(text);
}

int32_t toInt32(const QString& text)
{
    return toInteger<int32_t>(text);
}

float toSingle(const QString& text)
{
    double value = toNumber(text);
    if (std::fabs(value) > std::numeric_limits<float>::max())
        throw kalvo::VbError(kalvo::VbOverflow);
    return static_cast<float>(value);
}

int16_t multiply16(int32_t a, int32_t b)
{
    int64_t product = int64_t(a) * b;
    if (product < std::numeric_limits<int16_t>::min() || product > std::numeric_limits<int16_t>::max())
        throw kalvo::VbError(kalvo::VbOverflow);
    return static_cast<int16_t>(product);
}

} // namespace VbConvert
