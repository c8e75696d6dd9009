// The caller rules (block and allow lists) in their own tables of the call database file.
#pragma once

#include <QDate>
#include <QString>
#include <vector>

struct sqlite3;

namespace kalvo {

// One rule as stored. A number rule decides by the caller's number: an exact number, a prefix
// ending in "*" ("+1900*"), or the word "withheld" for a caller without a number; its label says
// who it is about and is never compared with the caller. A name rule decides by a part of the
// caller's name, whatever the number.
struct CallerRule
{
    enum class Kind { Block, Allow };
    enum class Match { Number, Name };

    qint64 id = 0; // 0 until stored
    Kind kind = Kind::Block;
    Match match = Match::Number;
    QString number; // a number rule's number; empty for a name rule
    QString name;   // a name rule's part of the caller's name, matched without regard to case
    QString label;  // a number rule's "who is this" ("Aunt May"), shown only
    QString note;
    QString greeting;   // an allow rule's own greeting, a file name in Greets; empty for the default
    int countToday = 0; // calls this rule decided today (as of the last count)
    int countTotal = 0;
    QDate countDay; // the day countToday belongs to

    // The calls counted today, 0 when the last count was on another day.
    int today(const QDate& day) const { return countDay == day ? countToday : 0; }
    // The kind as the table and the rules file write it: "block", "allow", "block-name" or
    // "allow-name".
    QString kindText() const;
    // Sets kind and match from such a text (any case). @return false for another text.
    bool setKindText(const QString& text);
    // The text the name column shows: the label of a number rule, the name part of a name rule.
    const QString& shownName() const { return match == Match::Name ? name : label; }
};

// Keeps the rules in the table CallerRules of <Calls folder>/calls.sqlite3, beside the calls, and
// a generation number that every change of the rules raises, so a running program sees another
// process's change before its next call. Every change is one committed transaction. The calls
// table is neither read nor written. Errors are returned as false with lastError() set.
//
// Rules tables of earlier versions had no label: their name part was always a condition. Opening
// one rebuilds it in one transaction: a rule with a number keeps it and its name part becomes the
// label; a rule with only a name part becomes a name rule. Rules that then become equal (the same
// number and kind) are merged, their labels and notes joined and their counts added. A table from
// before greetings gets its Greeting column (empty: the default greeting) in one transaction.
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
    // its label and note are replaced instead, and its greeting when rule names one.
    bool add(CallerRule& rule);
    // Replaces the number, name part, label, kind, note and greeting of the rule with rule.id.
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
    // Brings a rules table of an earlier version to this one's form (see the class comment).
    bool migrate();
    bool insert(CallerRule& rule);
    bool bumpGeneration();
    // Commits the open transaction with a new generation when ok, else rolls it back.
    bool finish(bool ok);
    bool fail(const QString& what);

    sqlite3* m_db = nullptr;
    QString m_error;
};

} // namespace kalvo
