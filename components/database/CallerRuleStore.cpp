// SQLite storage of the caller rules.
#include "CallerRuleStore.h"
#include "SqliteStatement.h"

#include "CallDatabaseFile.h"

#include <sqlite3.h>

namespace kalvo {

namespace {

// The columns of the rules table; a macro so the schema and the rebuild of an older table share it.
#define KALVO_RULE_COLUMNS                                                                                   \
    " (id INTEGER PRIMARY KEY AUTOINCREMENT,"                                                                \
    " Kind TEXT NOT NULL CHECK (Kind IN ('block', 'allow', 'block-name', 'allow-name')),"                    \
    " Number TEXT NOT NULL DEFAULT '',"                                                                      \
    " Name TEXT NOT NULL DEFAULT '',"                                                                        \
    " Label TEXT NOT NULL DEFAULT '',"                                                                       \
    " Note TEXT NOT NULL DEFAULT '',"                                                                        \
    " Greeting TEXT NOT NULL DEFAULT '',"                                                                    \
    " CountToday INTEGER NOT NULL DEFAULT 0,"                                                                \
    " CountDay TEXT NOT NULL DEFAULT '',"                                                                    \
    " CountTotal INTEGER NOT NULL DEFAULT 0,"                                                                \
    " UNIQUE (Number, Name, Kind))"

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS CallerRules" KALVO_RULE_COLUMNS ";"
    "CREATE TABLE IF NOT EXISTS CallerRuleState (Name TEXT PRIMARY KEY, Value TEXT NOT NULL);"
    "INSERT OR IGNORE INTO CallerRuleState VALUES ('generation', '0'), ('cannotRefuse', 'answer');";

// An earlier table's rules in the new form; rules that become equal are merged, nothing dropped.
constexpr const char* kMigration =
    "CREATE TABLE CallerRulesWithLabels" KALVO_RULE_COLUMNS ";"
    "INSERT INTO CallerRulesWithLabels (id, Kind, Number, Name, Label, Note, CountToday, CountDay, "
    "CountTotal)"
    " SELECT id, CASE WHEN trim(Number) = '' THEN Kind || '-name' ELSE Kind END, Number,"
    "  CASE WHEN trim(Number) = '' THEN Name ELSE '' END, CASE WHEN trim(Number) = '' THEN '' ELSE "
    "trim(Name) END,"
    "  Note, CountToday, CountDay, CountTotal FROM CallerRules WHERE true ORDER BY id"
    " ON CONFLICT (Number, Name, Kind) DO UPDATE SET"
    "  Label = CASE WHEN excluded.Label IN ('', Label) THEN Label WHEN Label = '' THEN excluded.Label"
    "   ELSE Label || ', ' || excluded.Label END,"
    "  Note = CASE WHEN excluded.Note IN ('', Note) THEN Note WHEN Note = '' THEN excluded.Note"
    "   ELSE Note || '; ' || excluded.Note END,"
    "  CountTotal = CountTotal + excluded.CountTotal,"
    "  CountToday = CASE WHEN CountDay = excluded.CountDay THEN CountToday + excluded.CountToday"
    "   WHEN excluded.CountDay > CountDay THEN excluded.CountToday ELSE CountToday END,"
    "  CountDay = max(CountDay, excluded.CountDay);"
    "DROP TABLE CallerRules;"
    "ALTER TABLE CallerRulesWithLabels RENAME TO CallerRules;";

#undef KALVO_RULE_COLUMNS

using Statement = SqliteStatement;

} // namespace

QString CallerRule::kindText() const
{
    const QString base = kind == Kind::Allow ? QStringLiteral("allow") : QStringLiteral("block");
    return match == Match::Name ? base + "-name" : base;
}

bool CallerRule::setKindText(const QString& text)
{
    const QString lower = text.trimmed().toLower();
    const bool byName = lower.endsWith(QLatin1String("-name"));
    const QString base = byName ? lower.chopped(5) : lower;
    if (base != QLatin1String("block") && base != QLatin1String("allow"))
        return false;
    kind = base == QLatin1String("allow") ? Kind::Allow : Kind::Block;
    match = byName ? Match::Name : Match::Number;
    return true;
}

CallerRuleStore::~CallerRuleStore()
{
    close();
}

void CallerRuleStore::close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool CallerRuleStore::fail(const QString& what)
{
    m_error = what + (m_db ? ": " + QString::fromUtf8(sqlite3_errmsg(m_db)) : QString());
    return false;
}

bool CallerRuleStore::execute(const char* sql)
{
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK)
        m_error = QString::fromUtf8(message ? message : sqlite3_errstr(rc));
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

bool CallerRuleStore::open(const QString& callsFolder)
{
    close();
    QString path;
    m_db = openCallDatabaseFile(callsFolder, path, m_error);
    if (!m_db)
        return false;
    if (!migrate() || !execute(kSchema)) {
        m_error = path + ": " + m_error;
        close();
        return false;
    }
    // Tables of these names that another program made are refused here, with what is wrong,
    // rather than failing at every call.
    if (!execute(
            "SELECT id, Kind, Number, Name, Label, Note, Greeting, CountToday, CountDay, CountTotal FROM "
            "CallerRules LIMIT 0; SELECT Name, Value FROM CallerRuleState LIMIT 0")) {
        m_error = path + ": its caller rules tables are not the ones Kalvo keeps: " + m_error;
        close();
        return false;
    }
    return true;
}

bool CallerRuleStore::migrate()
{
    // Checked inside the transaction: another process may have rebuilt the table meanwhile.
    if (!execute("BEGIN IMMEDIATE"))
        return false;
    bool checked = false, unlabelled = false, ungreeted = false;
    {
        // Another program's table of the same name is left as it is (and refused after this).
        Statement old(m_db,
                      "SELECT count(*), count(*) FILTER (WHERE name = 'Label'),"
                      " count(*) FILTER (WHERE name = 'Greeting') FROM pragma_table_info('CallerRules')"
                      " WHERE name IN ('id', 'Kind', 'Number', 'Name', 'Note', 'CountToday', 'CountDay',"
                      " 'CountTotal', 'Label', 'Greeting')");
        checked = old.ok() && old.step() == SQLITE_ROW;
        const qint64 known = checked ? old.number(0) - old.number(1) - old.number(2) : 0;
        unlabelled = known == 8 && old.number(1) == 0 && old.number(2) == 0;
        ungreeted = known == 8 && old.number(1) == 1 && old.number(2) == 0;
    } // finished before the table may be dropped
    if (!unlabelled && !ungreeted) {
        const bool ok = checked || fail("the rules tables cannot be read");
        execute("COMMIT");
        return ok;
    }
    // The rebuilt table has the Greeting column already.
    if (!execute(unlabelled ? kMigration
                            : "ALTER TABLE CallerRules ADD COLUMN Greeting TEXT NOT NULL DEFAULT ''")) {
        m_error = "the caller rules of an earlier version cannot be brought up to date: " + m_error;
        const QString error = m_error;
        execute("ROLLBACK");
        m_error = error;
        return false;
    }
    // The state table may be missing in a file that had only the rules table.
    return execute("CREATE TABLE IF NOT EXISTS CallerRuleState (Name TEXT PRIMARY KEY, Value TEXT NOT NULL);"
                   "INSERT OR IGNORE INTO CallerRuleState VALUES ('generation', '0'), ('cannotRefuse', "
                   "'answer')") &&
           finish(true);
}

std::vector<CallerRule> CallerRuleStore::rules(bool* ok)
{
    std::vector<CallerRule> out;
    if (ok)
        *ok = false;
    if (!m_db)
        return out;
    Statement query(m_db, "SELECT id, Kind, Number, Name, Label, Note, CountToday, CountDay, CountTotal,"
                          " Greeting FROM CallerRules ORDER BY id");
    if (!query.ok()) {
        fail("the rules cannot be read");
        return out;
    }
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        CallerRule& rule = out.emplace_back();
        rule.id = query.number(0);
        rule.setKindText(query.text(1)); // the table allows no other kinds
        rule.number = query.text(2);
        rule.name = query.text(3);
        rule.label = query.text(4);
        rule.note = query.text(5);
        rule.countToday = int(query.number(6));
        rule.countDay = QDate::fromString(query.text(7), Qt::ISODate);
        rule.countTotal = int(query.number(8));
        rule.greeting = query.text(9);
    }
    if (rc != SQLITE_DONE) {
        fail("the rules cannot be read");
        out.clear();
    } else if (ok) {
        *ok = true;
    }
    return out;
}

