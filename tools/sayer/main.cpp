// Sayer: the text-to-speech helper. "-gc" serves the greeting creator on link 7; "--register"
// records in the registry whether speech works; "--to-wave" speaks texts into wave files and exits.
#include "SayerService.h"
#include "SpeakerOutput.h"
#include "SpeechEngine.h"

#include "SayerRegistration.h"
#include "WaveFileWriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace {

// The link number the greeting creator connects to.
constexpr int GreetingCreatorLink = 7;

// Exit codes: 0 done, 1 speech does not work here, 2 bad use or a registry/link failure.
constexpr int ExitSpeechUnavailable = 1;
constexpr int ExitFailure = 2;

void logLine(const QString& text)
{
    std::fprintf(stderr, "Sayer: %s\n", qPrintable(text));
}

int registerHelper(kalvo::sayer::SpeechEngine& engine)
{
    using kalvo::sayer::SayerRegistration;
    QString error;
    if (!engine.initialize(error)) {
        logLine(QStringLiteral("espeak-ng does not start (%1); speech unregistered").arg(error));
        if (!SayerRegistration::unregisterHelper(error)) {
            logLine(error);
            return ExitFailure;
        }
        return ExitSpeechUnavailable;
    }
    if (!SayerRegistration::registerHelper(QCoreApplication::applicationFilePath(), error)) {
        logLine(error);
        return ExitFailure;
    }
    return 0;
}

// Speaks each text of file/text pairs into its file (remote access's prompts); all or an error.
int writeWaves(kalvo::sayer::SpeechEngine& engine, const QStringList& pairs)
{
    if (pairs.isEmpty() || pairs.size() % 2 != 0) {
        logLine(QStringLiteral("--to-wave needs pairs of a file and a text"));
        return ExitFailure;
    }
    QString error;
    if (!engine.initialize(error)) {
        logLine(QStringLiteral("espeak-ng does not start: %1").arg(error));
        return ExitSpeechUnavailable;
    }
    for (qsizetype i = 0; i < pairs.size(); i += 2) {
        QByteArray pcm;
        if (!engine.synthesize(pairs[i + 1], pcm, error) ||
            !kalvo::sayer::WaveFileWriter::write(pairs[i], pcm, engine.sampleRate(), error)) {
            logLine(QStringLiteral("cannot write %1: %2").arg(pairs[i], error));
            return ExitFailure;
        }
    }
    return 0;
}

int serve(kalvo::sayer::SpeechEngine& engine, kalvo::sayer::SayerService::Lifetime lifetime)
{
    QString error;
    if (!engine.initialize(error)) {
        logLine(QStringLiteral("espeak-ng does not start: %1").arg(error));
        return ExitSpeechUnavailable;
    }
    kalvo::sayer::SpeakerOutput speaker;
    kalvo::sayer::SayerService service(engine, speaker, lifetime);
    QObject::connect(&service, &kalvo::sayer::SayerService::quitRequested, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (!service.start(GreetingCreatorLink, error)) {
        logLine(QStringLiteral("cannot open link %1: %2").arg(GreetingCreatorLink).arg(error));
        return ExitFailure;
    }
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Sayer"));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("Text-to-speech helper of Kalvo."));
    parser.addHelpOption();
    const QCommandLineOption serveOption(QStringLiteral("gc"),
                                         QStringLiteral("Serve the greeting creator on link 7."));
    const QCommandLineOption registerOption(
        QStringLiteral("register"),
        QStringLiteral("Record in the registry whether speech works, then exit."));
    const QCommandLineOption lingerOption(
        QStringLiteral("linger"),
        QStringLiteral("Milliseconds to wait for the program to reconnect before quitting (default 5000)."),
        QStringLiteral("ms"), QStringLiteral("5000"));
    const QCommandLineOption waveOption(
        QStringLiteral("to-wave"),
        QStringLiteral("Speak each text of the file/text pairs that follow into its wave file, then exit."));
    parser.addOptions({serveOption, registerOption, lingerOption, waveOption});
    parser.addPositionalArgument(QStringLiteral("file text"), QStringLiteral("With --to-wave: pairs."));
    parser.process(app);

    bool lingerOk = false;
    const int linger = parser.value(lingerOption).toInt(&lingerOk);
    if (!lingerOk || linger < 0) {
        logLine(QStringLiteral("--linger needs a number of milliseconds"));
        return ExitFailure;
    }

    // One synthesiser per process: espeak-ng keeps its state in globals.
    kalvo::sayer::SpeechEngine engine;
    if (parser.isSet(registerOption))
        return registerHelper(engine);
    if (parser.isSet(waveOption))
        return writeWaves(engine, parser.positionalArguments());
    if (parser.isSet(serveOption)) {
        kalvo::sayer::SayerService::Lifetime lifetime;
        lifetime.afterDisconnect = std::chrono::milliseconds(linger);
        return serve(engine, lifetime);
    }
    parser.showHelp(ExitFailure);
}
