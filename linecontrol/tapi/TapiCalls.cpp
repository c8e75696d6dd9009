// Tapi: the call operations on the current call of an open line.
#include "Tapi.h"

#include "TapiBuffers.h"
#include "TapiErrorText.h"

#include <QDateTime>
#include <QLocale>

namespace korvan {

namespace {

// The locale's time with seconds, the way the host writes call times.
QString timeWithSeconds(const QTime& time)
{
    const QLocale locale;
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains('s')) {
        const qsizetype minutes = format.indexOf("mm");
        if (minutes > 0)
            format.insert(minutes + 2, format.mid(minutes - 1, 1) + "ss");
        else
            format = "HH:mm:ss";
    }
    return locale.toString(time, format);
}

} // namespace

int32_t Tapi::LineAccept(int32_t lineIndex)
{
    return lineAccept(m_table.line(lineIndex).hCall, "", 0);
}

int32_t Tapi::LineCallerIDFlags(int32_t lineIndex)
{
    (void)m_table.line(lineIndex);
    return static_cast<int32_t>(m_lastCallerIdFlags);
}

int32_t Tapi::LineAnswer(int32_t lineIndex)
{
    return lineAnswer(m_table.line(lineIndex).hCall, "", 0);
}

int32_t Tapi::LineDrop(int32_t lineIndex)
{
    return lineDrop(m_table.line(lineIndex).hCall, "", 0);
}

int32_t Tapi::LineMakeCall(int32_t lineIndex, const std::string& number)
{
    LineEntry& entry = m_table.line(lineIndex);
    LINECALLPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwCallParamFlags = LINECALLPARAMFLAGS_SECURE;
    const LONG result = lineMakeCall(entry.hLine, &entry.hCall, number.c_str(), 0, &params);
    if (result >= 0 || GetTapiStrError(result) == kUnknownTapiError)
        m_table.setCallByLine(entry.hLine, entry.hCall);
    return result;
}

int32_t Tapi::LineGenerateDigits(int32_t lineIndex, const std::string& digits)
{
    return lineGenerateDigits(m_table.line(lineIndex).hCall, LINEDIGITMODE_DTMF, digits.c_str(), 0);
}

int32_t Tapi::LineMonitorDigits(int32_t lineIndex, bool status)
{
    const HCALL hCall = m_table.line(lineIndex).hCall;
    const LONG result = lineMonitorDigits(hCall, status ? LINEDIGITMODE_DTMF : 0);
    // Any negative code is a failure, known to the text table or not; request ids do not occur here.
    return result < 0 ? result : 0;
}

void Tapi::lineSetTerminal(int32_t lineIndex)
{
    const LineEntry& entry = m_table.line(lineIndex);
    ::lineSetTerminal(entry.hLine, 0, entry.hCall, LINECALLSELECT_LINE, LINETERMMODE_MEDIABIDIRECT, 2, 1);
}

int32_t Tapi::LineGetCallInf(int32_t lineIndex, CallInf& callInfo)
{
    const LineEntry& entry = m_table.line(lineIndex);
    CallInfoBuffer info;
    const LONG result = lineGetCallInfo(entry.hCall, info.get());
    if (result != 0)
        return result;
    const DWORD media = info.get()->dwMediaMode;
    const auto flag = [media](DWORD bit) { return (media & bit) != 0 ? VTrue : VFalse; };
    callInfo.Mode.UNKNOWN = flag(LINEMEDIAMODE_UNKNOWN);
    callInfo.Mode.INTERACTIVEVOICE = flag(LINEMEDIAMODE_INTERACTIVEVOICE);
    callInfo.Mode.AUTOMATEDVOICE = flag(LINEMEDIAMODE_AUTOMATEDVOICE);
    callInfo.Mode.DATAMODEM = flag(LINEMEDIAMODE_DATAMODEM);
    callInfo.Mode.G3FAX = flag(LINEMEDIAMODE_G3FAX);
    const QDateTime now = QDateTime::currentDateTime();
    callInfo.sTime = timeWithSeconds(now.time()).toStdString();
    callInfo.sDate = QLocale().toString(now.date(), QLocale::ShortFormat).toStdString();
    callInfo.sCallerName = m_lastCallerName;
    callInfo.sCallerNumber = m_lastCallerNumber;
    callInfo.sDeviceName = entry.DeviceName;
    return result;
}

} // namespace korvan
