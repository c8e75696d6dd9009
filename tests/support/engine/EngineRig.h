// A main form on a private home with the loaded line control over one simulated line, the sound
// component on the line's wave devices, and a real call database; plus wave-file and log helpers.
#pragma once

#include "SimLine.h"
#include "TestSupport.h"
#include "TimeBase.h"
#include "frmMain.h"

#include <QStringList>
#include <initializer_list>
#include <map>
#include <memory>
#include <vector>

namespace kalvo::test {

// A sine tone (or silence with amplitude 0) of ms milliseconds at 8000 Hz.
std::vector<int16_t> tone(int ms, int amplitude = 8000, int hz = 440);
// What a caller heard, judged in 50 ms windows every 25 ms (8000 Hz): the starts of the windows
// in which hz carries most of an audible sound, and of those that are audible while none of tones
// carries most of them (speech, say).
std::vector<size_t> windowsOf(const std::vector<int16_t>& heard, double hz);
std::vector<size_t> soundWindows(const std::vector<int16_t>& heard, const std::vector<double>& tones);
// Writes a 16-bit PCM mono 8000 Hz wave file.
void writeWav(const QString& path, const std::vector<int16_t>& frames);
// A value of the settings key as the program reads it ("Not Found" when absent).
QString storedSetting(const char* name);

// What a settings dialog showed when a menu opened it: its tab (0 = the first) and its visible
// frames ("1" for Frame1).
struct ShownTab
{
    int tab = -1;
    QStringList frames;
};
// Runs each menu item of the window; the modal dialog it opens is read and cancelled at once.
std::vector<ShownTab> openFromMenus(frmMain& form, std::initializer_list<const char*> menus);
// Checks that the toolbar key is enabled and that the n-th menu opens its dialog on tab n with only
// that tab's frame showing. @return what is wrong, or an empty text.
QString menusOpenTheirTabs(frmMain& form, const char* toolbarKey, std::initializer_list<const char*> menus);

using Values = std::map<QString, QString>;

class EngineRig
{
public:
    // settings are written to the settings key before the form loads (with both logs on, the
    // greeting "Test", messages in <program folder>/Messages/). conf replaces the telephony.conf of
    // one simulated line "Sim 0".
    explicit EngineRig(const std::map<QString, QString>& settings = {}, double timeScale = 0.001,
                       const QString& conf = QString());
    ~EngineRig();

    frmMain& form() { return *m_form; }
    kalvo::sim::SimLine& sim() { return *m_sim; }
    QString programFolder() const { return m_home.programFolder(); }
    QString messagesFolder() const { return m_home.programFolder() + "/Messages/"; }
    // Runs the rest of the start (database, list, modem line, start beep).
    void start();
    // Today's system or calls log lines.
    QStringList sysLog() const;
    QStringList callsLog() const;
    // True when some system-log line ends with text.
    bool sysLogHas(const QString& text) const;
    // Stores a call the way the engine does (unread, caller "x"); with a file name, that message
    // file too (message, or a 100 ms tone when none is given). The list is not rebuilt.
    void addCall(const QString& file, const std::vector<int16_t>& message = {});
    // Records in the call database as Query returns them: row -> field -> text.
    std::vector<std::map<QString, QString>> records();

private:
    IsolatedHome m_home;
    ScaledTimeBase m_timeBase;
    std::unique_ptr<frmMain> m_form;
    kalvo::sim::SimLine* m_sim = nullptr;
};

} // namespace kalvo::test
