// The screening verdict and its offline checks.
#include "ScreenVerdict.h"

namespace {
constexpr int kShortest = 5;  // fewer digits reach no household from outside
constexpr int kLongest = 15;  // the longest international number
constexpr int kLocalPart = 4; // the digits after area code and exchange

// The digits of a number as rules compare it, without a leading "+" or "00".
QString digitsOf(const QString& number)
{
    QString n = RuleMatcher::normalNumber(number);
    if (n.startsWith('+'))
        n.remove(0, 1);
    else if (n.startsWith(QLatin1String("00")))
        n.remove(0, 2);
    return n;
}

bool onlyDigits(const QString& text)
{
    bool any = false;
    for (const QChar c : text) {
        if (c.isDigit())
            any = true;
        else if (!c.isSpace() && c != '-' && c != '.' && c != '+' && c != '(' && c != ')')
            return false;
    }
    return any;
}

// A name such as "V123456789" or "CALLER-ID 4711X": one word of letters and digits mixed.
bool looksLikeCode(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.size() < 4 || trimmed.contains(' '))
        return false;
    bool letter = false, digit = false;
    for (const QChar c : trimmed) {
        letter = letter || c.isLetter();
        digit = digit || c.isDigit();
    }
    return letter && digit;
}
} // namespace

QString ScreenVerdict::implausibleNumber(const QString& number)
{
    const QString digits = digitsOf(number);
    for (const QChar c : digits)
        if (!c.isDigit() && c != '*' && c != '#')
            return QStringLiteral("number has letters");
    if (digits.size() < kShortest)
        return QStringLiteral("number too short");
    if (digits.size() > kLongest)
        return QStringLiteral("number too long");
    return QString();
}

QString ScreenVerdict::suspicion(const CallerIdentity& caller, const QString& ownNumber)
{
    if (caller.noNumber())
        return caller.absence == CallerIdentity::Absence::Withheld ? QStringLiteral("number withheld")
                                                                   : QStringLiteral("no number");
    if (const QString why = implausibleNumber(*caller.number); !why.isEmpty())
        return why;
    const QString own = digitsOf(ownNumber);
    const QString number = digitsOf(*caller.number);
    if (own.size() >= kShortest) {
        // The same number in national and international form ends the same way.
        const QString& shorter = own.size() < number.size() ? own : number;
        const QString& longer = own.size() < number.size() ? number : own;
        if (longer.endsWith(shorter) && shorter.size() >= 7)
            return QStringLiteral("own number");
        // Spoofers pick a number next to the owner's: same area code and exchange.
        if (number.size() == own.size() && number.size() > kLocalPart + 2 &&
            number.left(number.size() - kLocalPart) == own.left(own.size() - kLocalPart))
            return QStringLiteral("number like own number");
    }
    const QString name = caller.name.value_or(QString());
    if (onlyDigits(name))
        return QStringLiteral("name is only digits");
    if (looksLikeCode(name))
        return QStringLiteral("name is a code");
    return QString();
}

ScreenVerdict ScreenVerdict::judge(const Policy& policy, const CallerIdentity& caller,
                                   const RuleMatcher::Decision& decision)
{
    using Verdict = RuleMatcher::Decision::Verdict;
    // Only the owner's own allow rule wins over a block rule.
    const bool allowed =
        decision.verdict == Verdict::Allow &&
        !(decision.remembered && (policy.mode == Mode::AllNotAllowed || decision.blockedBy != 0));
    if (allowed)
        return {Kind::Ring, QString()};
    if (decision.blocked() || decision.blockedBy != 0)
        return {Kind::Block, QString()};
    if (policy.mode == Mode::Off)
        return {Kind::Ring, QString()};
    QString why = suspicion(caller, policy.ownNumber);
    if (why.isEmpty())
        why = policy.mode == Mode::Unknown ? QStringLiteral("unknown number")
                                           : QStringLiteral("not on an allow rule");
    return {Kind::Screen, why};
}