qint64 CallerRuleStore::generation()
{
    if (!m_db)
        return -1;
    Statement query(m_db, "SELECT Value FROM CallerRuleState WHERE Name = 'generation'");
    if (!query.ok() || query.step() != SQLITE_ROW)
        return -1;
    return query.text(0).toLongLong();
}

bool CallerRuleStore::bumpGeneration()
{
    return execute("UPDATE CallerRuleState SET Value = CAST(Value AS INTEGER) + 1 WHERE Name = 'generation'");
}

bool CallerRuleStore::finish(bool ok)
{
    // A change of the rules and its new generation are committed together, or neither is.
    if (ok && bumpGeneration() && execute("COMMIT"))
        return true;
    const QString error = m_error;
    execute("ROLLBACK");
    m_error = error;
    return false;
}

bool CallerRuleStore::insert(CallerRule& rule)
{
    // A rule added again without a greeting (a remembered caller, the web page) keeps the one it has.
    Statement query(m_db,
                    "INSERT INTO CallerRules (Kind, Number, Name, Label, Note, Greeting)"
                    " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (Number, Name, Kind) DO UPDATE SET"
                    " Label = excluded.Label, Note = excluded.Note,"
                    " Greeting = CASE excluded.Greeting WHEN '' THEN Greeting ELSE excluded.Greeting END"
                    " RETURNING id");
    if (!query.ok())
        return fail("the rule cannot be stored");
    query.bind(1, rule.kindText());
    query.bind(2, rule.number);
    query.bind(3, rule.name);
    query.bind(4, rule.label);
    query.bind(5, rule.note);
    query.bind(6, rule.greeting);
    if (query.step() != SQLITE_ROW)
        return fail("the rule cannot be stored");
    rule.id = query.number(0);
    return query.step() == SQLITE_DONE || fail("the rule cannot be stored");
}

