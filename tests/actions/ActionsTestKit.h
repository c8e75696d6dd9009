// Helpers of the end-of-call tests: the recording script's starts, and the settings that turn the
// mail and program actions on.
#pragma once

#include "TestSupport.h"

#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <vector>

namespace kalvo::test {

// One start of the recording script.
struct ScriptStart
{
    QStringList arguments;
    QString sessionId;
    QString standardInput;
    QString soundProperties; // PULSE_PROP, or "<unset>"
};

// A folder where the recording script leaves one record per start (KALVO_TEST_STARTS points to it
// while the object lives).
class ScriptStarts
{
public:
    ScriptStarts();
    // The script's path, for a template.
    static QString script();
    QString path() const { return m_dir.path(); }
    // Every start recorded so far.
    std::vector<ScriptStart> starts() const;

private:
    QTemporaryDir m_dir;
    ScopedEnv m_env;
};

// Settings for a mail to owner@example.com through server and a program run from appTemplate.
std::map<QString, QString> actionSettings(const QString& server, const QString& appTemplate);

} // namespace kalvo::test
