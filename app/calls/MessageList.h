// What the answering engine asks of the call list: a fresh list after a call, and a walk through
// the messages for remote access. The list on the main window is the one implementation.
#pragma once

#include <QString>
#include <functional>

class MessageList
{
public:
    virtual ~MessageList() = default;

    // Rebuilds every row from the database, newest first, and selects the top row.
    virtual void makeList() = 0;
    // Shows the database's last record as the new top row and selects it, without rebuilding the
    // other rows (the end of a call adds one record).
    virtual void addNewest() { makeList(); }
    virtual int rowCount() const = 0;
    // Position of the selected row (1 = top), 0 when none.
    virtual int selectedPosition() const = 0;
    // Selects the row at a position and scrolls to it.
    virtual void select(int position) = 0;
    // The message file name of a row; empty for a call without a message.
    virtual QString keyAt(int position) const = 0;
    // While active returns true (remote access in progress) the user's clicks on the list are ignored.
    virtual void setRemoteAccessActive(std::function<bool()> active) = 0;
};
