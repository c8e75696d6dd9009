// The caller rules' CSV form, the verdict of a set of rules and the rules tables of earlier versions.
#include "RulesCsv.h"
#include "CallerRuleStore.h"
#include "RuleMatcher.h"
#include "SqlFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using kalvo::CallerRule;

namespace {

CallerIdentity caller(const char* name, const char* number)
{
    CallerIdentity identity;
    identity.name = QString(name);
    identity.number = QString(number);
    return identity;
}

// A number rule with name as its label, or without a number a name rule.
CallerRule rule(const QString& number, const QString& name, CallerRule::Kind kind, const QString& note = {})
{
    CallerRule r;
    r.number = number;
    r.match = number.isEmpty() ? CallerRule::Match::Name : CallerRule::Match::Number;
    (number.isEmpty() ? r.name : r.label) = name;
    r.kind = kind;
    r.note = note;
    return r;
}
} // namespace

// Fields with quotes, commas, line breaks, leading spaces, 5 KB names and formula-looking texts, and
// a rule's own greeting in the last column, come back unchanged from the text and from a file written
// through the store's export path; a spreadsheet sees no formula in the file.
TEST(RulesCsv, HostileFieldsSurviveTheRoundTrip)
{
    const QString longName = QString(5 * 1024, QChar(0x00e9)) + "\"end,";
    const std::vector<CallerRule> rules = {
        rule("+1900*", "", CallerRule::Kind::Block, "premium, \"all\" of them"),
        rule("withheld", "Line one\nline two\r\nthree", CallerRule::Kind::Block, " padded "),
        rule("", longName, CallerRule::Kind::Allow, ""),
        rule("5551234", "O'Brien, \"Jim\"", CallerRule::Kind::Allow, "\"\""),
        rule("+19005551234", "=HYPERLINK(\"x\")", CallerRule::Kind::Allow, "@SUM(A1)"),
        rule("-5*", "'+quoted", CallerRule::Kind::Block, "''=twice"),
        rule("", "'plain", CallerRule::Kind::Block, "\tTAB"),
    };
    QTemporaryDir dir;
    kalvo::CallerRuleStore store;
    ASSERT_TRUE(store.open(dir.path())) << store.lastError().toStdString();
    std::vector<CallerRule> stored = rules;
    stored[3].greeting = "=Family.wav";
    ASSERT_TRUE(store.addAll(stored));
    const QString file = dir.filePath("rules.csv");
    ASSERT_EQ(RulesCsv::writeFile(file, store.rules()), QString());
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    for (const QByteArray& line : written.readAll().split('\n')) {
        for (const QByteArray& cell : line.split(','))
            EXPECT_TRUE(cell.isEmpty() || !QByteArray("=+-@\t").contains(cell.front())) << line.constData();
    }

    const RulesCsv::ReadResult back = RulesCsv::readFile(file);
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    ASSERT_EQ(back.rules.size(), rules.size());
    for (std::size_t i = 0; i < rules.size(); ++i) {
        EXPECT_EQ(back.rules[i].number, rules[i].number) << i;
        // CR LF inside a field is read back as LF; nothing else changes.
        EXPECT_EQ(back.rules[i].shownName(), QString(rules[i].shownName()).replace("\r\n", "\n")) << i;
        EXPECT_EQ(back.rules[i].kind, rules[i].kind) << i;
        EXPECT_EQ(back.rules[i].match, rules[i].match) << i;
        EXPECT_EQ(back.rules[i].note, rules[i].note) << i;
        EXPECT_EQ(back.rules[i].greeting, stored[i].greeting) << i;
    }
}

