// The pages of the events dialog.
#include "EventsPages.h"

#include "FrameIcons.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QToolBar>
#include <QVBoxLayout>

namespace {
template <typename W> W* named(W* widget, const char* name, const QString& accessible)
{
    widget->setObjectName(name);
    widget->setAccessibleName(accessible);
    return widget;
}

QToolBar* soundToolbar(const char* name, const QString& accessible, QWidget* parent)
{
    auto* bar = named(new QToolBar(parent), name, accessible);
    bar->setIconSize(QSize(16, 16));
    for (const char* key : {"Play", "Stop", "Add", "Delete"}) {
        QAction* a = bar->addAction(FrameIcons::toolIcon(key), key);
        a->setObjectName(key);
        a->setToolTip(key);
        if (QWidget* w = bar->widgetForAction(a))
            w->setAccessibleName(accessible + " " + key);
    }
    return bar;
}

// "Play Sound:" with its list and toolbar, under a title.
QGroupBox* soundGroup(const QString& title, QCheckBox*& check, const char* checkName, QComboBox*& list,
                      const char* listName, QToolBar*& bar, const char* barName, const QString& what,
                      QWidget* parent)
{
    auto* group = new QGroupBox(title, parent);
    auto* row = new QHBoxLayout(group);
    check = named(new QCheckBox("Play Sound:", group), checkName, "Play sound " + what);
    list = named(new QComboBox(group), listName, "Sound " + what);
    list->setMinimumContentsLength(14);
    bar = soundToolbar(barName, "Sound " + what, group);
    row->addWidget(check);
    row->addWidget(list, 1);
    row->addWidget(bar);
    return group;
}
} // namespace

EventsPages::EventsPages(QWidget* parent)
{
    for (int i = 0; i < 3; ++i) {
        frames[i] = new QFrame(parent);
        frames[i]->setObjectName(QString("Frame%1").arg(i + 1));
    }
    {
        QFrame* f = frames[0];
        auto* box = new QVBoxLayout(f);
        auto* close = new QHBoxLayout;
        chkCloseCVAfter =
            named(new QCheckBox("Close Caller View after", f), "chkCloseCVAfter", "Close Caller View after");
        cmbCloseCVAfter = named(new QComboBox(f), "cmbCloseCVAfter", "Seconds before the caller view closes");
        close->addWidget(chkCloseCVAfter);
        close->addWidget(cmbCloseCVAfter);
        close->addWidget(new QLabel("Sec'", f));
        close->addStretch(1);
        box->addLayout(close);
        chkAnimation = named(new QCheckBox("Animate Caller View", f), "chkAnimation", "Animate Caller View");
        box->addWidget(chkAnimation);
        auto* speed = new QHBoxLayout;
        speed->addWidget(new QLabel("10", f));
        sldAnimationFast = named(new QSlider(Qt::Horizontal, f), "sldAnimationFast", "Animation speed");
        sldAnimationFast->setRange(10, 100);
        sldAnimationFast->setSingleStep(5);
        sldAnimationFast->setPageStep(10);
        sldAnimationFast->setTickPosition(QSlider::TicksBelow);
        sldAnimationFast->setTickInterval(10);
        speed->addWidget(sldAnimationFast, 1);
        speed->addWidget(new QLabel("100", f));
        box->addLayout(speed);
        auto* shows = new QHBoxLayout;
        shows->addWidget(new QLabel("Show Caller View as:", f));
        cmbCallerViewAs = named(new QComboBox(f), "cmbCallerViewAs", "Show Caller View as");
        cmbCallerViewAs->addItems({"Caller Window", "Notification", "Caller Window and Notification"});
        cmbCallerViewAs->setToolTip("Without a notification service the caller window is used; where "
                                    "windows cannot place themselves (Wayland) the notification is used");
        shows->addWidget(cmbCallerViewAs);
        shows->addStretch(1);
        box->addLayout(shows);
        auto* test = new QHBoxLayout;
        cmdTestViewer = named(new QPushButton("Test", f), "cmdTestViewer", "Test the caller view");
        cmdTestViewer->setToolTip("Show the caller view with these settings");
        test->addStretch(1);
        test->addWidget(cmdTestViewer);
        box->addLayout(test);
        box->addStretch(1);
    }
    {
        QFrame* f = frames[1];
        auto* box = new QVBoxLayout(f);
        box->addWidget(soundGroup("Set events when accepting call", chkPlayInCall, "chkPlayInCall",
                                  CmbPlayWhenCall, "CmbPlayWhenCall", tlbrPlayWhenCall, "tlbrPlayWhenCall",
                                  "when a call comes in", f));
        chkViewDet =
            named(new QCheckBox("Display Caller View", f), "chkViewDet", "Display Caller View on a call");
        box->addWidget(chkViewDet);
        box->addStretch(1);
    }
    {
        QFrame* f = frames[2];
        auto* box = new QVBoxLayout(f);
        box->addWidget(soundGroup("Set events when disconnecting a call", chkPlayInMessage,
                                  "chkPlayInMessage", CmbPlayWhenMessage, "CmbPlayWhenMessage",
                                  tlbrPlayWhenMessage, "tlbrPlayWhenMessage", "when a call ends", f));
        chkOnlyIfGotMessage =
            named(new QCheckBox("Only If Got Message", f), "chkOnlyIfGotMessage", "Only If Got Message");
        chkMsgInMsg = named(new QCheckBox("Display Caller View", f), "chkMsgInMsg",
                            "Display Caller View when a call ends");
        box->addWidget(chkOnlyIfGotMessage);
        box->addWidget(chkMsgInMsg);
        box->addStretch(1);
    }
}
