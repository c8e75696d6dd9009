// Helpers of the engine's context.
#include "EngineState.h"

#include "MessageStore.h"

#include "Settings.h"
#include "mdlLog.h"

QString EngineContext::messagesFolder() const
{
    return MessageStore::folderOf(settings.engine.MessagesPath);
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