// A faulty file is refused whole, with the line the fault is on (counting lines inside quotes).
TEST(RulesCsv, MalformedFilesAreRefusedWithTheirLine)
{
    struct Case
    {
        const char* text;
        int line;
        const char* says;
    };
    const Case cases[] = {
        {"", 1, "first line"},
        {"number,name,note\n", 1, "first line"},
        {"number,name,kind,note\n1,a,block,x\n2,b,maybe,x\n", 3, "none of block, allow"},
        {"number,name,kind,note\n5551234,survey,block-name,x\n", 2, "takes no number"},
        {"number,name,kind,note\n1,\"two\nlines\",block,x\n3,c,block\n", 4, "3 fields"},
        {"number,name,kind,note\n1,a,block,x\n2,\"open,block,x\n3,c,block,x\n", 3, "not closed"},
        {"number,name,kind,note\n1,a\"b,block,x\n", 2, "quote inside"},
        {"number,name,kind,note\n1,\"a\"b,block,x\n", 2, "after a closing quote"},
        {"number,name,kind,note\n\n\n+1*9,a,block,x\n", 4, "may only end"},
        {"number,name,kind,note\n,,allow,x\n", 2, "needs a number"},
        {"number,name,kind,note,greeting\n1,,allow,,\n2,,block,,Hi.wav\n", 3, "plays no greeting"},
        {"number,name,kind,note,greeting\n1,,allow,,../calls.sqlite3\n", 2, "a file in the Greets folder"},
        {"number,name,kind,note,greeting\n1,,allow,x\n", 2, "4 fields"},
    };
    for (const Case& c : cases) {
        const RulesCsv::ReadResult result = RulesCsv::read(c.text);
        EXPECT_FALSE(result.ok()) << c.text;
        EXPECT_TRUE(result.rules.empty()) << c.text;
        EXPECT_EQ(result.line, c.line) << c.text << " -> " << result.error.toStdString();
        EXPECT_TRUE(result.error.contains(c.says)) << result.error.toStdString();
        EXPECT_TRUE(result.error.startsWith("line " + QString::number(c.line) + ": "));
    }
    // A header in other case, a byte-order mark and CR LF endings are accepted.
    const RulesCsv::ReadResult fine = RulesCsv::read("\xEF\xBB\xBFNumber,Name,Kind,Note\r\n1,a,Allow,x\r\n");
    ASSERT_TRUE(fine.ok()) << fine.error.toStdString();
    EXPECT_EQ(fine.rules.at(0).kind, CallerRule::Kind::Allow);
}

// Allow wins over block; prefixes, "no number" and name rules match as the rules say, and a number
// rule's label is never compared with the caller's name: an imported allow rule labelled "Aunt May"
// lets her in from inside a blocked prefix whatever name the network sends, and a blocked number
// stays blocked when its caller sends another name. A file of an earlier version keeps its name
// rules.
TEST(RuleMatcher, AllowWinsAndEachKindMatches)
{
    const RulesCsv::ReadResult read = RulesCsv::read("number,name,kind,note\n"
                                                     "+1900*,,block,premium\n"
                                                     "+1 900-555-1234,Aunt May,allow,family\n"
                                                     "withheld,,block,\n"
                                                     ",survey,block,old name rule\n"
                                                     ",mum,allow-name,\n"
                                                     "+15550100,Robo Sales,block,\n");
    ASSERT_TRUE(read.ok()) << read.error.toStdString();
    std::vector<CallerRule> rules = read.rules;
    for (std::size_t i = 0; i < rules.size(); ++i)
        rules[i].id = qint64(i + 1);
    EXPECT_EQ(rules[1].label, QString("Aunt May"));
    EXPECT_EQ(rules[3].match, CallerRule::Match::Name);
    RuleMatcher matcher;
    matcher.setRules(rules);
    using Verdict = RuleMatcher::Decision::Verdict;
    EXPECT_EQ(matcher.decide(caller("X", "+19005550100")).ruleId, 1);
    EXPECT_EQ(matcher.decide(caller("WIRELESS CALLER", "+19005551234")).verdict, Verdict::Allow);
    EXPECT_EQ(matcher.decide(CallerIdentity::fromText("UNKNOWN", "+19005551234")).ruleId, 2);
    EXPECT_EQ(matcher.decide(caller("X", "+1800")).verdict, Verdict::None);
    EXPECT_EQ(matcher.decide(caller("X", "+190")).verdict, Verdict::None);
    // "No number" is what the line says, whatever the reason; a number that reads like a word is a number.
    CallerIdentity hidden;
    for (auto why : {CallerIdentity::Absence::NotSent, CallerIdentity::Absence::Withheld,
                     CallerIdentity::Absence::Unavailable}) {
        hidden.absence = why;
        EXPECT_EQ(matcher.decide(hidden).ruleId, 3) << int(why);
    }
    EXPECT_EQ(matcher.decide(caller("X", " ")).ruleId, 3);
    EXPECT_NE(matcher.decide(caller("X", "anonymous")).ruleId, 3);
    EXPECT_EQ(matcher.decide(caller("Big SURVEY Inc", "5550000")).ruleId, 4);
    // A name allow beats the block rules that match the same caller.
    EXPECT_EQ(matcher.decide(caller("Mum (survey)", "+1 900 000")).ruleId, 5);
    EXPECT_EQ(matcher.decide(caller("Cheap Flights", "+15550100")).ruleId, 6);
    EXPECT_EQ(matcher.decide(caller("Robo Sales", "+15550101")).verdict, Verdict::None);
}

