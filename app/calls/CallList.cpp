// The call list.
#include "CallList.h"

#include "LocaleText.h"

#include "CallListModel.h"
#include "ErrorTrap.h"
#include "MessageBox.h"
#include "MessageStore.h"
#include "Settings.h"
#include "mdlLog.h"

#include <QCursor>
#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QShortcut>
#include <QTableView>

namespace {
// Column headers and widths in twips, in column order.
struct Column
{
    const char* header;
    int twips;
};
constexpr Column kColumns[] = {{"Type", 400},  {"Length", 500},  {"Date", 1000},
                               {"Time", 1000}, {"Number", 1800}, {"Name", 1600}};
constexpr int kTwipsPerPixel = 15;

// The list's icon: 1 message unread, 2 no message unread, 3 message read, 4 no message read.
int iconOf(bool hasMessage, bool read)
{
    return hasMessage ? (read ? 3 : 1) : (read ? 4 : 2);
}

} // namespace

CallList::CallList(MessageStore& store, const MainOptions& options, mdlLog& log, QWidget* parent)
    : QObject(parent), m_store(store), m_options(options), m_log(log), m_model(new CallListModel(this)),
      m_view(new QTableView(parent))
{
    m_view->setObjectName("ListView1");
    m_view->setAccessibleName("Calls");
    m_view->setModel(m_model);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_view->setWordWrap(false);
    m_view->horizontalHeader()->setHighlightSections(false);
    m_view->horizontalHeader()->setStretchLastSection(true);
    // Fixed row heights keep the view fast whatever the number of rows.
    QHeaderView* rows = m_view->verticalHeader();
    rows->setVisible(false);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    buildMenus(parent);
    connect(&m_store, &MessageStore::countsChanged, this, &CallList::countersChanged);

    connect(m_view, &QTableView::clicked, this, [this] { ListView1_Click(); });
    connect(m_view, &QTableView::doubleClicked, this, [this] { ListView1_DblClick(); });
    // Space or Enter on the list plays from the selected call, as the player's "Play" does.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Space), QKeySequence(Qt::Key_Return)}) {
        auto* shortcut = new QShortcut(key, m_view, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (m_player)
                m_player->playButton();
        });
    }
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        // Qt reports the secondary button here, swapped buttons included.
        const QModelIndex index = m_view->indexAt(at);
        if (!index.isValid())
            return;
        select(index.row() + 1);
        ListView1_ItemClick(true);
    });
}

CallList::~CallList() = default;

void CallList::logError(const QString& line) const
{
    m_log.WriteSysLog(line);
}

void CallList::setGridLines(bool on)
{
    m_view->setShowGrid(on);
}

void CallList::buildMenus(QWidget* parent)
{
    auto add = [this](QMenu* menu, const char* name, const QString& text, auto slot) {
        QAction* action = menu->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, slot);
    };
    m_rightClick = new QMenu(parent);
    m_rightClick->setObjectName("mnuRightClick");
    add(m_rightClick, "mnuRCPlay", "Play", [this] {
        if (m_player)
            m_player->playButton();
    });
    add(m_rightClick, "mnuTCStop", "Stop", [this] {
        if (m_player)
            m_player->stopButton();
    });
    m_rightClick->addSeparator();
    add(m_rightClick, "mnuRCSave", "Save As", [this] {
        if (m_player)
            m_player->saveSelected();
    });
    // Both menus end alike: Delete, then the two read marks; only the items' names differ.
    const auto deleteAndMarks = [&](QMenu* menu, const char* del, const char* unread, const char* read) {
        add(menu, del, "Delete", [this] { DeleteCommand(); });
        menu->addSeparator();
        add(menu, unread, "Mark as unread", [this] { MarkAsReadUnRead(selectedPosition(), false); });
        add(menu, read, "Mark as read", [this] { MarkAsReadUnRead(selectedPosition(), true); });
    };
    deleteAndMarks(m_rightClick, "mnuRCDelete", "mnuMarkasunread", "mnuRCMarkAsRead");

    m_noMessageRightClick = new QMenu(parent);
    m_noMessageRightClick->setObjectName("mnuNoMessageRightClick");
    deleteAndMarks(m_noMessageRightClick, "mnuNoMesDelete", "mnuNoMesMarkasunread", "mnuNoMesMarkasRead");

    // Both menus end with the caller rules for the selected call's number.
    const auto ruleItems = [&](QMenu* menu, const char* block, const char* allow) {
        menu->addSeparator();
        for (const bool allowing : {false, true}) {
            add(menu, allowing ? allow : block, allowing ? "Always allow this number" : "Block this number",
                [this, allowing] {
                    const int row = selectedPosition() - 1;
                    if (row >= 0 && row < rowCount())
                        emit ruleRequested(allowing, m_model->index(row, 5).data().toString(),
                                           m_model->index(row, 4).data().toString());
                });
        }
    };
    ruleItems(m_rightClick, "mnuRCBlock", "mnuRCAllow");
    ruleItems(m_noMessageRightClick, "mnuNoMesBlock", "mnuNoMesAllow");
}

