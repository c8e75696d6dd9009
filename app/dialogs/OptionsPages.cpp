// The pages of the options dialog.
#include "OptionsPages.h"

#include "FrameIcons.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
template <typename W> W* named(W* widget, const char* name, const QString& accessible)
{
    widget->setObjectName(name);
    widget->setAccessibleName(accessible);
    return widget;
}

QLabel* label(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    return l;
}
} // namespace

OptionsPages::OptionsPages(QWidget* parent)
{
    for (int i = 0; i < 4; ++i) {
        frames[i] = new QFrame(parent);
        frames[i]->setObjectName(QString("Frame%1").arg(i + 1));
    }

    // General
    {
        QFrame* f = frames[0];
        auto* box = new QVBoxLayout(f);
        chkQuickToolBar = named(new QCheckBox("Show quick options tool bar", f), "chkQuickToolBar",
                                "Show quick options tool bar");
        chkListMessagesOnly =
            named(new QCheckBox("List messages only", f), "chkListMessagesOnly", "List messages only");
        chkWornClear = named(new QCheckBox("Warn me before claer calls list", f), "chkWornClear",
                             "Warn me before clearing the calls list");
        chkWornDelete = named(new QCheckBox("Warn me before deleting message", f), "chkWornDelete",
                              "Warn me before deleting a message");
        for (QWidget* w : {static_cast<QWidget*>(chkQuickToolBar), static_cast<QWidget*>(chkListMessagesOnly),
                           static_cast<QWidget*>(chkWornClear), static_cast<QWidget*>(chkWornDelete)})
            box->addWidget(w);
        auto* remote = new QGroupBox("Remote Access", f);
        remote->setObjectName("fraRemoteAccess");
        auto* r = new QVBoxLayout(remote);
        chkAllowRemoteAccess = named(new QCheckBox("Allow Remote Access", remote), "chkAllowRemoteAccess",
                                     "Allow Remote Access");
        r->addWidget(chkAllowRemoteAccess);
        r->addWidget(label(
            "The password that should be typed when withdrawing messages from an external phone", remote));
        auto* row = new QHBoxLayout;
        txtPass = named(new QLineEdit(remote), "txtPass", "Remote access password");
        row->addWidget(txtPass, 1);
        auto* hint = new QLabel("(Then press    )", remote);
        hint->setObjectName("lblThenPress");
        auto* star = new QLabel("*", remote);
        star->setObjectName("lblStar");
        // The star sits in the gap of the hint, as one text would not show it apart.
        auto* hintBox = new QWidget(remote);
        hintBox->setFixedSize(hint->sizeHint());
        hint->setParent(hintBox);
        star->setParent(hintBox);
        const int gap = hint->fontMetrics().horizontalAdvance("(Then press ");
        star->move(gap + hint->fontMetrics().horizontalAdvance(" ") / 2, 0);
        row->addWidget(hintBox);
        r->addLayout(row);
        box->addWidget(remote);
        box->addStretch(1);
    }

    // Devices
    {
        QFrame* f = frames[1];
        auto* box = new QVBoxLayout(f);
        auto* modem = new QGroupBox("Modem Device", f);
        auto* m = new QVBoxLayout(modem);
        m->addWidget(label("Kalvo will operate with the modem chosen from the list:", modem));
        auto* row = new QHBoxLayout;
        cmbModemDev = named(new QComboBox(modem), "cmbModemDev", "Modem device");
        row->addWidget(cmbModemDev, 1);
        cmdLineSettings = named(new QPushButton("Line Settings...", modem), "cmdLineSettings",
                                "Settings of the chosen line");
        cmdLineSettings->setToolTip("Settings of the chosen line");
        row->addWidget(cmdLineSettings);
        cmdLines = named(new QPushButton("&Lines...", modem), "cmdLines", "Lines");
        cmdLines->setToolTip("Add, remove and choose the lines Kalvo answers on");
        row->addWidget(cmdLines);
        m->addLayout(row);
        box->addWidget(modem);
        auto* sound = new QGroupBox("Sound Device", f);
        auto* s = new QVBoxLayout(sound);
        s->addWidget(label("The chosen Sound Device will be used to play the messages in the computer and to "
                           "record messages to be played:",
                           sound));
        cmbSoundDev = named(new QComboBox(sound), "cmbSoundDev", "Sound device");
        s->addWidget(cmbSoundDev);
        box->addWidget(sound);
        box->addStretch(1);
    }

    // Answer Mode
    {
        QFrame* f = frames[2];
        auto* box = new QVBoxLayout(f);
        auto* play = new QGroupBox("Play To In Comming Call", f);
        auto* p = new QHBoxLayout(play);
        p->addWidget(new QLabel("Greeting:", play));
        CmbGreetsMessages = named(new QComboBox(play), "CmbGreetsMessages", "Greeting");
        p->addWidget(CmbGreetsMessages, 1);
        tlbrGreetingPlayer = named(new QToolBar(play), "tlbrGreetingPlayer", "Greeting player");
        tlbrGreetingPlayer->setIconSize(QSize(16, 16));
        const struct
        {
            const char* key;
            const char* tip;
        } buttons[] = {{"Play", "Start Play"},
                       {"Stop", "Stop Play"},
                       {nullptr, nullptr},
                       {"Add", "Create New Greeting"},
                       {"Delete", "Delete Message"}};
        for (const auto& b : buttons) {
            if (!b.key) {
                tlbrGreetingPlayer->addSeparator();
                continue;
            }
            QAction* a = tlbrGreetingPlayer->addAction(FrameIcons::toolIcon(b.key), b.key);
            a->setObjectName(b.key);
            a->setToolTip(b.tip);
            if (QWidget* w = tlbrGreetingPlayer->widgetForAction(a))
                w->setAccessibleName(b.tip);
        }
        p->addWidget(tlbrGreetingPlayer);
        box->addWidget(play);
        auto* rings = new QHBoxLayout;
        rings->addWidget(new QLabel("Number of rings before response :", f));
        txtNumOfRing = named(new QComboBox(f), "txtNumOfRing", "Number of rings before response");
        rings->addWidget(txtNumOfRing);
        rings->addStretch(1);
        box->addLayout(rings);
        auto* rec = new QGroupBox("Record From In-Comming Call", f);
        auto* r = new QVBoxLayout(rec);
        cmdRecordMessage = named(new QCheckBox("Record Message", rec), "cmdRecordMessage", "Record Message");
        r->addWidget(cmdRecordMessage);
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel("Save massages to:", rec));
        txtMassagesPath = named(new QLineEdit(rec), "txtMassagesPath", "Messages folder");
        txtMassagesPath->setReadOnly(true);
        row->addWidget(txtMassagesPath, 1);
        cmdBrowsMessagesPath =
            named(new QToolButton(rec), "cmdBrowsMessagesPath", "Choose the messages folder");
        cmdBrowsMessagesPath->setIcon(rec->style()->standardIcon(QStyle::SP_DirOpenIcon));
        cmdBrowsMessagesPath->setToolTip("Choose the messages folder");
        row->addWidget(cmdBrowsMessagesPath);
        r->addLayout(row);
        box->addWidget(rec);
        box->addStretch(1);
    }

    // Advanced
    {
        QFrame* f = frames[3];
        auto* box = new QVBoxLayout(f);
        chkRenOnStart = named(new QCheckBox("Run 'Kalvo' when windows start", f), "chkRenOnStart",
                              "Run Kalvo when the desktop starts");
        box->addWidget(chkRenOnStart);
        auto* silence = new QHBoxLayout;
        chkDropIfSilnce =
            named(new QCheckBox("Drop If silence after ", f), "chkDropIfSilnce", "Drop if silence after");
        silence->addWidget(chkDropIfSilnce);
        cmbSilenceSec = named(new QComboBox(f), "cmbSilenceSec", "Seconds of silence");
        silence->addWidget(cmbSilenceSec);
        silence->addWidget(new QLabel("Sec'", f));
        silence->addStretch(1);
        box->addLayout(silence);
        auto* sens = new QHBoxLayout;
        sens->addWidget(new QLabel("Sensitivity:", f));
        sens->addWidget(new QLabel("0", f));
        sldSilence = named(new QSlider(Qt::Horizontal, f), "sldSilence", "Silence sensitivity");
        sldSilence->setRange(0, 10);
        sldSilence->setPageStep(1);
        sldSilence->setTickPosition(QSlider::TicksBelow);
        sens->addWidget(sldSilence, 1);
        sens->addWidget(new QLabel("100", f));
        box->addLayout(sens);
        auto* rec = new QHBoxLayout;
        rec->addWidget(new QLabel("Maximun time in minutes for recording a message:", f));
        txtRecLong = named(new QComboBox(f), "txtRecLong", "Maximum recording minutes");
        rec->addWidget(txtRecLong);
        rec->addStretch(1);
        box->addLayout(rec);
        chkCompress = named(new QCheckBox("Compress Messages", f), "chkCompress", "Compress Messages");
        chkPreScreen = named(new QCheckBox("Pre Screen Calls", f), "chkPreScreen", "Pre Screen Calls");
        box->addWidget(chkCompress);
        box->addWidget(chkPreScreen);
        box->addStretch(1);
    }
}
