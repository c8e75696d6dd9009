// Whether an incoming caller rings, is refused or must first prove to be a person (press a key),
// with the reason in words. Pure: it judges the caller rules' decision, the caller's identity and
// the owner's own number, offline, and nothing else.
#pragma once

#include "CallerIdentity.h"
#include "RuleMatcher.h"

#include <QString>

class ScreenVerdict
{
public:
    enum class Mode { Off = 0, Unknown = 1, AllNotAllowed = 2 };
    enum class Kind { Ring, Block, Screen };

    struct Policy
    {
        Mode mode = Mode::Off;
        QString ownNumber; // the line's own number; empty when not given
    };

    Kind kind = Kind::Ring;
    QString reason; // why a caller is screened; empty otherwise

    bool screened() const { return kind == Kind::Screen; }

    // The verdict for a caller the rules decided on. Blocked callers stay blocked; an owner's allow
    // rule always rings; a remembered caller rings except in mode 2.
    static ScreenVerdict judge(const Policy& policy, const CallerIdentity& caller,
                               const RuleMatcher::Decision& decision);

    // The offline checks of a number and a name: what makes the caller look like a machine, or an
    // empty text. ownNumber may be empty.
    static QString suspicion(const CallerIdentity& caller, const QString& ownNumber);
    // Why a number is not a plausible telephone number, or an empty text.
    static QString implausibleNumber(const QString& number);
};
