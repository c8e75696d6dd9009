// What the answering engine asks of the call list: a fresh list after a call, and showing the call
// remote access is at. The list on the main window is the one implementation.
#pragma once

#include <QString>
#include <functional>

class MessageList
{
public:
    virtual ~MessageList() = default;

    // Rebuilds every row from the message store, newest first, and selects the top row.
    virtual void makeList() = 0;
    // Shows the store's newest call as the new top row and selects it, without rebuilding the
    // other rows (the end of a call adds one record).
    virtual void addNewest() { makeList(); }
    // Selects the row of a call (its id in the message store) and scrolls to it. @return false when
    // the call is not listed.
    virtual bool selectId(qint64 id) = 0;
    // While active returns true (remote access in progress) the user's clicks on the list are ignored.
    virtual void setRemoteAccessActive(std::function<bool()> active) = 0;
};
