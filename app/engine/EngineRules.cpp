// The engine's rules that windows use too: finding lines, checking an address, and turning the
// program template into an argument vector.
#include "EngineRules.h"

#include "CurrentCall.h"
#include "LineControl.h"
#include "PrivateFiles.h"
#include "SoundCardBackend.h"
#include "VbError.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char* const kPlaceholders[] = {"<NUMBER>", "<NAME>", "<MESSAGE_PATH>", "<DATE>", "<TIME>"};

QString valueOf(int placeholder, const CurrentCall& call)
{
    switch (placeholder) {
    case 0:
        return call.CallerNumber;
    case 1:
        return call.CallerName;
    case 2:
        return call.MessageFile;
    case 3:
        return call.CallDate;
    default:
        return call.CallTime;
    }
}
} // namespace

namespace EngineRules {

int FindVoiceLine(LineControl& tapi, QString& deviceName)
{
    const int lines = tapi.NumOfLines();
    for (int i = 0; i < lines; ++i) {
        LineDevDetails details;
        tapi.LineGetDevDetails(i, details);
        if (details.TapiCapability && details.MediaAutomatedvoice) {
            deviceName = details.DeviceName;
            return i;
        }
    }
    return -2;
}

int FindLineByName(LineControl& tapi, const QString& deviceName)
{
    const int lines = tapi.NumOfLines();
    for (int i = 0; i < lines; ++i) {
        LineDevDetails details;
        tapi.LineGetDevDetails(i, details);
        if (details.DeviceName == deviceName)
            return i;
    }
    return -1;
}

bool IsValidEmail(const QString& address)
{
    const qsizetype at = address.indexOf('@');
    if (at < 0 || !address.contains('.') || address.size() < 6)
        return false;
    const QString domain = address.mid(at + 1);
    if (domain.contains('@') || domain.contains(' ') || !domain.contains('.'))
        return false;
    if (address.contains('"'))
        return false;
    for (const QChar c : QStringLiteral("!#$%^&*()=+{}[]|\\;:'/?>,< "))
        if (address.contains(c))
            return false;
    return !address.contains("..");
}

bool IsValidPassword(const QString& password)
{
    static const QRegularExpression keys("^[0-9#A-D]{4,}$");
    return keys.match(password).hasMatch();
}

bool IsValidHostName(const QString& server)
{
    static const QRegularExpression hostAndPort("^(?:(?:[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)(?:\\.["
                                                "A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*"
                                                "|\\[[0-9A-Fa-f:.]+\\])(?::([0-9]{1,5}))?$");
    const QRegularExpressionMatch match = hostAndPort.match(server);
    if (!match.hasMatch() || server.size() > 253 + 6)
        return false;
    const QString port = match.captured(1);
    return port.isEmpty() || (port.toInt() >= 1 && port.toInt() <= 65535);
}

bool ProgramExists(const QString& commandTemplate)
{
    return ProgramExists(splitCommandLine(commandTemplate));
}

bool ProgramExists(const QStringList& argv)
{
    if (argv.isEmpty() || argv.first().isEmpty())
        return false;
    const QString program = argv.first();
    if (program.contains('/')) {
        const QFileInfo file(program);
        return file.isFile() && file.isExecutable();
    }
    return !QStandardPaths::findExecutable(program).isEmpty();
}

QString ReplacePlaceholders(const QString& text, const CurrentCall& call)
{
    QString result = text;
    for (int p = 0; p < 5; ++p) {
        const QString placeholder = QString::fromLatin1(kPlaceholders[p]);
        const qsizetype at = result.indexOf(placeholder);
        if (at >= 0)
            result.replace(at, placeholder.size(), valueOf(p, call));
    }
    return result;
}

QStringList ReplacePlaceholders(const QStringList& arguments, const CurrentCall& call)
{
    QStringList result = arguments;
    for (int p = 0; p < 5; ++p) {
        const QString placeholder = QString::fromLatin1(kPlaceholders[p]);
        for (QString& argument : result) {
            const qsizetype at = argument.indexOf(placeholder);
            if (at >= 0) {
                argument.replace(at, placeholder.size(), valueOf(p, call));
                break;
            }
        }
    }
    return result;
}

QStringList splitCommandLine(const QString& text)
{
    QStringList words;
    QString word;
    bool inWord = false;
    enum class Quote { None, Single, Double } quote = Quote::None;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        switch (quote) {
        case Quote::Single:
            if (c == u'\'')
                quote = Quote::None;
            else
                word += c;
            break;
        case Quote::Double:
            if (c == u'"')
                quote = Quote::None;
            else if (c == u'\\' && i + 1 < text.size() && (text.at(i + 1) == u'"' || text.at(i + 1) == u'\\'))
                word += text.at(++i);
            else
                word += c;
            break;
        case Quote::None:
            if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') {
                if (inWord)
                    words << word;
                word.clear();
                inWord = false;
                break;
            }
            inWord = true;
            if (c == u'\'')
                quote = Quote::Single;
            else if (c == u'"')
                quote = Quote::Double;
            else if (c == u'\\' && i + 1 < text.size())
                word += text.at(++i);
            else
                word += c;
            break;
        }
    }
    if (inWord)
        words << word;
    return words;
}

bool startDetached(const QStringList& argv, int* errorNumber, QString* error)
{
    if (argv.isEmpty() || argv.front().isEmpty()) {
        *errorNumber = kalvo::VbInvalidProcedureCall;
        *error = QString::fromStdString(kalvo::vbErrorDescription(kalvo::VbInvalidProcedureCall));
        return false;
    }
    // A detached start cannot report a program that is not there, so that is looked at first.
    if (!ProgramExists(argv)) {
        *errorNumber = kalvo::VbFileNotFound;
        *error =
            QString::fromStdString(kalvo::vbErrorDescription(kalvo::VbFileNotFound)) + ": " + argv.front();
        return false;
    }
    QProcess process;
    process.setProgram(argv.front());
    process.setArguments(argv.mid(1));
    process.setProcessEnvironment(kalvo::wave::SoundCardBackend::programEnvironment());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // A session of its own: the program outlives Kalvo and no signal meant for Kalvo reaches it.
    // The user's own file mask, not the program's owner-only one.
    const mode_t mask = PrivateFiles::userMask();
    process.setChildProcessModifier([mask] {
        ::setsid();
        ::umask(mask);
    });
    if (process.startDetached())
        return true;
    *errorNumber = kalvo::VbFileNotFound;
    *error = QString::fromStdString(kalvo::vbErrorDescription(kalvo::VbFileNotFound)) + ": " + argv.front();
    return false;
}

} // namespace EngineRules
