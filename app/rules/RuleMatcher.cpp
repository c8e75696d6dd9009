// The caller-rule index and its verdict.
#include "RuleMatcher.h"

#include <algorithm>

QString RuleMatcher::normalNumber(const QString& number)
{
    QString out;
    out.reserve(number.size());
    for (const QChar c : number) {
        if (c.isSpace() || c == '-' || c == '.' || c == '/' || c == '(' || c == ')')
            continue;
        out.append(c.toLower());
    }
    return out;
}

bool RuleMatcher::plainGreetingName(const QString& greeting)
{
    return !greeting.isEmpty() && greeting != QLatin1String(".") && greeting != QLatin1String("..") &&
           !greeting.contains('/') && !greeting.contains('\\') && !greeting.contains('\n') &&
           !greeting.contains('\r') && !greeting.contains(QChar(0));
}

QString RuleMatcher::ruleError(const kalvo::CallerRule& rule)
{
    if (!rule.greeting.isEmpty() && rule.kind == kalvo::CallerRule::Kind::Block)
        return QStringLiteral("a block rule plays no greeting");
    if (!rule.greeting.isEmpty() && !plainGreetingName(rule.greeting))
        return "\"" + rule.greeting + "\": a greeting is the name of a file in the Greets folder";
    const QString trimmed = rule.number.trimmed();
    if (rule.match == kalvo::CallerRule::Match::Name) {
        if (rule.name.trimmed().isEmpty())
            return QStringLiteral("a name rule needs a part of the caller's name");
        if (!trimmed.isEmpty())
            return QStringLiteral("a name rule takes no number");
        return QString();
    }
    if (trimmed.isEmpty())
        return QStringLiteral("a rule needs a number, \"withheld\", or a name kind");
    if (trimmed.indexOf('*') >= 0 && trimmed.indexOf('*') != trimmed.size() - 1)
        return "\"" + trimmed + "\": a \"*\" may only end a number";
    if (trimmed.contains('\n') || trimmed.contains('\r'))
        return QStringLiteral("a number cannot span lines");
    return QString();
}

void RuleMatcher::setRules(const std::vector<kalvo::CallerRule>& rules)
{
    m_exact.clear();
    m_prefix.clear();
    m_prefixLengths.clear();
    m_withheld.clear();
    m_byName.clear();
    m_size = rules.size();
    for (const kalvo::CallerRule& rule : rules) {
        const bool allow = rule.kind == kalvo::CallerRule::Kind::Allow;
        if (rule.match == kalvo::CallerRule::Match::Name) {
            if (!rule.name.trimmed().isEmpty())
                m_byName.push_back(
                    Entry{rule.id, allow, rule.name.trimmed(), false, allow ? rule.greeting : QString()});
            continue;
        }
        const Entry entry{rule.id, allow, QString(),
                          allow && rule.note.startsWith(QLatin1String(kPassedNote)),
                          allow ? rule.greeting : QString()};
        const QString number = rule.number.trimmed();
        if (number.isEmpty()) {
            continue; // refused where rules are made; one from elsewhere decides nothing
        } else if (number.compare(QLatin1String(kWithheld), Qt::CaseInsensitive) == 0) {
            m_withheld.push_back(entry);
        } else if (number.endsWith('*')) {
            const QString prefix = normalNumber(number.chopped(1));
            m_prefix[prefix].push_back(entry);
            if (std::find(m_prefixLengths.begin(), m_prefixLengths.end(), int(prefix.size())) ==
                m_prefixLengths.end())
                m_prefixLengths.push_back(int(prefix.size()));
        } else {
            m_exact[normalNumber(number)].push_back(entry);
        }
    }
    std::sort(m_prefixLengths.begin(), m_prefixLengths.end());
}

void RuleMatcher::take(const std::vector<Entry>* entries, const QString& name, Decision& allow,
                       Decision& block)
{
    if (!entries)
        return;
    for (const Entry& entry : *entries) {
        Decision& slot = entry.allow ? allow : block;
        // An owner's rule takes the place of a remembered caller's.
        if (slot.ruleId != 0 && (!slot.remembered || entry.remembered))
            continue;
        if (!entry.namePart.isEmpty() && !name.contains(entry.namePart, Qt::CaseInsensitive))
            continue;
        slot.ruleId = entry.id;
        slot.remembered = entry.remembered;
        slot.greeting = entry.greeting;
    }
}

RuleMatcher::Decision RuleMatcher::decide(const CallerIdentity& caller) const
{
    Decision allow{Decision::Verdict::Allow, 0};
    Decision block{Decision::Verdict::Block, 0};
    if (m_size == 0)
        return {};
    // The caller's name is only a name when caller identification gave one.
    const QString name = caller.name.value_or(QString());
    const QString number = caller.noNumber() ? QString() : normalNumber(*caller.number);
    if (number.isEmpty()) {
        take(&m_withheld, name, allow, block);
    } else {
        const auto exact = m_exact.constFind(number);
        take(exact == m_exact.cend() ? nullptr : &*exact, name, allow, block);
        for (const int length : m_prefixLengths) {
            if (length > number.size())
                break;
            const auto prefix = m_prefix.constFind(number.left(length));
            take(prefix == m_prefix.cend() ? nullptr : &*prefix, name, allow, block);
        }
    }
    take(&m_byName, name, allow, block);
    if (allow.ruleId != 0) {
        allow.blockedBy = block.ruleId;
        return allow;
    }
    if (block.ruleId != 0)
        return block;
    return {};
}
