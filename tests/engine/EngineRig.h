// A main form on a private home with the loaded line control over one simulated line, the sound
// component on the line's wave devices, and a real call database; plus wave-file and log helpers.
#pragma once

#include "SimLine.h"
#include "TestSupport.h"
#include "TimeBase.h"
#include "frmMain.h"

#include <QStringList>
#include <map>
#include <memory>
#include <vector>

namespace kalvo::test {

// A sine tone (or silence with amplitude 0) of ms milliseconds at 8000 Hz.
std::vector<int16_t> tone(int ms, int amplitude = 8000, int hz = 440);
// Writes a 16-bit PCM mono 8000 Hz wave file.
void writeWav(const QString& path, const std::vector<int16_t>& frames);

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
    // Records in the call database as Query returns them: row -> field -> text.
    std::vector<std::map<QString, QString>> records();

private:
    IsolatedHome m_home;
    ScaledTimeBase m_timeBase;
    std::unique_ptr<frmMain> m_form;
    kalvo::sim::SimLine* m_sim = nullptr;
};

} // namespace kalvo::test
