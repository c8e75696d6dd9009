// The shared frame of the settings dialogs.
#include "DialogFrame.h"

#include "PlainDialog.h"
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

namespace DialogFrame {

void layOut(QDialog& dialog, QTabBar* tabs, const QString& tabsName, const QList<QFrame*>& pages,
            QPushButton* ok, QPushButton* cancel, QSize size)
{
    makePlainDialog(dialog);
    dialog.setModal(true);
    tabs->setObjectName("TabStrip1");
    tabs->setAccessibleName(tabsName);
    ok->setObjectName("cmdOK");
    ok->setAccessibleName(ok->text());
    ok->setDefault(true);
    cancel->setObjectName("cmdCancel");
    cancel->setAccessibleName(cancel->text());

    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(tabs);
    auto* pageArea = new QFrame(&dialog);
    pageArea->setFrameShape(QFrame::StyledPanel);
    auto* pageLayout = new QVBoxLayout(pageArea);
    for (QFrame* page : pages)
        pageLayout->addWidget(page);
    layout->addWidget(pageArea, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    dialog.resize(size);
}

} // namespace DialogFrame
