// Conversions of stored texts to numbers with the program's run-time error rules: text that is not
// a number is a type mismatch (13), a number outside the width is an overflow (6).
#pragma once

#include <QString>
#include <cstdint>

namespace VbConvert {

// 16-bit integer; fractions round half to even. Throws kalvo::VbError 13 or 6.
int16_t toInt16(const QString& text);
// 32-bit integer; fractions round half to even. Throws kalvo::VbError 13 or 6.
int32_t toInt32(const QString& text);
// Single-precision number. Throws kalvo::VbError 13 or 6.
float toSingle(const QString& text);
// 16-bit product, throwing kalvo::VbError 6 when it does not fit.
int16_t multiply16(int32_t a, int32_t b);

} // namespace VbConvert