void CallList::RangeListTitle()
{
    ErrorTrap("ErrRangeListTitle ", [this](const QString& l) { logError(l); }).step([this] {
        QStringList headers;
        for (const Column& column : kColumns)
            headers << column.header;
        m_model->setHeaders(headers);
        // The widths were set for a small system font; a column is never narrower than its title,
        // and the date and time columns hold a whole date and time of the locale, in the bold of an
        // unread call.
        QFont bold = m_view->font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        const int padding = 2 * metrics.averageCharWidth() + 8;
        for (int i = 0; i < headers.size(); ++i) {
            int width =
                std::max(kColumns[i].twips / kTwipsPerPixel, metrics.horizontalAdvance(headers[i]) + padding);
            if (headers[i] == QLatin1String("Date"))
                width = std::max(
                    width, metrics.horizontalAdvance(LocaleText::shortDate(QDate(2026, 12, 28))) + padding);
            if (headers[i] == QLatin1String("Time"))
                width = std::max(width,
                                 metrics.horizontalAdvance(LocaleText::timeWithSeconds(QTime(23, 59, 59))) +
                                     padding);
            if (headers[i] == QLatin1String("Length"))
                width = std::max(width, metrics.horizontalAdvance("0000.00") + padding);
            m_view->setColumnWidth(i, width);
        }
    });
}

void CallList::makeList()
{
    CallRows rows;
    rows.reserve(size_t(m_store.total()), size_t(m_store.total()) * 64);
    // Read one by one into the compact rows; the model shows the last record first.
    const bool readWhole = m_store.readAll(
        [&](qint64 id, const MessageStore::Texts& call) {
            const bool hasMessage = call.type != "-1";
            rows.append({hasMessage ? call.messageFile : std::string_view(),
                         hasMessage ? call.type : std::string_view(), call.date, call.time, call.number,
                         call.name},
                        iconOf(hasMessage, call.read == "1"), id);
        },
        ErrorTrap("ErrmakeList ", [this](const QString& l) { logError(l); }));
    // A list that could not be read whole is shown empty, as before it was read.
    if (!readWhole)
        rows = CallRows();
    m_model->setRows(std::move(rows));
    if (rowCount() > 0)
        select(1);
}

void CallList::addNewest()
{
    // Anything but exactly one new call (other calls stored meanwhile, a call gone) is shown by
    // reading the whole list again.
    const std::optional<MessageStore::Call> newest =
        m_model->rowCount() == m_store.total()
            ? m_store.takeNewest(ErrorTrap("ErrmakeList ", [this](const QString& l) { logError(l); }))
            : std::nullopt;
    if (!newest) {
        makeList();
        return;
    }
    const QByteArray key = newest->messageFile.toUtf8(), length = newest->type.toUtf8(),
                     date = newest->date.toUtf8(), time = newest->time.toUtf8(),
                     number = newest->number.toUtf8(), name = newest->name.toUtf8();
    const auto view = [](const QByteArray& text) {
        return std::string_view(text.constData(), size_t(text.size()));
    };
    const bool hasMessage = newest->hasMessage();
    m_model->addNewest({hasMessage ? view(key) : std::string_view(),
                        hasMessage ? view(length) : std::string_view(), view(date), view(time), view(number),
                        view(name)},
                       iconOf(hasMessage, newest->isRead()), newest->id);
    select(1);
}

void CallList::MarkAsReadUnRead(int position, bool markRead)
{
    if (position < 1 || position > rowCount())
        return;
    const int icon = iconAt(position);
    if (markRead ? (icon != 1 && icon != 2) : (icon != 3 && icon != 4))
        return;
    // Until the record says otherwise, the row tells whether the call has a message.
    QString type = keyAt(position).isEmpty() ? QStringLiteral("-1") : m_model->row(position - 1).length;
    m_store.setRead(idAt(position), markRead, &type);
    m_model->setIcon(position - 1, iconOf(type != QLatin1String("-1"), markRead));
}

int CallList::rowCount() const
{
    return m_model->rowCount();
}

