// Writing and reading the caller rules' CSV form.
#include "RulesCsv.h"

#include "RuleMatcher.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>

namespace RulesCsv {

namespace {

// A spreadsheet takes a field that starts with one of these for a formula and runs it.
bool formulaStart(QChar c)
{
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

// True for a text written with a leading "'" so a spreadsheet shows it as text: a formula-looking
// text, and one that already starts with "'" before such a character or another "'" (so reading
// removes exactly the one "'" writing added).
bool guarded(const QString& text)
{
    if (text.isEmpty())
        return false;
    if (formulaStart(text.front()))
        return true;
    return text.size() > 1 && text.front() == '\'' && (formulaStart(text[1]) || text[1] == '\'');
}

// A field as read, without the "'" that writing put before it.
QString unguarded(const QString& text)
{
    return guarded(text.mid(1)) && text.startsWith('\'') ? text.mid(1) : text;
}

QByteArray field(const QString& plain)
{
    const QString text = guarded(plain) ? "'" + plain : plain;
    QByteArray utf8 = text.toUtf8();
    const bool quote = utf8.contains(',') || utf8.contains('"') || utf8.contains('\n') ||
                       utf8.contains('\r') || text != text.trimmed();
    if (!quote)
        return utf8;
    return '"' + utf8.replace("\"", "\"\"") + '"';
}

// Splits the text into records of fields; each record remembers the line it starts on.
struct Record
{
    int line = 0;
    QStringList fields;
};

class Parser
{
public:
    explicit Parser(const QByteArray& text) : m_text(text)
    {
        if (m_text.startsWith("\xEF\xBB\xBF"))
            m_at = 3;
    }

    // The next record; false at the end or on a fault (then error is set).
    bool next(Record& record)
    {
        record = Record{};
        while (m_at < m_text.size() && (m_text[m_at] == '\n' || m_text[m_at] == '\r'))
            newline(); // blank lines are no records
        if (m_at >= m_text.size())
            return false;
        record.line = m_line;
        for (;;) {
            QString value;
            if (!readField(value))
                return false;
            record.fields << value;
            if (m_at >= m_text.size())
                return true;
            if (m_text[m_at] == ',') {
                ++m_at;
                continue;
            }
            newline();
            return true;
        }
    }
    QString error;
    int errorLine = 0;

private:
    void newline()
    {
        if (m_text[m_at] == '\r' && m_at + 1 < m_text.size() && m_text[m_at + 1] == '\n')
            ++m_at;
        ++m_at;
        ++m_line;
    }
    bool fail(const QString& why, int line)
    {
        error = why;
        errorLine = line;
        return false;
    }
    bool readField(QString& value)
    {
        QByteArray bytes;
        if (m_at < m_text.size() && m_text[m_at] == '"') {
            const int startLine = m_line;
            ++m_at;
            for (;;) {
                if (m_at >= m_text.size())
                    return fail("a quoted field is not closed", startLine);
                const char c = m_text[m_at++];
                if (c == '"') {
                    if (m_at < m_text.size() && m_text[m_at] == '"') {
                        bytes += '"';
                        ++m_at;
                        continue;
                    }
                    break;
                }
                if (c == '\n')
                    ++m_line;
                bytes += c;
            }
            if (m_at < m_text.size() && m_text[m_at] != ',' && m_text[m_at] != '\n' && m_text[m_at] != '\r')
                return fail("text after a closing quote", m_line);
        } else {
            while (m_at < m_text.size() && m_text[m_at] != ',' && m_text[m_at] != '\n' &&
                   m_text[m_at] != '\r') {
                if (m_text[m_at] == '"')
                    return fail("a quote inside an unquoted field", m_line);
                bytes += m_text[m_at++];
            }
        }
        // Line breaks inside a field are kept as the file had them, except that CR LF becomes LF.
        value = QString::fromUtf8(bytes.replace("\r\n", "\n"));
        return true;
    }

    const QByteArray& m_text;
    qsizetype m_at = 0;
    int m_line = 1;
};

} // namespace

QByteArray write(const std::vector<kalvo::CallerRule>& rules)
{
    const bool greetings = std::any_of(
        rules.begin(), rules.end(), [](const kalvo::CallerRule& rule) { return !rule.greeting.isEmpty(); });
    QByteArray out =
        QByteArray(kHeader) + (greetings ? QByteArray(",") + kGreetingField : QByteArray()) + "\r\n";
    for (const kalvo::CallerRule& rule : rules) {
        out += field(rule.number) + ',' + field(rule.shownName()) + ',' + rule.kindText().toUtf8() + ',' +
               field(rule.note) + (greetings ? ',' + field(rule.greeting) : QByteArray()) + "\r\n";
    }
    return out;
}

ReadResult read(const QByteArray& text)
{
    ReadResult result;
    Parser parser(text);
    Record record;
    auto refuse = [&result](int line, const QString& why) {
        result.rules.clear();
        result.line = line;
        result.error = "line " + QString::number(line) + ": " + why;
        return result;
    };
    if (!parser.next(record)) {
        if (!parser.error.isEmpty())
            return refuse(parser.errorLine, parser.error);
        return refuse(1, "the file is empty; the first line must be \"" + QString(kHeader) + "\"");
    }
    QStringList header;
    for (const QString& name : record.fields)
        header << name.trimmed().toLower();
    const bool greetings = header.join(',') == QLatin1String(kHeader) + ',' + kGreetingField;
    if (header.join(',') != QLatin1String(kHeader) && !greetings)
        return refuse(record.line, "the first line must be \"" + QString(kHeader) + "\"");
    while (parser.next(record)) {
        if (record.fields.size() != (greetings ? 5 : 4))
            return refuse(record.line,
                          QString::number(record.fields.size()) + " fields where number, name, kind" +
                              (greetings ? ", note and greeting" : " and note") + " were expected");
        kalvo::CallerRule rule;
        rule.number = unguarded(record.fields[0].trimmed());
        const QString name = unguarded(record.fields[1]);
        if (!rule.setKindText(record.fields[2]))
            return refuse(record.line, "the kind \"" + record.fields[2] +
                                           "\" is none of block, allow, block-name and allow-name");
        // Files of earlier versions wrote a name rule as a block or allow rule without a number.
        if (rule.match == kalvo::CallerRule::Match::Number && rule.number.isEmpty() &&
            !name.trimmed().isEmpty())
            rule.match = kalvo::CallerRule::Match::Name;
        (rule.match == kalvo::CallerRule::Match::Name ? rule.name : rule.label) = name;
        rule.note = unguarded(record.fields[3]);
        if (greetings)
            rule.greeting = unguarded(record.fields[4].trimmed());
        const QString wrong = RuleMatcher::ruleError(rule);
        if (!wrong.isEmpty())
            return refuse(record.line, wrong);
        result.rules.push_back(rule);
    }
    if (!parser.error.isEmpty())
        return refuse(parser.errorLine, parser.error);
    return result;
}

ReadResult readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ReadResult failed;
        failed.error = path + ": " + file.errorString();
        return failed;
    }
    ReadResult result = read(file.readAll());
    if (!result.ok())
        result.error = path + ": " + result.error;
    return result;
}

QString writeFile(const QString& path, const std::vector<kalvo::CallerRule>& rules)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return path + ": " + file.errorString();
    file.write(write(rules));
    if (!file.commit())
        return path + ": " + file.errorString();
    return QString();
}

} // namespace RulesCsv
