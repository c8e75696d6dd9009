// The screening verdict: which callers are screened in each mode, with which reason, and that
// blocked callers stay blocked and allowed ones are never screened; the screened-out calls table.
#include "ScreenVerdict.h"
#include "RuleMatcher.h"
#include "ScreenedCallStore.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using kalvo::CallerRule;
using Mode = ScreenVerdict::Mode;
using Kind = ScreenVerdict::Kind;

namespace {

CallerIdentity caller(const char* name, const char* number)
{
    CallerIdentity identity;
    if (name)
        identity.name = QString(name);
    if (number)
        identity.number = QString(number);
    else
        identity.absence = CallerIdentity::Absence::Withheld;
    return identity;
}

CallerRule rule(CallerRule::Kind kind, const char* number, const char* note = "")
{
    CallerRule r;
    static qint64 id = 0;
    r.id = ++id;
    r.kind = kind;
    r.number = number;
    r.note = note;
    return r;
}

struct Judge
{
    RuleMatcher matcher;
    ScreenVerdict::Policy policy{Mode::Unknown, "+15125550123"};
    ScreenVerdict operator()(const char* name, const char* number) const
    {
        const CallerIdentity who = caller(name, number);
        return ScreenVerdict::judge(policy, who, matcher.decide(who));
    }
};

} // namespace

// Each offline check screens with its own reason; a plain unknown caller with "unknown number".
TEST(ScreenVerdict, ReasonsOfUnknownCallers)
{
    Judge judge;
    const std::vector<std::pair<std::pair<const char*, const char*>, const char*>> cases = {
        {{"Robo", nullptr}, "number withheld"},
        {{"Robo", "123"}, "number too short"},
        {{"Robo", "+1512555012345678"}, "number too long"},
        {{"Robo", "55501ABC"}, "number has letters"},
        {{"Robo", "+1 (512) 555-0123"}, "own number"},
        {{"Robo", "5125550123"}, "own number"},
        {{"Robo", "+15125550999"}, "number like own number"},
        {{"5125550999", "+14155550100"}, "name is only digits"},
        {{"V123456789", "+14155550100"}, "name is a code"},
        {{"WIRELESS CALLER", "+14155550100"}, "unknown number"},
    };
    for (const auto& [who, reason] : cases) {
        const ScreenVerdict verdict = judge(who.first, who.second);
        EXPECT_EQ(verdict.kind, Kind::Screen) << (who.second ? who.second : "withheld");
        EXPECT_EQ(verdict.reason.toStdString(), reason) << (who.second ? who.second : "withheld");
    }
    judge.policy.ownNumber.clear();
    EXPECT_EQ(judge("Robo", "+15125550999").reason.toStdString(), "unknown number");
}

// Rules come first: allowed numbers always ring, blocked ones stay blocked (also when a
// remembered caller's rule matches too), and screening off screens nobody.
TEST(ScreenVerdict, RulesBeforeScreening)
{
    Judge judge;
    judge.matcher.setRules({rule(CallerRule::Kind::Allow, "123"), rule(CallerRule::Kind::Block, "+1900*"),
                            rule(CallerRule::Kind::Allow, "+19005550100", "passed screening 2026-12-01"),
                            rule(CallerRule::Kind::Allow, "+14155550100", "passed screening 2026-12-01")});
    EXPECT_EQ(judge("Robo", "123").kind, Kind::Ring); // allowed, however implausible
    EXPECT_EQ(judge("Robo", "+19005550111").kind, Kind::Block);
    EXPECT_EQ(judge("Robo", "+19005550100").kind, Kind::Block);
    EXPECT_EQ(judge("Mum", "+14155550100").kind, Kind::Ring); // remembered
    judge.policy.mode = Mode::AllNotAllowed;
    const ScreenVerdict asked = judge("Mum", "+14155550100");
    EXPECT_EQ(asked.kind, Kind::Screen);
    EXPECT_EQ(asked.reason.toStdString(), "not on an allow rule");
    EXPECT_EQ(judge("Robo", "123").kind, Kind::Ring);
    judge.policy.mode = Mode::Off;
    EXPECT_EQ(judge("Robo", nullptr).kind, Kind::Ring);
    EXPECT_EQ(judge("Robo", "+19005550111").kind, Kind::Block);
}

// Screened-out calls are kept with their reason and outcome, newest first, counted by day, and let
// go after the days they are kept for.
TEST(ScreenVerdict, ScreenedCallsAreKeptAndCounted)
{
    QTemporaryDir dir;
    kalvo::ScreenedCallStore store;
    ASSERT_TRUE(store.open(dir.path())) << store.lastError().toStdString();
    const QDateTime now(QDate(2026, 12, 10), QTime(12, 0));
    kalvo::ScreenedCall old{0, now.addDays(-40), "Old", "1", "unknown number", "timed out"};
    kalvo::ScreenedCall a{0, now.addSecs(-60), "A", "+1", "number too short", "hung up"};
    kalvo::ScreenedCall b{0, now, "", "", "number withheld", "wrong key"};
    ASSERT_TRUE(store.add(old, 100));
    ASSERT_TRUE(store.add(a));
    ASSERT_TRUE(store.add(b));
    bool ok = false;
    const auto kept = store.since(now.addDays(-100), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].outcome.toStdString(), "wrong key");
    EXPECT_EQ(kept[1].reason.toStdString(), "number too short");
    EXPECT_EQ(kept[1].at, a.at);
    EXPECT_EQ(store.countOn(now.date()), 2);
    EXPECT_EQ(store.countOn(now.date().addDays(-1)), 0);
}
