// The caller's identity and the texts made from it.
#include "CallerIdentity.h"

namespace {
// LINECALLPARTYID_ bits of the telephony API.
constexpr int kBlocked = 0x01;
constexpr int kOutOfArea = 0x02;
constexpr int kName = 0x04;
constexpr int kAddress = 0x08;
constexpr int kUnavail = 0x40;

const QString kUnknown = QStringLiteral("UNKNOWN");
} // namespace

CallerIdentity CallerIdentity::fromLine(const QString& name, const QString& number, int flags)
{
    CallerIdentity caller;
    if (flags & kAddress)
        caller.number = number;
    if (flags & kName)
        caller.name = name;
    if (flags & kBlocked)
        caller.absence = Absence::Withheld;
    else if (flags & kOutOfArea)
        caller.absence = Absence::Unavailable;
    else if (flags & kUnavail)
        caller.absence = Absence::NotSent;
    return caller;
}

CallerIdentity CallerIdentity::fromText(const QString& name, const QString& number)
{
    CallerIdentity caller;
    caller.absence = Absence::NotSent;
    if (number != kUnknown)
        caller.number = number;
    if (name == QLatin1String("Private"))
        caller.absence = Absence::Withheld;
    else if (name == QLatin1String("Out of area"))
        caller.absence = Absence::Unavailable;
    else if (name != kUnknown)
        caller.name = name;
    return caller;
}

QString CallerIdentity::numberText() const
{
    return number.value_or(kUnknown);
}

QString CallerIdentity::nameText() const
{
    if (name)
        return *name;
    switch (absence) {
    case Absence::Withheld:
        return QStringLiteral("Private");
    case Absence::Unavailable:
        return QStringLiteral("Out of area");
    default:
        return kUnknown;
    }
}
