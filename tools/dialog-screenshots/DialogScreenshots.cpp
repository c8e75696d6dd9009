// Grabs every tab of the settings dialogs and the SIP line's dialog as the README's pictures: run it
// on an X server (scripts/dialog-screenshots.sh starts one) with the output folder as argument.
#include "Clock.h"
#include "EngineRig.h"
#include "ModemLineDialog.h"
#include "PrivatePulse.h"
#include "ProgramFolder.h"
#include "ScreenedCallStore.h"
#include "ScreeningPage.h"
#include "SipLineDialog.h"
#include "SoundCardBackend.h"
#include "WaveDeviceTable.h"
#include "WebAccess.h"
#include "WebPassword.h"
#include "frmActions.h"
#include "frmEvents.h"
#include "frmHelp.h"
#include "frmLines.h"
#include "frmOptions.h"
#include "frmRules.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using kalvo::test::EngineRig;
using kalvo::test::tone;
using kalvo::test::writeWav;

namespace {
void shoot(QDialog& dialog, const QString& file)
{
    dialog.show();
    QTest::qWait(300);
    dialog.grab().save(file);
}

template <typename Dialog>
void shootTabs(Dialog& dialog, const QString& folder, const QString& prefix, const QStringList& names)
{
    for (int i = 0; i < names.size(); ++i) {
        dialog.selectTab(i + 1);
        shoot(dialog, folder + "/" + prefix + "-" + names[i] + ".png");
    }
    dialog.hide();
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/images");
    QDir().mkpath(out);
    // A private sound server, so the sound-device list shows what a desktop has.
    kalvo::test::PrivatePulse pulse;
    kalvo::wave::SoundCardBackend backend;
    for (int i = 0; i < 50 && kalvo::wave::WaveDeviceTable::instance().soundCardCount(
                                  kalvo::wave::WaveDirection::Out) < 2;
         ++i)
        QTest::qWait(100);
    const QString conf =
        "[Line0]\nname = SIP Line\nprovider = sim\n\n[Line1]\nname = Office Line\nprovider = sim\n";
    EngineRig rig({{"ModemName", "SIP Line"},
                   {"MassagesPath", "/home/ada/Kalvo/Messages/"},
                   {"Sound", "0"},
                   {"Modem", "0"},
                   {"SecSilence", "30"},
                   {"ValSilence", "50"},
                   {"MaxRec", "2"},
                   {"NumOfRing", "4"},
                   {"AllowRemoteAccess", "1"},
                   {"Pass", "4711"},
                   {"pQuickToolbar", "1"},
                   {"WornDelete", "1"},
                   {"cDropSilence", "1"},
                   {"PlayInRing", "ring.wav"},
                   {"cPlayInRing", "1"},
                   {"PlayInIdle", "chime.wav"},
                   {"cPlayInIdle", "1"},
                   {"ViewDetails", "1"},
                   {"WhenMsgViewMsg", "1"},
                   {"cAnimation", "1"},
                   {"AnimationFast", "60"},
                   {"cCloseCallerView", "1"},
                   {"CloseCallerView", "20"},
                   {"pMailTo", "1"},
                   {"MailTo", "me@example.org"},
                   {"SMTPServer", "smtp.example.org"},
                   {"MailFrom", "kalvo@example.org"},
                   {"ActionsMailAllCalls", "1"},
                   {"pAppTo", "1"},
                   {"AppTo", "notify-send \"Call from <NAME>\" <NUMBER>"},
                   {"ActionsAppAllCalls", "0"}},
                  0.001, conf);
    writeWav(rig.programFolder() + "/Greets/Evening.wav", tone(50));
    writeWav(rig.programFolder() + "/Greets/Family.wav", tone(50));
    writeWav(rig.programFolder() + "/Sound/ring.wav", tone(50));
    writeWav(rig.programFolder() + "/Sound/chime.wav", tone(50));
    frmMain& form = rig.form();
    // The web page on for this computer, so its tab shows the address, fingerprint and QR code.
    WebPassword::store(WebAccess::webFolder(rig.programFolder()), "kitchen-garden-7");
    WebAccess::writeConfig({1, 18443});
    WebAccess web(form.messages(), form.log(), rig.programFolder());
    web.apply(WebAccess::readConfig(), Clock::system());
    {
        frmOptions dialog(form.dialogHost(), &form);
        shootTabs(dialog, out, "options", {"general", "devices", "answer-mode", "advanced", "web-access"});
    }
    {
        frmEvents dialog(form.dialogHost(), &form);
        shootTabs(dialog, out, "events", {"general", "incoming-call", "disconnect-call"});
    }
    {
        frmActions dialog(form.dialogHost(), &form);
        shootTabs(dialog, out, "actions", {"mail", "application"});
    }
    {
        kalvo::CallerRuleStore store;
        store.open(rig.programFolder() + "/Calls");
        std::vector<kalvo::CallerRule> rules(4);
        rules[0].number = "+1900*";
        rules[0].note = "premium-rate lines";
        rules[1].number = "withheld";
        rules[1].note = "callers who hide their number";
        rules[2].number = "+19005550199";
        rules[2].label = "Ada";
        rules[2].kind = kalvo::CallerRule::Kind::Allow;
        rules[2].note = "sister, works at the hotline";
        rules[2].greeting = "Family.wav";
        rules[3].match = kalvo::CallerRule::Match::Name;
        rules[3].name = "survey";
        rules[3].note = "market research";
        store.addAll(rules);
        for (int i = 0; i < 3; ++i)
            store.count(rules[0].id, QDate::currentDate());
        store.count(rules[1].id, QDate::currentDate().addDays(-1));
        frmRules dialog(rig.programFolder() + "/Calls", rig.programFolder() + "/Greets", &form);
        dialog.addPage(
            new ScreeningPage(
                form.dialogHost(), [](bool, const QString&, const QString&) { return true; }, &dialog),
            "Screening");
        dialog.prefill(true, "Ben Ortiz", "+1 512 555 0142");
        shoot(dialog, out + "/caller-rules.png");
    }
    {
        frmLines dialog("SIP Line", &form);
        shoot(dialog, out + "/lines.png");
    }
    {
        ProgramFolder::ensure(rig.programFolder(), ProgramFolder::seedSource());
        frmHelp help(rig.programFolder() + "/Help/index.htm", &form);
        help.show();
        QTest::qWait(300);
        help.grab().save(out + "/help-window.png");
    }
    {
        kalvo::ScreenedCallStore screened;
        screened.open(rig.programFolder() + "/Calls");
        const QDateTime now = QDateTime::currentDateTime();
        std::vector<kalvo::ScreenedCall> calls = {
            {0, now.addDays(-2), "V1234567", "+13055550143", "name is a code", "timed out"},
            {0, now.addDays(-1), "", "", "no number", "hung up"},
            {0, now.addSecs(-7200), "WIRELESS CALLER", "+14155550100", "unknown number", "wrong key"},
            {0, now.addSecs(-600), "", "+15125550977", "number like own number", "timed out"}};
        for (kalvo::ScreenedCall& call : calls)
            screened.add(call);
        form.settings().screen.ScreenCallers = 1;
        form.settings().screen.OwnNumber = "+1 512 555 0123";
        frmRules dialog(rig.programFolder() + "/Calls", rig.programFolder() + "/Greets", &form);
        dialog.addPage(
            new ScreeningPage(
                form.dialogHost(), [](bool, const QString&, const QString&) { return true; }, &dialog),
            "Screening");
        dialog.findChild<QTabWidget*>("tabRules")->setCurrentIndex(1);
        shoot(dialog, out + "/caller-rules-screening.png");
    }
    kalvo::telephony::LineConfig line;
    line.name = "SIP Line";
    line.provider = "sip";
    line.keys = {{"listen", "0.0.0.0:5060"}, {"ring_interval", "6"}, {"registrar", "sip:sip.example.org"},
                 {"user", "4930123456"},     {"password", "secret"}, {"display", "Kalvo"},
                 {"transport", "tls"},       {"srtp", "optional"}};
    kalvo::sip::SipLineDialog sip(line, "/dev/null");
    shoot(sip, out + "/sip-line.png");
    kalvo::telephony::LineConfig modemLine;
    modemLine.name = "Home Line";
    modemLine.provider = "modem";
    modemLine.keys = {{"device", "/dev/serial/by-id/usb-Example_Voice_Modem_0001-if00"}, {"speed", "115200"}};
    kalvo::modem::ModemLineDialog modem(modemLine, "/dev/null");
    shoot(modem, out + "/modem-line.png");
    return 0;
}
