// The window's command table.
#include "CommandTable.h"

void CommandTable::bind(std::initializer_list<std::pair<QString, Handler>> commands)
{
    for (const auto& [name, handler] : commands)
        m_handlers.insert(name, handler);
}

bool CommandTable::run(const QString& name) const
{
    const auto found = m_handlers.constFind(name);
    if (found == m_handlers.constEnd())
        return false;
    // A copy: a handler may bind again while it runs.
    const Handler handler = found.value();
    handler();
    return true;
}
