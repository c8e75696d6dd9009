// The log viewer: lists the daily log files by kind, shows one, deletes it or saves a copy.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QComboBox;
class QListWidget;
class QPushButton;
class mdlLog;

class frmLog : public QDialog
{
    Q_OBJECT

public:
    // saveFile is the main window's save-a-copy routine, given the full path of the chosen file.
    // Opening applies the retention setting and lists every log file.
    frmLog(mdlLog& log, std::function<void(const QString&)> saveFile, QWidget* parent = nullptr);

    // Deletes the files that the "LogFor" setting no longer keeps; "For Ever!" or absent keeps all.
    void ApplyLogRetention();

    // The width in pixels List2 scrolls to: the widest line's text plus 50.
    int horizontalExtent() const { return m_extent; }

    // The handlers, callable from tests as the controls call them.
    void cmbWhatToShowClick();
    void List1Click();
    void cmdDeleteClick();
    void cmdSaveAsClick();
    void cmdPropClick();

private:
    // The chosen file's name, or empty when none is chosen.
    QString chosenName() const;
    void logLine(const QString& line) const;

    mdlLog& m_log;
    std::function<void(const QString&)> m_saveFile;
    QComboBox* m_whatToShow;
    QListWidget* m_list1;
    QListWidget* m_list2;
    int m_extent = 0;
};
