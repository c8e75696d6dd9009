// The engine's view of the caller rules.
#include "CallerRules.h"

bool CallerRules::refresh()
{
    if (!m_store.isOpen() && !m_store.open(m_folder)) {
        m_error = "they cannot be opened, every call is answered: " + m_store.lastError();
        return false;
    }
    const qint64 generation = m_store.generation();
    if (generation < 0) {
        // A store that went bad (the file replaced or removed) is opened again at the next call.
        m_error = "they cannot be read, every call is answered: " + m_store.lastError();
        m_store.close();
        return false;
    }
    if (generation != m_generation) {
        bool ok = false;
        std::vector<kalvo::CallerRule> rules = m_store.rules(&ok);
        if (!ok) {
            m_error = "they cannot be read, every call is answered: " + m_store.lastError();
            return false;
        }
        m_matcher.setRules(rules);
        m_generation = generation;
    }
    m_error.clear();
    return true;
}

RuleMatcher::Decision CallerRules::check(const CallerIdentity& caller)
{
    if (!refresh())
        return {};
    return m_matcher.decide(caller);
}

void CallerRules::count(qint64 ruleId, const QDate& day)
{
    if (!m_store.isOpen() || !m_store.count(ruleId, day))
        m_error = "a call cannot be counted: " + m_store.lastError();
}

bool CallerRules::remember(const CallerIdentity& caller, const QDate& day)
{
    if (caller.noNumber())
        return true;
    if (!m_store.isOpen() && !m_store.open(m_folder)) {
        m_error = "a caller who passed screening cannot be remembered: " + m_store.lastError();
        return false;
    }
    kalvo::CallerRule rule;
    rule.kind = kalvo::CallerRule::Kind::Allow;
    rule.number = caller.number->trimmed();
    rule.label = caller.name.value_or(QString());
    rule.note = QLatin1String(RuleMatcher::kPassedNote) + " " + day.toString(Qt::ISODate);
    if (!m_store.add(rule)) {
        m_error = "a caller who passed screening cannot be remembered: " + m_store.lastError();
        return false;
    }
    return true;
}

kalvo::CallerRuleStore::CannotRefuse CallerRules::cannotRefuse()
{
    return m_store.cannotRefuse();
}
