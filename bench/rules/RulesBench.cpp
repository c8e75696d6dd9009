// Prints what checking one caller against 10,000 caller rules costs: the index's verdict alone and
// with screening's checks, the engine's whole check per call (store generation read included), and
// the re-read of all rules after a change.
#include "CallerRules.h"
#include "RuleMatcher.h"
#include "ScreenVerdict.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// 10,000 rules as a long imported list has them: mostly exact numbers, some prefixes of several
// lengths, some name parts, "no number", and allow rules among them.
std::vector<kalvo::CallerRule> manyRules(int count)
{
    std::vector<kalvo::CallerRule> rules;
    for (int i = 0; i < count; ++i) {
        kalvo::CallerRule rule;
        rule.id = i + 1;
        if (i % 20 == 0)
            rule.number = "+1" + QString::number(200 + i % 800) + QString::number(i).left(i % 5) + "*";
        else if (i % 50 == 1) {
            rule.match = kalvo::CallerRule::Match::Name;
            rule.name = "robo" + QString::number(i);
        } else
            rule.number = "+4930" + QString::number(1000000 + i * 7);
        rule.kind = i % 7 == 0 ? kalvo::CallerRule::Kind::Allow : kalvo::CallerRule::Kind::Block;
        rules.push_back(rule);
    }
    kalvo::CallerRule withheld;
    withheld.id = count + 1;
    withheld.number = "withheld";
    rules.push_back(withheld);
    return rules;
}

void BM_Verdict(benchmark::State& state)
{
    RuleMatcher matcher;
    matcher.setRules(manyRules(int(state.range(0))));
    CallerIdentity caller; // matches nothing: every look-up runs
    caller.name = QStringLiteral("Jane Caller");
    caller.number = QStringLiteral("+4930 555 0199");
    for (auto _ : state)
        benchmark::DoNotOptimize(matcher.decide(caller));
}
BENCHMARK(BM_Verdict)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The same caller with screening on: the rules' verdict, then the offline checks and the reason.
void BM_ScreenVerdict(benchmark::State& state)
{
    RuleMatcher matcher;
    matcher.setRules(manyRules(int(state.range(0))));
    CallerIdentity caller;
    caller.name = QStringLiteral("Jane Caller");
    caller.number = QStringLiteral("+4930 555 0199");
    const ScreenVerdict::Policy policy{ScreenVerdict::Mode::Unknown, QStringLiteral("+4930 555 0100")};
    for (auto _ : state)
        benchmark::DoNotOptimize(ScreenVerdict::judge(policy, caller, matcher.decide(caller)));
}
BENCHMARK(BM_ScreenVerdict)->Arg(10000)->Unit(benchmark::kMicrosecond);

// A folder whose database holds the rules, filled once.
QString filledFolder(int count)
{
    static QTemporaryDir dir;
    static bool filled = false;
    if (!filled) {
        kalvo::CallerRuleStore store;
        store.open(dir.path());
        std::vector<kalvo::CallerRule> rules = manyRules(count);
        store.addAll(rules);
        filled = true;
    }
    return dir.path();
}

void BM_CheckPerCall(benchmark::State& state)
{
    CallerRules rules(filledFolder(int(state.range(0))));
    rules.check(CallerIdentity::fromText("x", "1")); // the first check reads the rules
    for (auto _ : state)
        benchmark::DoNotOptimize(rules.check(CallerIdentity::fromText("Jane Caller", "+4930 555 0199")));
}
BENCHMARK(BM_CheckPerCall)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_ReadAfterChange(benchmark::State& state)
{
    for (auto _ : state) {
        CallerRules rules(filledFolder(int(state.range(0))));
        benchmark::DoNotOptimize(rules.check(CallerIdentity::fromText("Jane Caller", "+4930 555 0199")));
    }
}
BENCHMARK(BM_ReadAfterChange)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
