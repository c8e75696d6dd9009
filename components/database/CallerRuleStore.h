// The caller rules (block and allow lists) in their own tables of the call database file.
#pragma once

#include <QDate>
#include <QString>
#include <vector>

struct sqlite3;

namespace kalvo {

// One rule as stored. number is an exact number, a prefix ending in "*" ("+1900*"), the word
// "withheld" for a caller without a number, or empty when only the name part decides.
struct CallerRule
{
    enum class Kind { Block, Allow };

    qint64 id = 0; // 0 until stored
    Kind kind = Kind::Block;
    QString number;
    QString name; // a part of the caller's name, matched without regard to case; empty for any
    QString note;
    int countToday = 0; // calls this rule decided today (as of the last count)
    int countTotal = 0;
    QDate countDay; // the day countToday belongs to

    // The calls counted today, 0 when the last count was on another day.
    int today(const QDate& day) const { return countDay == day ? countToday : 0; }
};

// Keeps the rules in the table CallerRules of <Calls folder>/calls.sqlite3, beside the calls, and
// a generation number that every change of the rules raises, so a running program sees another
// process's change before its next call. Every change is one committed transaction. The calls
// table is neither read nor written. Errors are returned as false with lastError() set.
class CallerRuleStore
{
public:
    // What a line that cannot refuse a ringing call does with a blocked caller.
    enum class CannotRefuse { AnswerAndHangUp, LetRing };

    CallerRuleStore() = default;
    ~CallerRuleStore();
    CallerRuleStore(const CallerRuleStore&) = delete;
    CallerRuleStore& operator=(const CallerRuleStore&) = delete;

    // Opens (and creates when needed) the rules tables in the database file of callsFolder.
    bool open(const QString& callsFolder);
    bool isOpen() const { return m_db != nullptr; }
    void close();
    QString lastError() const { return m_error; }

    // Every rule, in the order they were added. ok is false when they could not be read.
    std::vector<CallerRule> rules(bool* ok = nullptr);
    // The rules' generation: changes with every added, edited, removed or imported rule; -1 on error.
    qint64 generation();

    // Adds a rule; its id is set. An equal rule (same number, name part and kind) is not added twice:
    // its note is replaced instead.
    bool add(CallerRule& rule);
    // Replaces the number, name part, kind and note of the rule with rule.id.
    bool update(const CallerRule& rule);
    bool remove(qint64 id);
    // Adds all rules in one transaction: all of them or, on an error, none.
    bool addAll(std::vector<CallerRule>& rules);
    // Counts one call decided by the rule on day.
    bool count(qint64 id, const QDate& day);

    CannotRefuse cannotRefuse();
    bool setCannotRefuse(CannotRefuse choice);

private:
    bool execute(const char* sql);
    bool insert(CallerRule& rule);
    bool bumpGeneration();
    // Commits the open transaction with a new generation when ok, else rolls it back.
    bool finish(bool ok);
    bool fail(const QString& what);

    sqlite3* m_db = nullptr;
    QString m_error;
};

} // namespace kalvo
