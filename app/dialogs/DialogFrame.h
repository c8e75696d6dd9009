// The frame the settings dialogs share: the tab strip above, the pages in one panel, and the OK and
// Cancel (or Close) buttons at the bottom right, with their design names.
#pragma once

#include <QList>
#include <QSize>
#include <QString>

class QDialog;
class QFrame;
class QPushButton;
class QTabBar;

namespace DialogFrame {

// Names the tab strip "TabStrip1" (accessible name tabsName) and the buttons "cmdOK" and
// "cmdCancel", lays the pages out below the tabs in one panel, and sizes the dialog.
void layOut(QDialog& dialog, QTabBar* tabs, const QString& tabsName, const QList<QFrame*>& pages,
            QPushButton* ok, QPushButton* cancel, QSize size);

} // namespace DialogFrame
