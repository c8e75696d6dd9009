// The main form on a simulated line, for the engine tests.
#include "EngineRig.h"

#include "AnsweringEngine.h"
#include "CallDatabase.h"
#include "FrameCommands.h"
#include "LineControl.h"
#include "SoundFiles.h"
#include "SqliteCallDatabase.h"
#include "TapiControl.h"
#include "TapiLineControl.h"
#include "TelephonyLayer.h"
#include "WaveSoundDevice.h"
#include "mdlReg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QPushButton>
#include <QTabBar>
#include <QTextStream>
#include <QTimer>
#include <cmath>
#include <sndfile.h>
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

namespace {
constexpr size_t kWindow = 400;

double windowRms(const int16_t* samples)
{
    double sum = 0;
    for (size_t i = 0; i < kWindow; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(kWindow));
}

// Energy at hz relative to the window's whole energy (one Goertzel bin).
double shareOf(const int16_t* samples, double hz)
{
    double re = 0, im = 0, total = 0;
    for (size_t i = 0; i < kWindow; ++i) {
        re += samples[i] * std::cos(2 * M_PI * hz * double(i) / 8000);
        im += samples[i] * std::sin(2 * M_PI * hz * double(i) / 8000);
        total += double(samples[i]) * samples[i];
    }
    return total > 0 ? 2 * (re * re + im * im) / (double(kWindow) * total) : 0;
}

template <typename Keep> std::vector<size_t> windowsWhere(const std::vector<int16_t>& heard, Keep keep)
{
    std::vector<size_t> starts;
    for (size_t at = 0; at + kWindow <= heard.size(); at += kWindow / 2)
        if (windowRms(heard.data() + at) > 300 && keep(heard.data() + at))
            starts.push_back(at);
    return starts;
}
} // namespace

std::vector<size_t> windowsOf(const std::vector<int16_t>& heard, double hz)
{
    return windowsWhere(heard, [hz](const int16_t* w) { return shareOf(w, hz) > 0.5; });
}

std::vector<size_t> soundWindows(const std::vector<int16_t>& heard, const std::vector<double>& tones)
{
    return windowsWhere(heard, [&tones](const int16_t* w) {
        for (double hz : tones)
            if (shareOf(w, hz) > 0.5)
                return false;
        return true;
    });
}

void writeWav(const QString& path, const std::vector<int16_t>& frames)
{
    if (!writeSound(path, frames, 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16))
        throw std::runtime_error("cannot write " + path.toStdString());
}

QString menusOpenTheirTabs(frmMain& form, const char* toolbarKey, std::initializer_list<const char*> menus)
{
    if (!form.commands().action(toolbarKey)->isEnabled())
        return QString(toolbarKey) + " is disabled";
    const std::vector<ShownTab> shown = openFromMenus(form, menus);
    for (int tab = 0; tab < int(shown.size()); ++tab)
        if (shown[tab].tab != tab || shown[tab].frames != QStringList{QString::number(tab + 1)})
            return QString("%1 showed tab %2 with frames %3")
                .arg(menus.begin()[tab])
                .arg(shown[tab].tab)
                .arg(shown[tab].frames.join(','));
    return {};
}

QString storedSetting(const char* name)
{
    return mdlReg::GetRegString(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name);
}

std::vector<ShownTab> openFromMenus(frmMain& form, std::initializer_list<const char*> menus)
{
    std::vector<ShownTab> shown;
    for (const char* menu : menus) {
        ShownTab tab;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            if (auto* strip = dialog->findChild<QTabBar*>("TabStrip1"))
                tab.tab = strip->currentIndex();
            for (int i = 1; i <= 4; ++i)
                if (auto* frame = dialog->findChild<QWidget*>(QString("Frame%1").arg(i));
                    frame && frame->isVisible())
                    tab.frames << QString::number(i);
            dialog->findChild<QPushButton*>("cmdCancel")->click();
        });
        form.menuClick(menu);
        shown.push_back(tab);
    }
    return shown;
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

void EngineRig::addCall(const QString& file, const std::vector<int16_t>& message)
{
    kalvo::CallDatabase& db = m_form->DataBase1();
    db.AddNew();
    for (const char* field : {"Call_Name", "Call_Number", "Call_Time", "Call_Date"})
        db.SetField(field, QString("x"));
    db.SetField("Call_Massage_Name", file);
    db.SetField("Type", file.isEmpty() ? QString("-1") : QString("0.5"));
    db.SetField("Read", qint16(0));
    db.Update();
    if (!file.isEmpty())
        writeWav(messagesFolder() + file, message.empty() ? tone(100, 6000, 500) : message);
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
