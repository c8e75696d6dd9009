// The rules switches of the command line.
#include "RulesCommandLine.h"

#include "CallerRuleStore.h"
#include "RulesCsv.h"

#include <QDate>
#include <algorithm>

namespace RulesCommandLine {

namespace {

void print(std::FILE* to, const QString& text)
{
    std::fputs((text + '\n').toUtf8().constData(), to);
}

// A field on one line of the listing.
QString flat(const QString& text)
{
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String(" "))
        .replace('\n', ' ')
        .replace('\r', ' ')
        .replace('\t', ' ');
    return out;
}

int list(kalvo::CallerRuleStore& store, std::FILE* out, std::FILE* err)
{
    bool ok = false;
    const std::vector<kalvo::CallerRule> rules = store.rules(&ok);
    if (!ok) {
        print(err, "kalvo: " + store.lastError());
        return 1;
    }
    const QDate today = QDate::currentDate();
    // The greeting column is there only when a rule has its own greeting.
    const bool greetings = std::any_of(
        rules.begin(), rules.end(), [](const kalvo::CallerRule& rule) { return !rule.greeting.isEmpty(); });
    print(out, QString("kind\tnumber\tname\tnote\ttoday\ttotal") + (greetings ? "\tgreeting" : ""));
    for (const kalvo::CallerRule& rule : rules)
        print(out, rule.kindText() + '\t' + flat(rule.number) + '\t' + flat(rule.shownName()) + '\t' +
                       flat(rule.note) + '\t' + QString::number(rule.today(today)) + '\t' +
                       QString::number(rule.countTotal) +
                       (greetings ? '\t' + flat(rule.greeting) : QString()));
    print(out, QString::number(rules.size()) + (rules.size() == 1 ? " rule" : " rules"));
    return 0;
}

} // namespace

bool isRulesCommand(const QStringList& arguments)
{
    return !arguments.isEmpty() &&
           (arguments.first() == "--rules-list" || arguments.first() == "--rules-import" ||
            arguments.first() == "--rules-export");
}

int run(const QStringList& arguments, const QString& callsFolder, std::FILE* out, std::FILE* err)
{
    const QString command = arguments.value(0);
    const bool takesFile = command != "--rules-list";
    if (!isRulesCommand(arguments) || arguments.size() != (takesFile ? 2 : 1) ||
        (takesFile && arguments[1].isEmpty())) {
        print(err, "usage: kalvo --rules-list | --rules-import FILE | --rules-export FILE");
        return 2;
    }
    // A file that does not read is refused before the database is touched.
    RulesCsv::ReadResult imported;
    if (command == "--rules-import") {
        imported = RulesCsv::readFile(arguments[1]);
        if (!imported.ok()) {
            print(err, "kalvo: nothing imported: " + imported.error);
            return 1;
        }
    }
    kalvo::CallerRuleStore store;
    if (!store.open(callsFolder)) {
        print(err, "kalvo: the caller rules cannot be opened: " + store.lastError());
        return 1;
    }
    if (command == "--rules-list")
        return list(store, out, err);
    if (command == "--rules-import") {
        if (!store.addAll(imported.rules)) {
            print(err, "kalvo: nothing imported: " + store.lastError());
            return 1;
        }
        const std::size_t all = store.rules().size();
        print(out, "Imported " + QString::number(imported.rules.size()) + " rules from " + arguments[1] +
                       " (" + QString::number(all) + " rules in all)");
        return 0;
    }
    bool ok = false;
    const std::vector<kalvo::CallerRule> rules = store.rules(&ok);
    const QString failed = ok ? RulesCsv::writeFile(arguments[1], rules) : store.lastError();
    if (!failed.isEmpty()) {
        print(err, "kalvo: nothing exported: " + failed);
        return 1;
    }
    print(out, "Exported " + QString::number(rules.size()) + " rules to " + arguments[1]);
    return 0;
}

} // namespace RulesCommandLine
