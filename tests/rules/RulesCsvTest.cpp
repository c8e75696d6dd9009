// The caller rules' CSV form and the verdict of a set of rules.
#include "RulesCsv.h"
#include "CallerRuleStore.h"
#include "RuleMatcher.h"

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
CallerRule rule(const QString& number, const QString& name, CallerRule::Kind kind, const QString& note = {})
{
    CallerRule r;
    r.number = number;
    r.name = name;
    r.kind = kind;
    r.note = note;
    return r;
}
} // namespace

// Fields with quotes, commas, line breaks, leading spaces and 5 KB names come back unchanged from
// the text and from a file written through the store's export path.
TEST(RulesCsv, HostileFieldsSurviveTheRoundTrip)
{
    const QString longName = QString(5 * 1024, QChar(0x00e9)) + "\"end,";
    const std::vector<CallerRule> rules = {
        rule("+1900*", "", CallerRule::Kind::Block, "premium, \"all\" of them"),
        rule("withheld", "Line one\nline two\r\nthree", CallerRule::Kind::Block, " padded "),
        rule("", longName, CallerRule::Kind::Allow, ""),
        rule("5551234", "O'Brien, \"Jim\"", CallerRule::Kind::Allow, "\"\""),
    };
    QTemporaryDir dir;
    kalvo::CallerRuleStore store;
    ASSERT_TRUE(store.open(dir.path())) << store.lastError().toStdString();
    std::vector<CallerRule> stored = rules;
    ASSERT_TRUE(store.addAll(stored));
    const QString file = dir.filePath("rules.csv");
    ASSERT_EQ(RulesCsv::writeFile(file, store.rules()), QString());

    const RulesCsv::ReadResult back = RulesCsv::readFile(file);
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    ASSERT_EQ(back.rules.size(), rules.size());
    for (std::size_t i = 0; i < rules.size(); ++i) {
        EXPECT_EQ(back.rules[i].number, rules[i].number) << i;
        // CR LF inside a field is read back as LF; nothing else changes.
        EXPECT_EQ(back.rules[i].name, QString(rules[i].name).replace("\r\n", "\n")) << i;
        EXPECT_EQ(back.rules[i].kind, rules[i].kind) << i;
        EXPECT_EQ(back.rules[i].note, rules[i].note) << i;
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
        {"number,name,kind,note\n1,a,block,x\n2,b,maybe,x\n", 3, "neither block nor allow"},
        {"number,name,kind,note\n1,\"two\nlines\",block,x\n3,c,block\n", 4, "3 fields"},
        {"number,name,kind,note\n1,a,block,x\n2,\"open,block,x\n3,c,block,x\n", 3, "not closed"},
        {"number,name,kind,note\n1,a\"b,block,x\n", 2, "quote inside"},
        {"number,name,kind,note\n1,\"a\"b,block,x\n", 2, "after a closing quote"},
        {"number,name,kind,note\n\n\n+1*9,a,block,x\n", 4, "may only end"},
        {"number,name,kind,note\n,,allow,x\n", 2, "number or a name"},
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

// Allow wins over block; prefixes, "no number" and name parts match as the rules say.
TEST(RuleMatcher, AllowWinsAndEachKindMatches)
{
    std::vector<CallerRule> rules = {
        rule("+1900*", "", CallerRule::Kind::Block), rule("+1 900-555-0199", "", CallerRule::Kind::Allow),
        rule("withheld", "", CallerRule::Kind::Block), rule("", "survey", CallerRule::Kind::Block),
        rule("+44*", "mum", CallerRule::Kind::Allow)};
    for (std::size_t i = 0; i < rules.size(); ++i)
        rules[i].id = qint64(i + 1);
    RuleMatcher matcher;
    matcher.setRules(rules);
    EXPECT_EQ(matcher.decide(caller("X", "+19005550100")).ruleId, 1);
    EXPECT_EQ(matcher.decide(caller("X", "+19005550199")).verdict, RuleMatcher::Decision::Verdict::Allow);
    EXPECT_EQ(matcher.decide(caller("X", "+1800")).verdict, RuleMatcher::Decision::Verdict::None);
    EXPECT_EQ(matcher.decide(caller("X", "+190")).verdict, RuleMatcher::Decision::Verdict::None);
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
    // A name-part allow beats the block rules that match the same caller.
    EXPECT_EQ(matcher.decide(caller("Mum (survey)", "+44 20 7946 0000")).ruleId, 5);
}
