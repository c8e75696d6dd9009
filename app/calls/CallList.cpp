// The call list.
#include "CallList.h"

#include "LocaleText.h"

#include "CallDatabase.h"
#include "CallListModel.h"
#include "ErrorTrap.h"
#include "MessageBox.h"
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
#include <array>

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
const char* const kRecordFields[] = {"Call_Name", "Call_Number", "Call_Time", "Call_Date",
                                     "Call_Massage_Name"};

} // namespace

CallList::CallList(kalvo::CallDatabase& db, const MainOptions& options, mdlLog& log, QWidget* parent)
    : QObject(parent), m_db(db), m_options(options), m_log(log), m_model(new CallListModel(this)),
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
    ErrorTrap trap("ErrmakeList ", [this](const QString& l) { logError(l); });
    m_total = 0;
    m_unread = 0;
    CallRows rows;
    const bool readWhole = trap.step([&] {
        const int count = m_db.RecordCount();
        rows.reserve(static_cast<size_t>(count), static_cast<size_t>(count) * 64);
        // Fields in the Query array's column order, 0-based.
        const int type = m_db.FieldIndex("Type") - 1;
        const int read = m_db.FieldIndex("Read") - 1;
        const int message = m_db.FieldIndex("Call_Massage_Name") - 1;
        const int date = m_db.FieldIndex("Call_Date") - 1;
        const int time = m_db.FieldIndex("Call_Time") - 1;
        const int number = m_db.FieldIndex("Call_Number") - 1;
        const int name = m_db.FieldIndex("Call_Name") - 1;
        const auto field = [](const kalvo::CallDatabase::RecordTexts& texts, int column) {
            return texts[static_cast<size_t>(column)];
        };
        // Read one by one into the compact rows; the model shows the last record first.
        m_db.ForEachRecord([&](const kalvo::CallDatabase::RecordTexts& texts) {
            const std::string_view typeText = field(texts, type);
            const bool hasMessage = typeText != "-1";
            const bool rowRead = field(texts, read) == "1";
            if (!rowRead)
                ++m_unread;
            const int icon = hasMessage ? (rowRead ? 3 : 1) : (rowRead ? 4 : 2);
            rows.append({hasMessage ? field(texts, message) : std::string_view(),
                         hasMessage ? typeText : std::string_view(), field(texts, date), field(texts, time),
                         field(texts, number), field(texts, name)},
                        icon);
        });
        m_total = m_db.RecordCount();
    });
    // A list that could not be read whole is shown empty, as before it was read.
    if (!readWhole) {
        rows = CallRows();
        m_total = 0;
        m_unread = 0;
    }
    m_model->setRows(std::move(rows));
    if (rowCount() > 0)
        select(1);
    emit countersChanged(m_total, m_unread);
}

void CallList::addNewest()
{
    int count = 0;
    std::array<QByteArray, 7> texts;
    const bool read = ErrorTrap("ErrmakeList ", [this](const QString& l) { logError(l); }).step([&] {
        count = m_db.RecordCount();
        if (count < 1)
            return;
        m_db.MoveTo(count);
        size_t at = 0;
        for (const char* field :
             {"Type", "Read", "Call_Massage_Name", "Call_Date", "Call_Time", "Call_Number", "Call_Name"})
            texts[at++] = m_db.GetField(field).toUtf8();
    });
    // Anything but exactly one new record (other calls stored meanwhile, a record gone) is shown by
    // reading the whole list again.
    if (!read || count != m_model->rowCount() + 1 || count != m_total + 1) {
        makeList();
        return;
    }
    const auto view = [&](size_t at) {
        return std::string_view(texts[at].constData(), size_t(texts[at].size()));
    };
    const bool hasMessage = view(0) != "-1";
    const bool rowRead = view(1) == "1";
    m_model->addNewest({hasMessage ? view(2) : std::string_view(), hasMessage ? view(0) : std::string_view(),
                        view(3), view(4), view(5), view(6)},
                       hasMessage ? (rowRead ? 3 : 1) : (rowRead ? 4 : 2));
    ++m_total;
    if (!rowRead)
        ++m_unread;
    select(1);
    emit countersChanged(m_total, m_unread);
}

void CallList::MarkAsReadUnRead(int position, bool markRead)
{
    if (position < 1 || position > rowCount())
        return;
    const int icon = iconAt(position);
    if (markRead ? (icon != 1 && icon != 2) : (icon != 3 && icon != 4))
        return;
    ErrorTrap trap("ErrMarkAsReadUnRead ", [this](const QString& l) { logError(l); });
    const int record = rowCount() - position + 1;
    // Until the record says otherwise, the row tells whether the call has a message.
    QString type = keyAt(position).isEmpty() ? QStringLiteral("-1") : m_model->row(position - 1).length;
    trap.step([&] {
        m_db.MoveTo(record);
        m_db.Edit();
        type = m_db.GetField("Type");
        for (const char* field : kRecordFields)
            m_db.SetField(field, m_db.GetField(field));
        m_db.SetField("Type", type);
        m_db.SetField("Read", QString(markRead ? "1" : "0"));
        m_db.Update();
    });
    const bool hasMessage = type != QLatin1String("-1");
    m_model->setIcon(position - 1, markRead ? (hasMessage ? 3 : 4) : (hasMessage ? 1 : 2));
    if (markRead) {
        if (m_unread >= 1) {
            --m_unread;
            emit countersChanged(m_total, m_unread);
        }
    } else {
        ++m_unread;
        emit countersChanged(m_total, m_unread);
    }
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
        ErrorTrap("ErrToolbar1ButtonClick ", [this](const QString& l) { logError(l); }).step([this] {
            m_db.DeleteAll();
        });
        makeList();
    });
}
