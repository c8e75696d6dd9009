// Where the window's commands meet their handlers: a toolbar key, a quick-strip key, a menu item, a
// tray item or a shortcut is a name, and the table runs the one handler bound to that name.
#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <initializer_list>
#include <utility>

class CommandTable
{
public:
    using Handler = std::function<void()>;

    // Binds each name to its handler; a name bound again takes the new handler.
    void bind(std::initializer_list<std::pair<QString, Handler>> commands);
    // Runs the handler of a name. @return false when nothing is bound to it.
    bool run(const QString& name) const;

private:
    QHash<QString, Handler> m_handlers;
};