// A rules table of an earlier version (name parts were always conditions) is brought up to date
// at open without losing anything: a number rule's name part becomes its label, a rule with only
// a name part becomes a name rule, and rules that become equal are merged with their labels,
// notes and counts. Opening it again changes nothing.
TEST(CallerRuleStore, EarlierTableIsMigratedAtOpen)
{
    QTemporaryDir dir;
    const QString why = kalvo::test::executeSql(
        dir.filePath("calls.sqlite3"),
        "CREATE TABLE CallerRules (id INTEGER PRIMARY KEY AUTOINCREMENT,"
        " Kind TEXT NOT NULL CHECK (Kind IN ('block', 'allow')), Number TEXT NOT NULL DEFAULT '',"
        " Name TEXT NOT NULL DEFAULT '', Note TEXT NOT NULL DEFAULT '', CountToday INTEGER NOT NULL DEFAULT "
        "0,"
        " CountDay TEXT NOT NULL DEFAULT '', CountTotal INTEGER NOT NULL DEFAULT 0, UNIQUE (Number, Name, "
        "Kind));"
        "CREATE TABLE CallerRuleState (Name TEXT PRIMARY KEY, Value TEXT NOT NULL);"
        "INSERT INTO CallerRuleState VALUES ('generation', '7'), ('cannotRefuse', 'ring');"
        "INSERT INTO CallerRules VALUES (1, 'block', '+1900*', '', 'premium', 0, '', 4),"
        " (2, 'allow', '+19005551234', 'Aunt May', 'family', 0, '', 0), (3, 'block', '', 'survey', '', 1,"
        " '2026-03-01', 1), (4, 'block', '+15550100', 'Robo', 'a', 1, '2026-03-01', 2),"
        " (5, 'block', '+15550100', 'Robo Sales', 'b', 2, '2026-03-01', 3);");
    ASSERT_EQ(why, QString());
    for (int open = 0; open < 2; ++open) {
        kalvo::CallerRuleStore store;
        ASSERT_TRUE(store.open(dir.path())) << store.lastError().toStdString();
        EXPECT_EQ(store.generation(), 8);
        EXPECT_EQ(store.cannotRefuse(), kalvo::CallerRuleStore::CannotRefuse::LetRing);
        const std::vector<CallerRule> rules = store.rules();
        ASSERT_EQ(rules.size(), 4u);
        EXPECT_EQ(rules[0].countTotal, 4);
        EXPECT_EQ(rules[1].label, QString("Aunt May"));
        EXPECT_EQ(rules[1].name, QString());
        EXPECT_EQ(rules[2].kindText(), QString("block-name"));
        EXPECT_EQ(rules[2].name, QString("survey"));
        EXPECT_EQ(rules[3].label, QString("Robo, Robo Sales"));
        EXPECT_EQ(rules[3].note, QString("a; b"));
        EXPECT_EQ(rules[3].countTotal, 5);
        EXPECT_EQ(rules[3].today(QDate(2026, 3, 1)), 3);
        RuleMatcher matcher;
        matcher.setRules(rules);
        EXPECT_EQ(matcher.decide(caller("WIRELESS CALLER", "+19005551234")).ruleId, 2);
        EXPECT_EQ(matcher.decide(caller("Cheap Flights", "+15550100")).ruleId, 4);
    }
}

// A table from before greetings gets the column at open and keeps its rules; a greeting added again
// without one (a remembered caller) stays, and the allow rule's verdict carries it.
TEST(CallerRuleStore, GreetingColumnIsAddedAtOpen)
{
    QTemporaryDir dir;
    std::vector<CallerRule> rules = {rule("+1900*", "", CallerRule::Kind::Block, "premium"),
                                     rule("+19005551234", "Aunt May", CallerRule::Kind::Allow)};
    {
        kalvo::CallerRuleStore store;
        ASSERT_TRUE(store.open(dir.path()));
        ASSERT_TRUE(store.addAll(rules));
    }
    ASSERT_EQ(kalvo::test::executeSql(dir.filePath("calls.sqlite3"),
                                      "ALTER TABLE CallerRules DROP COLUMN Greeting"),
              QString());
    kalvo::CallerRuleStore store;
    ASSERT_TRUE(store.open(dir.path())) << store.lastError().toStdString();
    ASSERT_EQ(store.rules().size(), 2u);
    rules[1].greeting = "Family.wav";
    ASSERT_TRUE(store.update(rules[1]));
    CallerRule again = rule("+19005551234", "May", CallerRule::Kind::Allow, "passed screening");
    ASSERT_TRUE(store.add(again));
    RuleMatcher matcher;
    matcher.setRules(store.rules());
    EXPECT_EQ(store.rules().at(1).label, QString("May"));
    EXPECT_EQ(matcher.decide(caller("X", "+19005551234")).greeting, QString("Family.wav"));
}
