// The events dialog.
#include "frmEvents.h"

#include "CallAnnouncer.h"
#include "DialogFrame.h"
#include "DialogLists.h"
#include "ErrorTrap.h"
#include "PlaybackFlags.h"
#include "Settings.h"
#include "SettingsWriter.h"
#include "VbConvert.h"
#include "VbError.h"
#include "mdlLog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QToolBar>
#include <QVBoxLayout>

frmEvents::frmEvents(DialogHost& host, QWidget* parent)
    : QDialog(parent), m_host(host), m_tabs(new QTabBar(this)), m_pages(this),
      m_ok(new QPushButton("OK", this)), m_cancel(new QPushButton("Cancel", this))
{
    setObjectName("frmEvents");
    setWindowTitle("Events");
    DialogFrame::layOut(*this, m_tabs, "Event pages", {std::begin(m_pages.frames), std::end(m_pages.frames)},
                        m_ok, m_cancel, QSize(470, 300));

    connect(m_tabs, &QTabBar::currentChanged, this, [this] { TabStrip1Click(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { cmdOKClick(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    // Only a pick by the user saves; the dialog's own selections while loading do not.
    connect(m_pages.cmbCloseCVAfter, &QComboBox::activated, this, [this] { cmbCloseCVAfterClick(); });
    connect(m_pages.cmdTestViewer, &QPushButton::clicked, this, [this] { cmdTestViewerClick(); });
    for (const bool ring : {true, false}) {
        QToolBar* bar = ring ? m_pages.tlbrPlayWhenCall : m_pages.tlbrPlayWhenMessage;
        for (QAction* action : bar->actions())
            connect(action, &QAction::triggered, this,
                    [this, ring, action] { soundToolbarClick(ring, action->objectName()); });
    }
    Form_Load();
}

QString frmEvents::soundFolder() const
{
    return m_host.programFolder + "/Sound/";
}

QString frmEvents::soundPattern() const
{
    return soundFolder() + "*.wav";
}

void frmEvents::Form_Load()
{
    ErrorTrap trap("ErrLoadEvents->", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    for (QFrame* frame : m_pages.frames)
        frame->hide();
    m_pages.cmbCloseCVAfter->addItems({"5", "10", "20", "30", "60"});
    m_pages.cmbCloseCVAfter->setCurrentIndex(0);
    m_tabsLoading = true;
    for (const char* caption : {"General", "In Coming Call", "Disconnect Call"})
        m_tabs->addTab(caption);
    m_tabs->setCurrentIndex(0);
    m_pages.frames[0]->show();
    m_tabsLoading = false;
    TabStrip1Click();
    trap.step([&] { GetOptions(); });
}

void frmEvents::GetOptions()
{
    const MainEvents& e = m_host.settings.events;
    const EventsPages& p = m_pages;
    ErrorTrap trap("ErrEventsGetOptions->", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    DialogLists::FilFile(*p.CmbPlayWhenCall, soundPattern(), {}, m_host.log);
    DialogLists::FilFile(*p.CmbPlayWhenMessage, soundPattern(), {}, m_host.log);
    if (!e.PlayInRing.isEmpty() && !neverStored(e.PlayInRing)) {
        trap.step([&] { DialogLists::showText(*p.CmbPlayWhenCall, e.PlayInRing); });
        p.chkPlayInCall->setChecked(e.cPlayInRing != 0);
    }
    p.chkOnlyIfGotMessage->setChecked(e.cOnlyIfGotMessage != 0);
    if (!e.PlayInIdle.isEmpty() && !neverStored(e.PlayInIdle)) {
        trap.step([&] { DialogLists::showText(*p.CmbPlayWhenMessage, e.PlayInIdle); });
        p.chkPlayInMessage->setChecked(e.cPlayInIdle != 0);
    }
    p.chkMsgInMsg->setChecked(e.WhenMsgViewMsg != 0);
    p.chkViewDet->setChecked(e.ViewDetails != 0);
    p.chkAnimation->setChecked(e.cAnimation != 0);
    trap.step([&] {
        if (e.AnimationFast < p.sldAnimationFast->minimum() ||
            e.AnimationFast > p.sldAnimationFast->maximum())
            throw kalvo::VbError(kalvo::VbInvalidPropertyValue);
        p.sldAnimationFast->setValue(e.AnimationFast);
    });
    trap.step([&] { DialogLists::showText(*p.cmbCloseCVAfter, QString::number(e.CloseCallerView)); });
    p.chkCloseCVAfter->setChecked(e.cCloseCallerView != 0);
    const int shows = e.CallerViewAs >= 0 && e.CallerViewAs < p.cmbCallerViewAs->count()
                          ? e.CallerViewAs
                          : int(CallAnnouncer::firstChoice(CallAnnouncer::windowCanPlaceItself()));
    p.cmbCallerViewAs->setCurrentIndex(shows);
}

void frmEvents::selectTab(int tab)
{
    if (tab >= 1 && tab <= m_tabs->count())
        m_tabs->setCurrentIndex(tab - 1);
}

void frmEvents::TabStrip1Click()
{
    if (m_tabsLoading)
        return;
    for (QFrame* frame : m_pages.frames)
        frame->hide();
    const int index = m_tabs->currentIndex();
    if (index >= 0 && index < 3)
        m_pages.frames[index]->show();
}

void frmEvents::cmbCloseCVAfterClick()
{
    try {
        SettingsWriter(m_host.settings).PutCloseCallerView(m_pages.cmbCloseCVAfter->currentText());
    } catch (...) {
    }
}

void frmEvents::cmdOKClick()
{
    const EventsPages& p = m_pages;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ErrorTrap trap("ErrPutEventsReg->", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    EventsInput in;
    in.cPlayInIdle = p.chkPlayInMessage->isChecked();
    in.PlayInIdle = p.CmbPlayWhenMessage->currentText();
    in.ViewDetails = p.chkViewDet->isChecked();
    in.WhenMsgViewMsg = p.chkMsgInMsg->isChecked();
    in.PlayInRing = p.CmbPlayWhenCall->currentText();
    in.cPlayInRing = p.chkPlayInCall->isChecked();
    in.cAnimation = p.chkAnimation->isChecked();
    in.AnimationFast = static_cast<int16_t>(p.sldAnimationFast->value());
    in.cCloseCallerView = p.chkCloseCVAfter->isChecked();
    in.CloseCallerView = p.cmbCloseCVAfter->currentText();
    in.cOnlyIfGotMessage = p.chkOnlyIfGotMessage->isChecked();
    in.CallerViewAs = static_cast<int16_t>(p.cmbCallerViewAs->currentIndex());
    SettingsWriter(m_host.settings).PutMainEvents(in, trap);
    QGuiApplication::restoreOverrideCursor();
    accept();
}

void frmEvents::cmdTestViewerClick()
{
    try {
        const EventsPages& p = m_pages;
        m_host.viewCallViewer(p.chkAnimation->isChecked(), p.sldAnimationFast->value(),
                              p.chkCloseCVAfter->isChecked() ? 1 : 0,
                              VbConvert::toInt16(p.cmbCloseCVAfter->currentText()));
    } catch (...) {
    }
}

void frmEvents::soundToolbarClick(bool ring, const QString& key)
{
    QComboBox& list = ring ? *m_pages.CmbPlayWhenCall : *m_pages.CmbPlayWhenMessage;
    QComboBox& other = ring ? *m_pages.CmbPlayWhenMessage : *m_pages.CmbPlayWhenCall;
    PlaybackFlags& flags = m_host.flags;
    bool& owner = ring ? flags.RingSoundPlaying : flags.IdleSoundPlaying;
    ErrorTrap trap(ring ? "ErrEventsInComingCallToolBar->" : "ErrEventsIdleToolBar->",
                   [this](const QString& l) { m_host.log.WriteSysLog(l); });
    trap.step([&] {
        if (key == QLatin1String("Play")) {
            if (m_host.wavePlay.IsPlaying())
                return;
            flags.clearPreviews();
            owner = true;
            m_host.playWave(soundFolder() + list.currentText());
        } else if (key == QLatin1String("Stop")) {
            if (m_host.wavePlay.IsPlaying() && owner) {
                m_host.wavePlay.StopPlay();
                owner = false;
            }
        } else if (key == QLatin1String("Add")) {
            const QString remembered = list.currentText();
            QString name;
            trap.step([&] { name = DialogLists::AddSound(this, soundFolder()); });
            if (name.isEmpty()) {
                trap.step([&] { DialogLists::showText(list, remembered); });
                return;
            }
            DialogLists::FilFile(list, soundPattern(), {}, m_host.log);
            DialogLists::FilFile(other, soundPattern(), other.currentText(), m_host.log);
            DialogLists::showText(list, name);
        } else if (key == QLatin1String("Delete")) {
            const QString name = list.currentText();
            if (name.isEmpty())
                return;
            if (m_host.wavePlay.IsPlaying())
                m_host.wavePlay.StopPlay();
            QFile::remove(soundFolder() + name);
            DialogLists::FilFile(list, soundPattern(), {}, m_host.log);
            const QString otherText = other.currentText();
            DialogLists::FilFile(other, soundPattern(), otherText == name ? QString() : otherText,
                                 m_host.log);
        }
    });
}

void frmEvents::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void frmEvents::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    try {
        PlaybackFlags& flags = m_host.flags;
        if (m_host.wavePlay.IsPlaying() && (flags.RingSoundPlaying || flags.IdleSoundPlaying)) {
            m_host.wavePlay.StopPlay();
            flags.RingSoundPlaying = flags.IdleSoundPlaying = false;
        }
    } catch (...) {
    }
}
