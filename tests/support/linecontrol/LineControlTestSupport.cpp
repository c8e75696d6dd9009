// Helpers of the line control tests.
#include "LineControlTestSupport.h"

#include <QApplication>
#include <stdexcept>

namespace kalvo::test {

void ensureWidgetApplication()
{
    static int argc = 1;
    static char name[] = "linecontrol-test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        new QApplication(argc, argv); // lives for the whole test process
}

ControlHome::ControlHome(const std::string& confText)
{
    ensureWidgetApplication();
    if (!useTelephonyConf(confText))
        throw std::runtime_error("the telephony configuration could not be reloaded");

    if (!TapiControl::ensureRegistered(binaryPath("")))
        throw std::runtime_error("libkorvan.so could not be registered");
    QString error;
    m_control = TapiControl::create(&error);
    if (!m_control)
        throw std::runtime_error(error.toStdString());

    TapiControl* c = m_control.get();
    const auto log = [this](const QString& text) { m_events << text; };
    QObject::connect(c, &TapiControl::ProcError, [log](int i, int p, int e) {
        log(QString("ProcError(%1,%2,%3)").arg(i).arg(p).arg(e));
    });
    QObject::connect(c, &TapiControl::Dialing, [log](int i) { log(QString("Dialing(%1)").arg(i)); });
    QObject::connect(c, &TapiControl::InComeCall, [log](int i) { log(QString("InComeCall(%1)").arg(i)); });
    QObject::connect(c, &TapiControl::MonitorDigit,
                     [log](int i, const QString& d) { log(QString("MonitorDigit(%1,%2)").arg(i).arg(d)); });
    QObject::connect(c, &TapiControl::Idle, [log](int i) { log(QString("Idle(%1)").arg(i)); });
    QObject::connect(c, &TapiControl::Disconnected,
                     [log](int i) { log(QString("Disconnected(%1)").arg(i)); });
    QObject::connect(c, &TapiControl::Connected, [log](int i) { log(QString("Connected(%1)").arg(i)); });
    QObject::connect(c, &TapiControl::Ring,
                     [log](int i, int n) { log(QString("Ring(%1,%2)").arg(i).arg(n)); });
    QObject::connect(c, &TapiControl::CallerID, [log](int i, const QString& name, const QString& number) {
        log(QString("CallerID(%1,%2,%3)").arg(i).arg(name, number));
    });
    QObject::connect(c, &TapiControl::DoneGenerateDigits,
                     [log](int i) { log(QString("DoneGenerateDigits(%1)").arg(i)); });
    QObject::connect(c, &TapiControl::LineState, [log](int i, bool inService, const QString& reason) {
        log(QString("LineState(%1,%2,%3)").arg(i).arg(inService ? "True" : "False", reason));
    });
}

ControlHome::~ControlHome()
{
    // Release every line initialisation of this test's table (open or not), so the next test
    // starts from a quiet layer; entries never initialised just give the API's refusal.
    try {
        for (int i = 0; i <= m_control->NumOfLines(); ++i)
            m_control->LineShutdown(i);
    } catch (const std::exception&) {
        // No table (never initialised) or fewer entries than devices: nothing more to release.
    }
    pump(5);
    m_control.reset();
}

kalvo::sim::SimLine& ControlHome::sim(DWORD deviceId) const
{
    kalvo::sim::SimLine* line = simLine(deviceId);
    if (line == nullptr)
        throw std::runtime_error("no sim line " + std::to_string(deviceId));
    return *line;
}

bool ControlHome::waitForEvents(int count, int timeoutMs)
{
    return waitUntil([&] { return m_events.size() >= count; }, timeoutMs);
}

bool ControlHome::waitForEvent(const QString& prefix, int timeoutMs)
{
    return waitUntil(
        [&] {
            for (const QString& e : m_events) {
                if (e.startsWith(prefix))
                    return true;
            }
            return false;
        },
        timeoutMs);
}

void ControlHome::initialiseAndOpen(int index)
{
    if (m_control->LineInitialize() != 0)
        throw std::runtime_error("LineInitialize failed");
    const int result = m_control->LineOpen(index, 4, 8);
    if (result != 0)
        throw std::runtime_error("LineOpen failed: " + m_control->GetTapiStrError(result).toStdString());
}

} // namespace kalvo::test