bool CallerRuleStore::add(CallerRule& rule)
{
    std::vector<CallerRule> one{rule};
    if (!addAll(one))
        return false;
    rule.id = one.front().id;
    return true;
}

bool CallerRuleStore::addAll(std::vector<CallerRule>& rules)
{
    if (!m_db)
        return fail("the rules are not open");
    if (!execute("BEGIN IMMEDIATE"))
        return false;
    bool ok = true;
    for (CallerRule& rule : rules) {
        if (!(ok = insert(rule)))
            break;
    }
    return finish(ok);
}

bool CallerRuleStore::update(const CallerRule& rule)
{
    if (!m_db)
        return fail("the rules are not open");
    if (!execute("BEGIN IMMEDIATE"))
        return false;
    Statement query(m_db, "UPDATE CallerRules SET Kind = ?, Number = ?, Name = ?, Label = ?, Note = ?, "
                          "Greeting = ? WHERE id = ?");
    bool ok = query.ok();
    if (ok) {
        query.bind(1, rule.kindText());
        query.bind(2, rule.number);
        query.bind(3, rule.name);
        query.bind(4, rule.label);
        query.bind(5, rule.note);
        query.bind(6, rule.greeting);
        query.bind(7, rule.id);
        ok = query.step() == SQLITE_DONE;
    }
    if (!ok)
        fail(sqlite3_extended_errcode(m_db) == SQLITE_CONSTRAINT_UNIQUE ? "an equal rule exists already"
                                                                        : "the rule cannot be changed");
    return finish(ok);
}

bool CallerRuleStore::remove(qint64 id)
{
    if (!m_db)
        return fail("the rules are not open");
    if (!execute("BEGIN IMMEDIATE"))
        return false;
    Statement query(m_db, "DELETE FROM CallerRules WHERE id = ?");
    bool ok = query.ok();
    if (ok) {
        query.bind(1, id);
        ok = query.step() == SQLITE_DONE;
    }
    if (!ok)
        fail("the rule cannot be removed");
    return finish(ok);
}

bool CallerRuleStore::count(qint64 id, const QDate& day)
{
    if (!m_db)
        return fail("the rules are not open");
    // A new day starts today's count again; the total goes on.
    Statement query(m_db, "UPDATE CallerRules SET CountTotal = CountTotal + 1,"
                          " CountToday = CASE WHEN CountDay = ?1 THEN CountToday + 1 ELSE 1 END,"
                          " CountDay = ?1 WHERE id = ?2");
    if (!query.ok())
        return fail("the call cannot be counted");
    query.bind(1, day.toString(Qt::ISODate));
    query.bind(2, id);
    return query.step() == SQLITE_DONE || fail("the call cannot be counted");
}

CallerRuleStore::CannotRefuse CallerRuleStore::cannotRefuse()
{
    if (!m_db)
        return CannotRefuse::AnswerAndHangUp;
    Statement query(m_db, "SELECT Value FROM CallerRuleState WHERE Name = 'cannotRefuse'");
    if (query.ok() && query.step() == SQLITE_ROW && query.text(0) == "ring")
        return CannotRefuse::LetRing;
    return CannotRefuse::AnswerAndHangUp;
}

bool CallerRuleStore::setCannotRefuse(CannotRefuse choice)
{
    if (!m_db)
        return fail("the rules are not open");
    Statement query(m_db, "UPDATE CallerRuleState SET Value = ? WHERE Name = 'cannotRefuse'");
    if (!query.ok())
        return fail("the choice cannot be stored");
    query.bind(1, QString(choice == CannotRefuse::LetRing ? "ring" : "answer"));
    return query.step() == SQLITE_DONE || fail("the choice cannot be stored");
}

} // namespace kalvo
