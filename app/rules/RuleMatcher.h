// Decides a caller against the caller rules: exact numbers, number prefixes, "no number", and name
// rules by a part of the caller's name; an allow rule wins over any block rule. A number rule's
// label plays no part.
#pragma once

#include "CallerIdentity.h"
#include "CallerRuleStore.h"

#include <QHash>
#include <QString>
#include <vector>

class RuleMatcher
{
public:
    struct Decision
    {
        enum class Verdict { None, Block, Allow };
        Verdict verdict = Verdict::None;
        qint64 ruleId = 0;       // the rule that decided; 0 with Verdict::None
        bool remembered = false; // the allow rule only remembers a caller who passed screening
        qint64 blockedBy = 0;    // a block rule that matched too (an allow rule won over it)
        QString greeting = {};   // the allow rule's own greeting (a file in Greets); empty for the default
        bool blocked() const { return verdict == Verdict::Block; }
    };

    // The number field that stands for a caller without a number.
    static constexpr const char* kWithheld = "withheld";
    // How the note of an allow rule made for a caller who passed screening begins.
    static constexpr const char* kPassedNote = "passed screening";

    // Builds the index; the rules are copied into it.
    void setRules(const std::vector<kalvo::CallerRule>& rules);
    std::size_t size() const { return m_size; }

    // The verdict for a caller: allow when any allow rule matches (one the owner made before one
    // that remembers a caller), else block when a block rule does, else none. Costs a few hash look-ups,
    // whatever the number of rules.
    Decision decide(const CallerIdentity& caller) const;

    // A number as rules compare it: without spaces, dashes, dots, slashes and brackets, in lower case.
    static QString normalNumber(const QString& number);
    // What is wrong with a rule as the user gave it, or an empty text.
    static QString ruleError(const kalvo::CallerRule& rule);
    // True for a greeting that names a file directly in the greetings folder, nothing outside it.
    static bool plainGreetingName(const QString& greeting);

private:
    struct Entry
    {
        qint64 id;
        bool allow;
        QString namePart;
        bool remembered = false;
        QString greeting;
    };
    static void take(const std::vector<Entry>* entries, const QString& name, Decision& allow,
                     Decision& block);

    QHash<QString, std::vector<Entry>> m_exact;
    QHash<QString, std::vector<Entry>> m_prefix;
    std::vector<int> m_prefixLengths; // the distinct prefix lengths, shortest first
    std::vector<Entry> m_withheld;
    std::vector<Entry> m_byName; // name rules, whatever the number
    std::size_t m_size = 0;
};
