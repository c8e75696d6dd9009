// Stand-ins for an absent line control and sound component.
#include "NullDevices.h"

#include "VbError.h"

namespace {
// The line control's answer for any line when it has no table.
[[noreturn]] void noSuchLine()
{
    throw kalvo::VbError(kalvo::VbSubscriptOutOfRange);
}
} // namespace

void NoLineControl::LineGetDevDetails(int, LineDevDetails&)
{
    noSuchLine();
}
bool NoLineControl::LineOpened(int)
{
    noSuchLine();
}
bool NoLineControl::LineConnected(int)
{
    noSuchLine();
}
int NoLineControl::LineOpen(int, int, int)
{
    noSuchLine();
}
int NoLineControl::LineShutdown(int)
{
    noSuchLine();
}
int NoLineControl::LineAnswer(int)
{
    noSuchLine();
}
int NoLineControl::LineDrop(int)
{
    noSuchLine();
}
int NoLineControl::LineMonitorDigits(int, bool)
{
    noSuchLine();
}
int NoLineControl::LineGetWaveOutID(int)
{
    noSuchLine();
}
int NoLineControl::lineGetID(int, int)
{
    noSuchLine();
}

QString NoLineControl::GetTapiStrError(int number)
{
    return number == 0 ? QStringLiteral("Success") : QStringLiteral("No telephony driver");
}

void NoWaveControl::WaveFileInfo(const QString&, kalvo::sound::WaveFileInfoRecord&) const
{
    throw kalvo::VbError(kalvo::VbFileNotFound);
}

QString NoWaveControl::errorText(int32_t number)
{
    return number == 0 ? QStringLiteral("Success") : QStringLiteral("No sound device");
}