int CallList::selectedPosition() const
{
    const QModelIndex current = m_view->selectionModel()->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

void CallList::select(int position)
{
    if (position < 1 || position > rowCount())
        return;
    const QModelIndex index = m_model->index(position - 1, 0);
    m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
    m_view->scrollTo(index);
}

QString CallList::keyAt(int position) const
{
    if (position < 1 || position > rowCount())
        return {};
    return m_model->key(position - 1);
}

qint64 CallList::idAt(int position) const
{
    if (position < 1 || position > rowCount())
        return 0;
    return m_model->id(position - 1);
}

bool CallList::selectId(qint64 id)
{
    const int index = m_model->indexOf(id);
    if (index >= 0)
        select(index + 1);
    return index >= 0;
}

int CallList::totalCalls() const
{
    return m_store.total();
}

int CallList::unreadCalls() const
{
    return m_store.unread();
}

QString CallList::lengthAt(int position) const
{
    return position < 1 || position > rowCount() ? QString() : m_model->row(position - 1).length;
}

int CallList::iconAt(int position) const
{
    if (position < 1 || position > rowCount())
        return 0;
    return m_model->icon(position - 1);
}

void CallList::selectionFollowUp()
{
    if (m_player)
        m_player->resetPlayer();
    const int position = selectedPosition();
    if (position == 0)
        return;
    if (m_player)
        m_player->stopIfPlaying();
    // A call without a message has nothing more to hear: selecting it reads it. A message stays
    // unread until it is played.
    if (keyAt(position).isEmpty())
        MarkAsReadUnRead(position, true);
}

void CallList::ListView1_Click()
{
    if (m_remoteActive && m_remoteActive())
        return;
    ErrorTrap("ErrListView1_Click ", [this](const QString& l) { logError(l); }).step([this] {
        const int position = selectedPosition();
        if (rowCount() > 0 && position > 0 && m_view->selectionModel()->isRowSelected(position - 1, {}))
            selectionFollowUp();
    });
}

void CallList::ListView1_ItemClick(bool secondaryButton)
{
    ErrorTrap("ErrListView1_ItemClick ", [this](const QString& l) { logError(l); }).step([&] {
        if (!secondaryButton)
            return;
        QMenu* menu = selectedKey().isEmpty() ? m_noMessageRightClick : m_rightClick;
        // Only the mark that changes something is offered.
        const bool unread = iconAt(selectedPosition()) <= 2;
        const QList<QAction*> items = menu->actions();
        for (QAction* item : items) {
            if (item->text() == QLatin1String("Mark as read"))
                item->setVisible(unread);
            else if (item->text() == QLatin1String("Mark as unread"))
                item->setVisible(!unread);
        }
        menu->popup(QCursor::pos());
    });
}

void CallList::ListView1_DblClick()
{
    const int position = selectedPosition();
    if (rowCount() > 0 && position > 0 && m_player)
        m_player->playButton();
}

void CallList::Next()
{
    const int position = selectedPosition();
    if (rowCount() > 0 && position < rowCount())
        select(position + 1);
    selectionFollowUp();
}

void CallList::Back()
{
    const int position = selectedPosition();
    if (rowCount() > 0 && position >= 2)
        select(position - 1);
    selectionFollowUp();
}

void CallList::First()
{
    if (rowCount() > 0)
        select(1);
}

void CallList::Last()
{
    if (rowCount() > 0)
        select(rowCount());
}

void CallList::DeleteCommand()
{
    ErrorTrap("ErrToolbar1ButtonClick ", [this](const QString& l) { logError(l); }).step([this] {
        const int position = selectedPosition();
        if (rowCount() == 0 || position == 0)
            return;
        if (m_options.WornDelete != 0 &&
            MessageBox::show("Delete Call " + QString::number(position) + " Information ?",
                             MessageBox::YesNo | MessageBox::Information) != MessageBox::Yes)
            return;
        if (m_player)
            m_player->DeleteItemIndex(position);
        makeList();
    });
}

void CallList::ClearCommand()
{
    ErrorTrap("ErrToolbar1ButtonClick ", [this](const QString& l) { logError(l); }).step([this] {
        if (rowCount() == 0)
            return;
        if (m_options.WornClear != 0 &&
            MessageBox::show("Clear Calls List ?", MessageBox::YesNo | MessageBox::Information |
                                                       MessageBox::DefaultButton2) != MessageBox::Yes)
            return;
        if (m_player)
            m_player->stopIfPlaying();
        // The message files stay on disk; only the records go.
        m_store.clear();
        makeList();
    });
}
