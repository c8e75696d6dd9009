// The options dialog.
#include "frmOptions.h"

#include "DialogFrame.h"
#include "DialogLists.h"
#include "EngineRules.h"
#include "ErrorTrap.h"
#include "LineControl.h"
#include "MessageBox.h"
#include "MessageStore.h"
#include "PlaybackFlags.h"
#include "Settings.h"
#include "SettingsLoader.h"
#include "SettingsWriter.h"
#include "TelephonyLayer.h"
#include "VbConvert.h"
#include "VbError.h"
#include "frmLines.h"
#include "mdlLog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

frmOptions::frmOptions(DialogHost& host, QWidget* parent)
    : QDialog(parent), m_host(host), m_tabs(new QTabBar(this)), m_pages(this),
      m_ok(new QPushButton("OK", this)), m_cancel(new QPushButton("Close", this))
{
    setObjectName("frmOptions");
    setWindowTitle("Options");
    DialogFrame::layOut(*this, m_tabs, "Option pages", {std::begin(m_pages.frames), std::end(m_pages.frames)},
                        m_ok, m_cancel, QSize(470, 360));

    connect(m_tabs, &QTabBar::currentChanged, this, [this] { TabStrip1Click(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { cmdOKClick(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(m_pages.cmdBrowsMessagesPath, &QToolButton::clicked, this,
            [this] { cmdBrowsMessagesPathClick(); });
    connect(m_pages.cmdLineSettings, &QPushButton::clicked, this, [this] { cmdLineSettingsClick(); });
    connect(m_pages.cmdLines, &QPushButton::clicked, this, [this] { cmdLinesClick(); });
    for (QAction* action : m_pages.tlbrGreetingPlayer->actions())
        if (!action->isSeparator())
            connect(action, &QAction::triggered, this,
                    [this, action] { tlbrGreetingPlayerButtonClick(action->objectName()); });
    // Until the greeting creator is part of the program there is nothing for "Add" to open.
    if (QAction* add = m_pages.tlbrGreetingPlayer->findChild<QAction*>("Add"))
        add->setEnabled(static_cast<bool>(m_host.greetingCreator));
    Form_Load();
}

QString frmOptions::runCommand()
{
    return QCoreApplication::applicationFilePath() + " -st";
}

QString frmOptions::greetsPattern() const
{
    return m_host.programFolder + "/Greets/*.wav";
}

void frmOptions::Form_Load()
{
    ErrorTrap trap("ErrorLoadOptions->", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    for (QFrame* frame : m_pages.frames)
        frame->hide();
    m_tabsLoading = true;
    for (const char* caption : {"General", "Devices", "Answer Mode", "Advanced"})
        m_tabs->addTab(caption);
    m_tabs->setCurrentIndex(0);
    m_pages.frames[0]->show();
    m_tabsLoading = false;
    trap.step(
        [&] { DialogLists::GreetFilFile(*m_pages.CmbGreetsMessages, greetsPattern(), {}, m_host.log); });
    trap.step([&] {
        for (int i = 1; i <= 20; ++i)
            m_pages.txtNumOfRing->addItem(QString::number(i));
        m_pages.txtRecLong->addItems({"1", "2", "5"});
        m_pages.cmbSilenceSec->addItems({"15", "30", "45", "60", "90"});
    });
    trap.step([&] { DialogLists::FillModemList(m_host.tapi, *m_pages.cmbModemDev); });
    trap.step([&] { DialogLists::FillSoundDeviceList(m_host.wavePlay, *m_pages.cmbSoundDev); });
    GetOptions();
    TabStrip1Click();
}

void frmOptions::GetOptions()
{
    const MainOptions& o = m_host.settings.options;
    const OptionsPages& p = m_pages;
    ErrorTrap trap("ErrGetOptions->", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    trap.step([&] { p.chkRenOnStart->setChecked(SettingsLoader::RunsAtLogin()); });
    trap.step([&] { DialogLists::showText(*p.cmbSilenceSec, QString::number(o.SecSilence)); });
    p.chkDropIfSilnce->setChecked(o.cDropSilence != 0);
    // Halves go to the even position, as the stored tenths always have.
    p.sldSilence->setValue(static_cast<int>(std::nearbyint(o.ValSilence / 10.0)));
    p.txtMassagesPath->setText(o.MassagesPath);
    p.txtMassagesPath->setCursorPosition(0);
    p.cmdRecordMessage->setChecked(o.RecordMessage != 0);
    trap.step([&] { DialogLists::showText(*p.txtNumOfRing, QString::number(o.NumOfRing)); });
    trap.step([&] { DialogLists::showText(*p.txtRecLong, QString::number(o.MaxRec)); });
    DialogLists::showStored(*p.txtPass, o.Pass, "4 or more keys: 0-9, #, A-D");
    p.chkWornDelete->setChecked(o.WornDelete != 0);
    p.chkWornClear->setChecked(o.WornClear != 0);
    p.chkListMessagesOnly->setChecked(o.ListMessageOnly != 0);
    p.chkPreScreen->setChecked(o.PreScreen != 0);
    if (!o.ModemName.isEmpty() && !neverStored(o.ModemName))
        trap.step([&] { DialogLists::showText(*p.cmbModemDev, o.ModemName); });
    trap.step(
        [&] { m_loadedLineIndex = EngineRules::FindLineByName(m_host.tapi, p.cmbModemDev->currentText()); });
    trap.step([&] {
        // Without a sound server there is no device to show, which is no stored value's fault.
        if (p.cmbSoundDev->count() == 0)
            return;
        if (o.Sound < -1 || o.Sound >= p.cmbSoundDev->count())
            throw kalvo::VbError(kalvo::VbInvalidPropertyValue);
        p.cmbSoundDev->setCurrentIndex(o.Sound);
    });
    trap.step([&] { DialogLists::showText(*p.CmbGreetsMessages, o.Greeting); });
    p.chkAllowRemoteAccess->setChecked(o.AllowRemoteAccess != 0);
    p.txtPass->setEnabled(o.AllowRemoteAccess == 1);
    p.chkCompress->setChecked(o.CompressMessages != 0);
    p.chkQuickToolBar->setChecked(o.pQuickToolbar != 0);
}

void frmOptions::selectTab(int tab)
{
    if (tab >= 1 && tab <= m_tabs->count())
        m_tabs->setCurrentIndex(tab - 1);
}

void frmOptions::TabStrip1Click()
{
    if (m_tabsLoading)
        return;
    for (QFrame* frame : m_pages.frames)
        frame->hide();
    const int index = m_tabs->currentIndex();
    if (index >= 0 && index < 4)
        m_pages.frames[index]->show();
}

void frmOptions::cmdOKClick()
{
    if (remoteAccessRefused())
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    saveOptions();
    QGuiApplication::restoreOverrideCursor();
    accept();
}

bool frmOptions::remoteAccessRefused()
{
    const QString password = m_pages.txtPass->text();
    if (!m_pages.chkAllowRemoteAccess->isChecked() || EngineRules::IsValidPassword(password))
        return false;
    // Remote access with a password no telephone can key could never be opened.
    MessageBox::show(
        password.isEmpty()
            ? "Remote access needs a password: type the password that opens it from an external phone."
            : "The remote-access password must be 4 or more telephone keys: 0-9, # and A-D (\"*\" ends "
              "the password).",
        MessageBox::Information, "Kalvo", this);
    selectTab(1);
    m_pages.txtPass->setEnabled(true);
    m_pages.txtPass->setFocus();
    return true;
}

void frmOptions::saveOptions()
{
    const OptionsPages& p = m_pages;
    ErrorTrap trap("ErrSaveOptionOption ", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    trap.step([&] { m_host.refillGreetings(p.CmbGreetsMessages->currentText()); });
    OptionsInput in;
    in.SecSilence = p.cmbSilenceSec->currentText();
    in.cDropSilence = p.chkDropIfSilnce->isChecked();
    in.ValSilence = static_cast<int16_t>(p.sldSilence->value() * 10);
    in.WornDelete = p.chkWornDelete->isChecked();
    in.WornClear = p.chkWornClear->isChecked();
    in.ListMessageOnly = p.chkListMessagesOnly->isChecked();
    trap.step([&] {
        in.Modem =
            static_cast<int16_t>(EngineRules::FindLineByName(m_host.tapi, p.cmbModemDev->currentText()));
    });
    in.PreScreen = p.chkPreScreen->isChecked();
    in.ModemName = p.cmbModemDev->currentText();
    in.Sound = p.cmbSoundDev->currentIndex();
    in.RecordMessage = p.cmdRecordMessage->isChecked();
    in.Greeting = p.CmbGreetsMessages->currentText();
    in.NumOfRing = p.txtNumOfRing->currentText();
    in.MaxRec = p.txtRecLong->currentText();
    in.AllowRemoteAccess = p.chkAllowRemoteAccess->isChecked();
    in.Pass = DialogLists::storedText(*p.txtPass, m_host.settings.options.Pass);
    in.CompressMessages = p.chkCompress->isChecked();
    in.pQuickToolbar = p.chkQuickToolBar->isChecked();
    SettingsWriter(m_host.settings).PutMainOptions(in, trap);
    trap.step([&] { m_host.setRecordMessage(p.cmdRecordMessage->isChecked()); });
    SettingsWriter::PutRunAtLogin(p.chkRenOnStart->isChecked(), runCommand());
    trap.step([&] { m_host.relayout(); });
}

void frmOptions::cmdBrowsMessagesPathClick()
{
    ErrorTrap trap("ErrcmdBrowsMessagesPath ", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    const QString oldFolder = m_pages.txtMassagesPath->text();
    QString newFolder = DialogLists::BrowseForFolder(this, "Save Messages To", oldFolder);
    if (newFolder.isEmpty())
        return;
    newFolder = MessageStore::folderOf(newFolder);
    if (newFolder != oldFolder) {
        const MessageFolderMove::Result moved = m_host.messages.moveFolder(oldFolder, newFolder);
        if (moved.failed > 0) {
            // The folder stays: every message is still where the list plays it from.
            MessageBox::show(QString::number(moved.failed) + " message(s) could not be moved to " +
                                 newFolder + " (" + moved.reason + "). The messages stay in " + oldFolder +
                                 ".",
                             MessageBox::Exclamation, "Kalvo", this);
            return;
        }
    }
    m_pages.txtMassagesPath->setText(newFolder);
    m_pages.txtMassagesPath->setCursorPosition(0);
    // The files are in the new folder now: the next recording and playback look there too.
    SettingsWriter(m_host.settings).PutMessagesPath(newFolder);
}

void frmOptions::tlbrGreetingPlayerButtonClick(const QString& key)
{
    ErrorTrap trap("ErrOptionsGreetingToolBar:->", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    trap.step([&] {
        PlaybackFlags& flags = m_host.flags;
        if (key == QLatin1String("Play")) {
            if (m_host.wavePlay.IsPlaying())
                return;
            flags.clearPreviews();
            flags.OptionsPlaying = true;
            m_host.playWave(m_host.programFolder + "/Greets/" + m_pages.CmbGreetsMessages->currentText() +
                            ".wav");
        } else if (key == QLatin1String("Stop")) {
            if (m_host.wavePlay.IsPlaying() && flags.OptionsPlaying) {
                m_host.wavePlay.StopPlay();
                flags.OptionsPlaying = false;
            }
        } else if (key == QLatin1String("Add")) {
            if (!m_host.greetingCreator)
                return;
            const QString saved = m_host.greetingCreator(this);
            if (!saved.isEmpty())
                greetingSaved(saved);
        } else if (key == QLatin1String("Delete")) {
            deleteGreeting();
        }
    });
}

void frmOptions::deleteGreeting()
{
    QComboBox& list = *m_pages.CmbGreetsMessages;
    if (list.count() == 1) {
        MessageBox::show("Can't Delete Last Greeting.", MessageBox::Information, "Kalvo", this);
        return;
    }
    if (m_host.wavePlay.IsPlaying())
        m_host.wavePlay.StopPlay();
    const QString name = list.currentText();
    if (MessageBox::show("Delete " + name + " ?", MessageBox::YesNo, "Kalvo", this) != MessageBox::Yes)
        return;
    if (name.isEmpty())
        return;
    QFile::remove(m_host.programFolder + "/Greets/" + name + ".wav");
    DialogLists::GreetFilFile(list, greetsPattern(), {}, m_host.log);
    m_host.refillGreetings(QString());
    SettingsWriter(m_host.settings).PutGreeting(list.currentText());
}

void frmOptions::greetingSaved(const QString& name)
{
    DialogLists::GreetFilFile(*m_pages.CmbGreetsMessages, greetsPattern(), name, m_host.log);
}

void frmOptions::cmdLineSettingsClick()
{
    ErrorTrap trap("ErrOptionsLineSettings ", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    trap.step([&] {
        const int line = EngineRules::FindLineByName(m_host.tapi, m_pages.cmbModemDev->currentText());
        if (line < 0)
            return;
        // The line keeps answering while its dialog is open; it takes the new settings when it opens
        // again, so it is opened again afterwards unless a call is on it (then at its next opening).
        const int result = m_host.tapi.LineDialogLineConfig(line);
        if (m_host.tapi.LineOpened(line) && !m_host.tapi.LineConnected(line)) {
            m_host.closeLine(line);
            m_host.openLine(line);
        }
        if (result != 0)
            m_host.log.WriteSysLog("LineDialogLineConfig[LineIndex:" + QString::number(line) + "]->" +
                                   QString::number(result));
    });
}

void frmOptions::cmdLinesClick()
{
    ErrorTrap trap("ErrOptionsLines ", [this](const QString& l) { m_host.log.WriteSysLog(l); });
    frmLines lines(m_pages.cmbModemDev->currentText(), this);
    if (lines.exec() != QDialog::Accepted || !lines.changed())
        return;
    // The running line answers until here; the telephony layer reads its lines again only while
    // no line is open.
    const bool wasOpen = m_host.lineIsOpen();
    trap.step([&] {
        m_host.closeLine(m_loadedLineIndex);
        if (!kalvo::telephony::reloadConfiguration())
            MessageBox::show("The lines take effect when Kalvo starts again.", MessageBox::Information,
                             "Lines");
        m_host.tapi.LineInitialize();
        DialogLists::FillModemList(m_host.tapi, *m_pages.cmbModemDev);
        DialogLists::showText(*m_pages.cmbModemDev, lines.watched());
        const QString name = m_pages.cmbModemDev->currentText();
        m_loadedLineIndex = EngineRules::FindLineByName(m_host.tapi, name);
        SettingsWriter(m_host.settings).PutModem(static_cast<int16_t>(m_loadedLineIndex), &name);
        m_host.getAppOptions();
        if (wasOpen)
            m_host.openLine(m_loadedLineIndex);
    });
}

void frmOptions::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void frmOptions::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    try {
        if (m_host.wavePlay.IsPlaying() && m_host.flags.OptionsPlaying) {
            m_host.wavePlay.StopPlay();
            m_host.flags.OptionsPlaying = false;
        }
    } catch (...) {
    }
    try {
        m_host.getAppOptions();
    } catch (...) {
    }
    try {
        if (m_host.lineIsOpen()) {
            const int line = EngineRules::FindLineByName(m_host.tapi, m_pages.cmbModemDev->currentText());
            if (line != m_loadedLineIndex) {
                m_host.closeLine(m_loadedLineIndex);
                m_host.openLine(line);
            }
        }
    } catch (...) {
    }
}
