// Log-and-continue error handling.
#include "ErrorTrap.h"

#include "VbError.h"

#include <new>

bool ErrorTrap::step(const std::function<void()>& body) const
{
    try {
        body();
        return true;
    } catch (const kalvo::VbError& e) {
        m_log(lineFor(e.number(), QString::fromStdString(e.description())));
    } catch (const std::bad_alloc&) {
        m_log(lineFor(kalvo::VbOutOfMemory,
                      QString::fromStdString(kalvo::vbErrorDescription(kalvo::VbOutOfMemory))));
    } catch (const std::exception& e) {
        m_log(lineFor(kalvo::VbApplicationDefined, QString::fromUtf8(e.what())));
    }
    return false;
}

QString ErrorTrap::lineFor(int number, const QString& description) const
{
    return m_label + QString::number(number) + " " + description;
}
