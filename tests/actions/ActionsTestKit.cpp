// The recording script's records and the action settings.
#include "ActionsTestKit.h"

#include <QDir>
#include <QFile>

namespace kalvo::test {

ScriptStarts::ScriptStarts() : m_env("KALVO_TEST_STARTS", m_dir.path().toLocal8Bit()) {}

QString ScriptStarts::script()
{
    return sourcePath("tests/actions/record-args.sh");
}

std::vector<ScriptStart> ScriptStarts::starts() const
{
    std::vector<ScriptStart> result;
    const QDir dir(m_dir.path());
    for (const QString& name : dir.entryList({"start-*.args"}, QDir::Files, QDir::Name)) {
        const QString base = dir.filePath(name.chopped(5));
        auto read = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        ScriptStart start;
        const QString args = read(base + ".args");
        start.arguments = args.split(QChar(0));
        start.arguments.removeLast(); // after the last NUL
        start.sessionId = read(base + ".sid").trimmed();
        start.standardInput = read(base + ".stdin").trimmed();
        start.soundProperties = read(base + ".pulse");
        result.push_back(start);
    }
    return result;
}

std::map<QString, QString> actionSettings(const QString& server, const QString& appTemplate)
{
    return {{"pMailTo", "1"},
            {"MailTo", "owner@example.com"},
            {"SMTPServer", server},
            {"MailFrom", "kalvo@example.com"},
            {"ActionsMailAllCalls", "1"},
            {"pAppTo", "1"},
            {"AppTo", appTemplate},
            {"pAppToBG", "0"},
            {"ActionsAppAllCalls", "1"}};
}

} // namespace kalvo::test
