// Variable-part filling of the telephony structures.
#include "VarStructWriter.h"

#include <cstring>

namespace kalvo::telephony {

namespace {
DWORD readDword(const unsigned char* p)
{
    DWORD v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void writeDword(unsigned char* p, DWORD v)
{
    std::memcpy(p, &v, sizeof v);
}
} // namespace

VarStructWriter::VarStructWriter(void* base, DWORD fixedSize)
    : m_base(static_cast<unsigned char*>(base)), m_total(readDword(m_base)), m_used(fixedSize),
      m_needed(fixedSize)
{
}

void VarStructWriter::add(const void* data, DWORD size, DWORD& sizeField, DWORD& offsetField)
{
    sizeField = 0;
    offsetField = 0;
    if (size == 0)
        return;
    m_needed += size;
    // Compare without overflow: room left is m_total - m_used (m_used never exceeds m_total).
    if (size > m_total - m_used)
        return;
    std::memcpy(m_base + m_used, data, size);
    sizeField = size;
    offsetField = m_used;
    m_used += size;
}

void VarStructWriter::addString(const std::string& text, DWORD& sizeField, DWORD& offsetField)
{
    add(text.c_str(), static_cast<DWORD>(text.size() + 1), sizeField, offsetField);
}

void VarStructWriter::finish()
{
    writeDword(m_base + 4, m_needed);
    writeDword(m_base + 8, m_used);
}

void VarStructWriter::clearFixedPart(void* base, DWORD fixedSize)
{
    std::memset(static_cast<unsigned char*>(base) + 4, 0, fixedSize - 4);
}

} // namespace kalvo::telephony
