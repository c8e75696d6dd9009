// The caller rules as the answering engine asks them: opened on the call database file, read
// again whenever their generation changed (another process, the dialog), so the next call
// always meets the rules as they are stored.
#pragma once

#include "CallerRuleStore.h"
#include "RuleMatcher.h"

#include <QDate>
#include <QString>

class CallerRules
{
public:
    // callsFolder is the folder of the call database file.
    explicit CallerRules(QString callsFolder) : m_folder(std::move(callsFolder)) {}

    // The verdict for a caller, after the rules were brought up to date. A store that cannot be
    // read lets every call through; error() then says why.
    RuleMatcher::Decision check(const CallerIdentity& caller);
    // Counts one call the rule decided, on day.
    void count(qint64 ruleId, const QDate& day);
    // Remembers a caller who passed screening as an allow rule for the number, noted with the day.
    // A caller without a number cannot be remembered. @return false on a store error.
    bool remember(const CallerIdentity& caller, const QDate& day);
    // What a line that cannot refuse does with a blocked caller.
    kalvo::CallerRuleStore::CannotRefuse cannotRefuse();
    // Why the last check or count failed (a sentence part after "Caller rules: "); empty when
    // they worked.
    QString error() const { return m_error; }

private:
    bool refresh();

    QString m_folder;
    kalvo::CallerRuleStore m_store;
    RuleMatcher m_matcher;
    qint64 m_generation = -1;
    QString m_error;
};
