// The main form on a simulated line, for the engine tests.
#include "EngineRig.h"

#include "AnsweringEngine.h"
#include "CallDatabase.h"
#include "LineControl.h"
#include "SqliteCallDatabase.h"
#include "TapiControl.h"
#include "TapiLineControl.h"
#include "TelephonyLayer.h"
#include "WaveSoundDevice.h"
#include "mdlReg.h"

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <cmath>
#include <stdexcept>

namespace kalvo::test {

std::vector<int16_t> tone(int ms, int amplitude, int hz)
{
    std::vector<int16_t> frames(static_cast<size_t>(ms) * 8);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] =
            static_cast<int16_t>(amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / 8000.0));
    return frames;
}

void writeWav(const QString& path, const std::vector<int16_t>& frames)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write " + path.toStdString());
    const uint32_t data = static_cast<uint32_t>(frames.size() * 2);
    auto u32 = [&](uint32_t v) { file.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { file.write(reinterpret_cast<const char*>(&v), 2); };
    file.write("RIFF");
    u32(36 + data);
    file.write("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(16000);
    u16(2);
    u16(16);
    file.write("data");
    u32(data);
    file.write(reinterpret_cast<const char*>(frames.data()), data);
}

EngineRig::EngineRig(const std::map<QString, QString>& settings, double timeScale, const QString& conf)
    : m_timeBase(timeScale)
{
    const QString folder = m_home.programFolder();
    for (const char* sub : {"Greets", "Sound", "Log", "Calls", "Messages"})
        QDir().mkpath(folder + "/" + sub);
    writeWav(folder + "/Greets/Test.wav", tone(120, 4000, 300));
    writeWav(folder + "/beep.wav", tone(60, 4000, 1000));

    QFile confFile(QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF")));
    QDir().mkpath(QFileInfo(confFile).path());
    if (!confFile.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write telephony.conf");
    confFile.write((conf.isEmpty() ? QString("[Line0]\nname = Sim 0\nprovider = sim\n") : conf).toUtf8());
    confFile.close();
    if (!kalvo::telephony::reloadConfiguration())
        throw std::runtime_error("telephony configuration still in use by an earlier test");

    std::map<QString, QString> values = {{"cLogSys", "1"},        {"cLogCalls", "1"},
                                         {"Greeting", "Test"},    {"MassagesPath", messagesFolder()},
                                         {"RecordMessage", "1"},  {"NumOfRing", "1"},
                                         {"MaxRec", "5"},         {"SecSilence", "0"},
                                         {"cDropSilence", "0"},   {"ValSilence", "0"},
                                         {"ListMessageOnly", "0"}};
    for (const auto& [name, value] : settings)
        values[name] = value;
    for (const auto& [name, value] : values)
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name, 1, value);

    kalvo::TapiControl::ensureRegistered(QString::fromLocal8Bit(qgetenv("KALVO_BIN_DIR")));
    QString error;
    FormParts parts;
    parts.tapi = TapiLineControl::load(&error);
    if (!parts.tapi)
        throw std::runtime_error("line control: " + error.toStdString());
    parts.wave1 = std::make_unique<kalvo::sound::WaveSoundDevice>();
    parts.wavePlay = std::make_unique<kalvo::sound::WaveSoundDevice>();
    m_form = std::make_unique<frmMain>(folder, std::move(parts), Clock::system(), m_timeBase);
    m_sim = dynamic_cast<kalvo::sim::SimLine*>(kalvo::telephony::lineDevice(0));
}

EngineRig::~EngineRig()
{
    // As the program's exit does: the line is shut down before the form goes.
    m_form->engine().monitor().CloseLine(m_form->engine().state().LineIndex);
    // A refused open leaves its line initialised; release every line so the next test's
    // telephony configuration can load.
    LineControl& tapi = m_form->Tapi1();
    for (int i = 0; i < tapi.NumOfLines(); ++i) {
        try {
            tapi.LineShutdown(i);
        } catch (...) {
        }
    }
    m_form.reset();
}

void EngineRig::start()
{
    m_form->Form_Initialize();
}

static QStringList linesOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QString& line : QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts)) {
        // "time : message"
        const qsizetype at = line.indexOf(" : ");
        lines << (at < 0 ? line : line.mid(at + 3));
    }
    return lines;
}

QStringList EngineRig::sysLog() const
{
    return linesOf(m_form->log().folder() + m_form->log().systemLogName());
}

QStringList EngineRig::callsLog() const
{
    return linesOf(m_form->log().folder() + m_form->log().callsLogName());
}

bool EngineRig::sysLogHas(const QString& text) const
{
    for (const QString& line : sysLog())
        if (line.endsWith(text))
            return true;
    return false;
}

std::vector<std::map<QString, QString>> EngineRig::records()
{
    kalvo::CallDatabase& db = m_form->DataBase1();
    kalvo::QueryArray array;
    db.Query("Get *", array);
    std::vector<std::map<QString, QString>> out;
    for (int r = 1; r <= array.rows(); ++r) {
        std::map<QString, QString> record;
        for (const char* field : kalvo::SqliteCallDatabase::FieldNames)
            record[field] = array.at(r, db.FieldIndex(field));
        out.push_back(record);
    }
    return out;
}

} // namespace kalvo::test
