// <DLE> decoding and shielding.
#include "DleStream.h"

namespace kalvo::modem {

void DleDecoder::feed(const uint8_t* bytes, size_t count, Handler& handler)
{
    size_t runStart = 0;
    size_t i = 0;
    if (m_pendingDle && count > 0) {
        m_pendingDle = false;
        if (bytes[0] == kDle)
            handler.data(bytes, 1);
        else
            handler.event(char(bytes[0]));
        i = runStart = 1;
    }
    while (i < count) {
        if (bytes[i] != kDle) {
            ++i;
            continue;
        }
        if (i > runStart)
            handler.data(bytes + runStart, i - runStart);
        if (i + 1 == count) {
            m_pendingDle = true;
            return;
        }
        const uint8_t code = bytes[i + 1];
        if (code == kDle)
            handler.data(bytes + i, 1);
        else
            handler.event(char(code));
        i += 2;
        runStart = i;
    }
    if (count > runStart)
        handler.data(bytes + runStart, count - runStart);
}

void dleShield(const uint8_t* bytes, size_t count, std::string& out)
{
    out.reserve(out.size() + count + count / 64 + 2);
    for (size_t i = 0; i < count; ++i) {
        out.push_back(char(bytes[i]));
        if (bytes[i] == kDle)
            out.push_back(char(kDle));
    }
}

} // namespace kalvo::modem
