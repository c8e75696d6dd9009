// The greeting creator's link to the text-to-speech helper.
#include "SpeechLink.h"

#include "HelperFiles.h"
#include "LocalLink.h"
#include "mdlReg.h"

#include <QProcess>

namespace {
// The link number the helper serves the greeting creator on.
constexpr int kLinkNumber = 7;
} // namespace

SpeechLink::SpeechLink(std::unique_ptr<kalvo::Link> link, QObject* parent)
    : QObject(parent), m_link(link ? std::move(link) : std::make_unique<kalvo::LocalLink>())
{
    connect(m_link.get(), &kalvo::Link::DataArrival, this, &SpeechLink::DataArrival);
}

SpeechLink::~SpeechLink() = default;

bool SpeechLink::SapiInstalled()
{
    return mdlReg::GetRegString(mdlReg::HKeyClassesRoot, "SAPI.SpVoice", "") != mdlReg::kNotFound;
}

QString SpeechLink::helperPath()
{
    // Installed, the helper is in the private folder, not beside the program.
    return HelperFiles::programPath("Sayer");
}

std::optional<QStringList> SpeechLink::voicesOf(const QString& reply)
{
    if (!reply.startsWith(QLatin1String("GVCS:")))
        return std::nullopt;
    return reply.mid(5).split(QStringLiteral("\r\n"));
}

bool SpeechLink::Start()
{
    if (!SapiInstalled())
        return false;
    const QString helper = helperPath();
    // The helper is not waited for and no handle is kept: it quits on "ULD:" or when left alone.
    if (!helper.isEmpty())
        QProcess::startDetached(helper, {"-gc"});
    if (!m_link->Connect(kLinkNumber))
        m_link->Connect(kLinkNumber);
    if (m_link->Connect(kLinkNumber))
        m_link->Send("GVC:");
    return true;
}

bool SpeechLink::isUp()
{
    return !m_helperQuit && m_link->Connect(kLinkNumber);
}

void SpeechLink::send(const QString& message)
{
    if (isUp())
        m_link->Send(message);
}

void SpeechLink::unload()
{
    send("ULD:");
    // The helper is gone now; later sends are skipped without waiting for it.
    m_helperQuit = true;
}

void SpeechLink::Disconnect()
{
    m_link->Disconnect();
}

void SpeechLink::DataArrival(const QString& text)
{
    if (const auto voices = voicesOf(text))
        emit voicesArrived(*voices);
    else if (text.startsWith(QLatin1String("STWD:")))
        emit waveWritten(text.mid(5));
    else if (text.startsWith(QLatin1String("STWE:")))
        emit waveFailed(text.mid(5));
}
