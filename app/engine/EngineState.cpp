// Helpers of the engine's context.
#include "EngineState.h"

#include "Settings.h"
#include "mdlLog.h"

QString EngineContext::messagesFolder() const
{
    QString folder = settings.engine.MessagesPath;
    if (!folder.endsWith('/'))
        folder += '/';
    return folder;
}

void EngineContext::sysLog(const QString& line) const
{
    log.WriteSysLog(line);
}

QString EngineContext::lineTag() const
{
    return "[LineIndex:" + QString::number(state.LineIndex) + "]";
}

void EngineContext::tellProblem(const QString& cause, const QString& text) const
{
    if (problem)
        problem(cause, text);
}

void EngineContext::tellSolved(const QString& cause) const
{
    if (solved)
        solved(cause);
}
