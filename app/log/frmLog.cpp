// The log viewer.
#include "frmLog.h"

#include "ErrorTrap.h"
#include "MessageBox.h"
#include "PlainDialog.h"
#include "SettingsLoader.h"
#include "frmLogProp.h"
#include "mdlLog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>

namespace {
// Fills the list with the log files of a kind, handling user-interface events between names.
void ListLogFiles(const mdlLog& log, QListWidget& list, const QString& kind)
{
    list.clear();
    for (const QString& name : log.logFileNames(kind)) {
        list.addItem(name);
        QCoreApplication::processEvents();
    }
}

QPushButton* button(const QString& text, const char* name, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAccessibleName(text);
    b->setAutoDefault(false);
    return b;
}
} // namespace

frmLog::frmLog(mdlLog& log, std::function<void(const QString&)> saveFile, QWidget* parent)
    : QDialog(parent), m_log(log), m_saveFile(std::move(saveFile)), m_whatToShow(new QComboBox(this)),
      m_list1(new QListWidget(this)), m_list2(new QListWidget(this))
{
    setObjectName("frmLog");
    makePlainDialog(*this);
    setWindowTitle("Kalvo - Log");
    setModal(true);
    m_whatToShow->setObjectName("cmbWhatToShow");
    m_whatToShow->setAccessibleName("Logs to show");
    m_whatToShow->addItems({"All", "Calls", "System"});
    m_list1->setObjectName("List1");
    m_list1->setAccessibleName("Date");
    m_list2->setObjectName("List2");
    m_list2->setAccessibleName("Details");
    m_list2->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list2->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list2->setUniformItemSizes(true);

    auto* date = new QLabel("Date:", this);
    date->setObjectName("lblDate");
    date->setBuddy(m_list1);
    auto* details = new QLabel("Details:", this);
    details->setObjectName("lblDetails");
    details->setBuddy(m_list2);
    auto* del = button("Delete", "cmdDelete", this);
    auto* saveAs = button("Save As", "cmdSaveAs", this);
    auto* prop = button("Properties", "cmdProp", this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_whatToShow, 0, 0);
    grid->addWidget(date, 1, 0);
    grid->addWidget(details, 1, 1);
    grid->addWidget(m_list1, 2, 0);
    grid->addWidget(m_list2, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(del);
    buttons->addWidget(saveAs);
    buttons->addStretch(1);
    buttons->addWidget(prop);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);
    m_list1->setFixedWidth(m_list1->fontMetrics().horizontalAdvance("00-00-0000_Calls.txt") + 40);
    resize(640, 420);

    ApplyLogRetention();
    m_whatToShow->setCurrentIndex(0);
    ListLogFiles(m_log, *m_list1, "All");

    connect(m_whatToShow, &QComboBox::activated, this, [this] { cmbWhatToShowClick(); });
    connect(m_list1, &QListWidget::currentRowChanged, this, [this] { List1Click(); });
    connect(del, &QPushButton::clicked, this, &frmLog::cmdDeleteClick);
    connect(saveAs, &QPushButton::clicked, this, &frmLog::cmdSaveAsClick);
    connect(prop, &QPushButton::clicked, this, &frmLog::cmdPropClick);
}

void frmLog::logLine(const QString& line) const
{
    m_log.WriteSysLog(line);
}

void frmLog::ApplyLogRetention()
{
    ErrorTrap("ErrApplyLogRetention ", [this](const QString& l) { logLine(l); }).step([&] {
        const int months = mdlLog::monthsToKeep(SettingsLoader::GetLogProperties().LogFor);
        if (months != 0)
            m_log.PurgeLogs(months);
    });
}

void frmLog::cmbWhatToShowClick()
{
    ErrorTrap("ErrcmbWhatToShow_Click ", [this](const QString& l) { logLine(l); }).step([&] {
        ListLogFiles(m_log, *m_list1, m_whatToShow->currentText());
    });
}

QString frmLog::chosenName() const
{
    const QListWidgetItem* item = m_list1->currentItem();
    return item ? item->text() : QString();
}

void frmLog::List1Click()
{
    const QString name = chosenName();
    if (name.isEmpty())
        return;
    ErrorTrap("ErrList1_Click ", [this](const QString& l) { logLine(l); }).step([&] {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        if (QStringList lines; m_log.ReadLogFile(name, lines)) {
            m_list2->clear();
            m_list2->addItems(lines);
        }
        const QFontMetrics metrics(m_list2->font());
        int widest = 0;
        for (int i = 0; i < m_list2->count(); ++i)
            widest = std::max(widest, metrics.horizontalAdvance(m_list2->item(i)->text()));
        m_extent = widest + 50;
        // The rows are as wide as the extent, so the scroll bar reaches the end of the longest line.
        if (m_list2->count() > 0)
            m_list2->item(0)->setSizeHint(QSize(m_extent, metrics.height() + 2));
        QGuiApplication::restoreOverrideCursor();
    });
}

void frmLog::cmdDeleteClick()
{
    const QString name = chosenName();
    if (name.isEmpty())
        return;
    ErrorTrap("ErrcmdDelete_Click ", [this](const QString& l) { logLine(l); }).step([&] {
        if (SettingsLoader::GetLogProperties().cWornBeforeDelete == 1 &&
            MessageBox::show("Delete " + name + " ?", MessageBox::YesNo, "Kalvo", this) != MessageBox::Yes)
            return;
        m_log.DeleteLogFile(name);
        ListLogFiles(m_log, *m_list1, m_whatToShow->currentText());
        m_list2->clear();
        m_extent = 0;
    });
}

void frmLog::cmdSaveAsClick()
{
    const QString name = chosenName();
    if (name.isEmpty() || !mdlLog::isLogFileName(name))
        return;
    ErrorTrap("ErrcmdSaveAs_Click ", [this](const QString& l) { logLine(l); }).step([&] {
        if (m_saveFile)
            m_saveFile(m_log.folder() + name);
    });
}

void frmLog::cmdPropClick()
{
    frmLogProp properties(
        m_log, [this] { ApplyLogRetention(); }, this);
    properties.exec();
}
