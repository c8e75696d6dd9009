// The call list ListView1 over the message store: filling it, read and unread marks, navigation,
// the context menus, and deleting and clearing calls with their questions.
#pragma once

#include "MessageList.h"

#include <QObject>
#include <functional>

class CallListModel;
class MessageStore;
class QMenu;
class QTableView;
class QWidget;
class mdlLog;
struct MainOptions;

// What the list asks of the message player (it owns the sound-card playback of messages).
class CallListPlayer
{
public:
    virtual ~CallListPlayer() = default;
    // Slider to 0, progress timer off, list playback flag off.
    virtual void resetPlayer() = 0;
    // Stops sound-card playback if anything is playing.
    virtual void stopIfPlaying() = 0;
    // The player's "Play" and "Stop" buttons, and the "Save" command.
    virtual void playButton() = 0;
    virtual void stopButton() = 0;
    virtual void saveSelected() = 0;
    // Deletes the call at a position (1 = top) and its message file.
    virtual void DeleteItemIndex(int position) = 0;
};

class CallList : public QObject, public MessageList
{
    Q_OBJECT

public:
    // The rows are the calls of store; options supplies "WornDelete" and "WornClear"; parent hosts
    // the view.
    CallList(MessageStore& store, const MainOptions& options, mdlLog& log, QWidget* parent);
    ~CallList() override;

    void setPlayer(CallListPlayer* player) { m_player = player; }
    void setRemoteAccessActive(std::function<bool()> active) override { m_remoteActive = std::move(active); }
    // Grid lines on (Check1 checked) or off.
    void setGridLines(bool on);

    QTableView* view() const { return m_view; }
    CallListModel* model() const { return m_model; }

    // Builds the columns.
    void RangeListTitle();
    void makeList() override;
    void addNewest() override;
    // Marks the row at position (1 = top) read or unread, in the store and in the list.
    void MarkAsReadUnRead(int position, bool markRead);

    int rowCount() const;
    // Position of the selected row (1 = top), 0 when none.
    int selectedPosition() const;
    // Selects the row at a position and scrolls to it.
    void select(int position);
    // The message file name of a row; empty for a call without a message.
    QString keyAt(int position) const;
    QString selectedKey() const { return keyAt(selectedPosition()); }
    int iconAt(int position) const;
    // The stored length (seconds, as the record has it) of the call at a position.
    QString lengthAt(int position) const;
    // The message store's id of the call at a position (0 when there is none), and selecting a
    // call by its id. @return false when the call is not listed.
    qint64 idAt(int position) const;
    bool selectId(qint64 id) override;
    int totalCalls() const;
    int unreadCalls() const;

    // Mouse handling.
    void ListView1_Click();
    void ListView1_ItemClick(bool secondaryButton);
    void ListView1_DblClick();

    // Commands of the toolbar, the Edit and File menus and the context menus.
    void Next();
    void Back();
    void First();
    void Last();
    void DeleteCommand();
    void ClearCommand();
    // Click, Next and Back end with this: reset the player; a message-less row becomes read.
    void selectionFollowUp();

    QMenu* mnuRightClick() const { return m_rightClick; }
    QMenu* mnuNoMessageRightClick() const { return m_noMessageRightClick; }

signals:
    // The message store's counters changed.
    void countersChanged(int total, int unread);
    // "Block this number" or "Always allow this number" on the selected call.
    void ruleRequested(bool allow, const QString& callerName, const QString& callerNumber);

private:
    void buildMenus(QWidget* parent);
    void logError(const QString& line) const;

    MessageStore& m_store;
    const MainOptions& m_options;
    mdlLog& m_log;
    CallListModel* m_model;
    QTableView* m_view;
    QMenu* m_rightClick = nullptr;
    QMenu* m_noMessageRightClick = nullptr;
    CallListPlayer* m_player = nullptr;
    std::function<bool()> m_remoteActive;
};
