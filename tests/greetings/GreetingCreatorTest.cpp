// The greeting creator on the main form: names and messages offscreen; a tone recorded from the sound
// card of a private PulseAudio server; the real Sayer over the real link for voices, rate and a spoken
// greeting that a caller on the simulated line then hears at 8000 Hz.
#include "EngineRig.h"
#include "MessageBox.h"
#include "ModalDialogs.h"
#include "PrivatePulse.h"
#include "SoundCardBackend.h"
#include "SoundFiles.h"
#include "SpeechLink.h"
#include "frmGreetC.h"
#include "mdlReg.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QtTest>
#include <sndfile.h>

using kalvo::test::EngineRig;
using Values = std::map<QString, QString>;

using kalvo::test::onDialog;

namespace {
QString stored(const char* name)
{
    return mdlReg::GetRegString(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name);
}

// Registers the built helper as the speech system, as "Sayer --register" does where espeak-ng works.
void registerSpeech()
{
    mdlReg::SetRegValue(mdlReg::HKeyClassesRoot, "SAPI.SpVoice", "", 1, kalvo::test::binaryPath("Sayer"));
}

// Frames of a sound file (0 when unreadable) and its rate and channels.
sf_count_t framesOf(const QString& path, int* rate = nullptr, int* channels = nullptr)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return 0;
    sf_close(file);
    if (rate)
        *rate = info.samplerate;
    if (channels)
        *channels = info.channels;
    return info.frames;
}

// From the first to the last sample above threshold.
std::vector<int16_t> loudPart(const std::vector<int16_t>& samples, int threshold)
{
    auto loud = [&](int16_t s) { return std::abs(static_cast<int>(s)) > threshold; };
    auto first = std::find_if(samples.begin(), samples.end(), loud);
    auto last = std::find_if(samples.rbegin(), samples.rend(), loud).base();
    return first < last ? std::vector<int16_t>(first, last) : std::vector<int16_t>();
}

} // namespace

class GreetingCreatorTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<frmGreetC> creator(EngineRig& rig)
    {
        frmMain& form = rig.form();
        auto dialog = std::make_unique<frmGreetC>(form.WavePlay(), form.log(), form.playbackFlags(),
                                                  rig.programFolder(), m_timeBase,
                                                  [&form](const QString& name) { form.GreetingSaved(name); });
        dialog->show();
        return dialog;
    }
    // Chooses the private server's "Speaker" device as the options dialog would. @return false when
    // it does not appear.
    bool useSpeaker(EngineRig& rig)
    {
        if (!QTest::qWaitFor([&] { return speaker(rig) >= 0; }, 5000))
            return false;
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "Sound", 1,
                            QString::number(speaker(rig)));
        return true;
    }
    // The sound card's position of the private server's "Speaker" device.
    int32_t speaker(EngineRig& rig)
    {
        WaveControl& wave = rig.form().WavePlay();
        for (int32_t i = 0; i < wave.DeviceCount(); ++i) {
            kalvo::sound::SoundDeviceCaps caps;
            if (wave.DeviceCaps(i, caps) == 0 && caps.name == "Speaker")
                return i;
        }
        return -1;
    }
    // Records what plays into "linein" for the length of the tone, through the creator's buttons.
    void recordTone(frmGreetC& dialog, const QString& wav)
    {
        dialog.cmdRecClick();
        QTest::qWait(300);
        QProcess player;
        player.setProcessEnvironment(m_pulse->environment());
        player.start("paplay", {"-d", "linein", wav});
        QVERIFY(player.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(player.state() == QProcess::NotRunning, 20000);
        QTest::qWait(300);
        dialog.cmdStopRecClick();
    }
    // Speaks text into "sayertmp.wav" through "Create Greeting" and waits for the new file.
    sf_count_t createFromText(EngineRig& rig, frmGreetC& dialog)
    {
        const QString file = rig.programFolder() + "/sayertmp.wav";
        QFile::remove(file);
        dialog.cmdCreateGreetingClick();
        sf_count_t frames = 0;
        if (!QTest::qWaitFor([&] { return (frames = framesOf(file)) > 0; }, 30000))
            return 0;
        return frames;
    }

    kalvo::test::ScopedEnv m_path{"PATH", QFile::encodeName(qEnvironmentVariable("KALVO_BIN_DIR")) + ":" +
                                              qgetenv("PATH")};
    ScaledTimeBase m_timeBase{1.0};
    std::unique_ptr<kalvo::test::PrivatePulse> m_pulse;
    std::unique_ptr<kalvo::wave::SoundCardBackend> m_backend;

private slots:
    void initTestCase()
    {
        m_pulse = std::make_unique<kalvo::test::PrivatePulse>();
        if (m_pulse->started())
            m_backend = std::make_unique<kalvo::wave::SoundCardBackend>();
    }
    void cleanupTestCase()
    {
        m_backend.reset();
        m_pulse.reset();
    }
    void init() { MessageBox::clearShown(); }

    // Names with ? * : > < | \ " or / are refused with the not-legal message; OK with nothing made
    // says "Empty Message" and keeps the form; without the speech system the text tab says so and
    // returns to "Speaker"; closing without a helper asks nothing. The quick strip's "Add" and the
    // Tools menu open the creator.
    void namesMessagesAndOpening()
    {
        EngineRig rig;
        for (const QChar c : {'?', '*', ':', '>', '<', '|', '\\', '"', '/'})
            QVERIFY2(!frmGreetC::IsLegalGreetingName(QString("a") + c + "b"), qPrintable(QString(c)));
        QVERIFY(frmGreetC::IsLegalGreetingName(" Back at 5 pm. "));

        auto dialog = creator(rig);
        QCOMPARE(dialog->windowTitle(), QString("Greeting Creator"));
        QVERIFY(!dialog->SapiPresent());
        dialog->cmdOKClick();
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Empty Message"});
        QVERIFY(dialog->isVisible());

        MessageBox::clearShown();
        dialog->findChild<QTabBar*>("TabStrip1")->setCurrentIndex(1);
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Please Install SAPI 5.1 From Microsoft"});
        QCOMPARE(dialog->findChild<QTabBar*>("TabStrip1")->currentIndex(), 0);
        QVERIFY(dialog->findChild<QFrame*>("Frame1")->isVisible());
        QVERIFY(!dialog->findChild<QFrame*>("Frame2")->isVisible());

        MessageBox::clearShown();
        dialog->reject();
        QVERIFY(!dialog->isVisible());
        QVERIFY(MessageBox::shownTexts().isEmpty());

        for (const char* command : {"QuickAdd", "mnuGreetingCreator"}) {
            bool opened = false;
            onDialog("frmGreetC", [&](QWidget* d) {
                opened = true;
                static_cast<QDialog*>(d)->reject();
            });
            if (command == QLatin1String("QuickAdd"))
                rig.form().TBQuickOptionButtonClick("Add");
            else
                rig.form().menuClick(command);
            QVERIFY2(opened, command);
        }
    }

    // Kalvo ending while a greeting is recorded: asked from the window, "No" throws the take away;
    // without questions (a signal) the take is kept and offered again when the creator opens, and
    // no call is made of it. Closing with a take asks first, and only "Yes" discards it.
    void exitDuringRecording()
    {
        KALVO_REQUIRE_PULSE(*m_pulse);
        EngineRig rig;
        QVERIFY(useSpeaker(rig));
        const QString take = rig.programFolder() + "/spktmp.wav";
        for (const bool askUser : {true, false}) {
            auto dialog = creator(rig);
            dialog->cmdRecClick();
            QVERIFY(rig.form().WavePlay().IsRecording());
            QTest::qWait(300);
            if (askUser)
                MessageBox::scriptAnswers({MessageBox::No});
            dialog->finishOnExit(askUser);
            QVERIFY(!dialog->isVisible() && !rig.form().WavePlay().IsRecording());
            QCOMPARE(QFile::exists(take), !askUser);
        }
        auto again = creator(rig);
        QVERIFY(again->SpeakerRecorded() && again->HasGreeting());
        MessageBox::scriptAnswers({MessageBox::No});
        again->reject();
        QVERIFY(again->isVisible() && QFile::exists(take));
        MessageBox::scriptAnswers({MessageBox::Yes});
        again->reject();
        QVERIFY(!again->isVisible() && !QFile::exists(take));
        QVERIFY(rig.records().empty());
    }

    // A 600 Hz tone played into the card's input is recorded into "spktmp.wav" at 8000 Hz mono 16-bit
    // with its pitch and length; closing while recording is refused; the greeting saved under a
    // trimmed name becomes the setting, the main window's choice and the engine's file.
    void recordsAToneAndSavesIt()
    {
        KALVO_REQUIRE_PULSE(*m_pulse);
        EngineRig rig;
        QVERIFY(useSpeaker(rig));
        const QString wav = rig.programFolder() + "/say.wav";
        QVERIFY(kalvo::test::writeSound(wav, kalvo::test::tone(600, 12000, 8000, 12000), 8000, 1,
                                        SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        QSignalSpy saved(&rig.form(), &frmMain::greetingSaved);
        auto dialog = creator(rig);

        dialog->cmdRecClick();
        QVERIFY(rig.form().WavePlay().IsRecording());
        dialog->reject();
        QVERIFY2(dialog->isVisible(), "closing while recording is refused");
        dialog->cmdStopRecClick();
        recordTone(*dialog, wav);
        QVERIFY(dialog->SpeakerRecorded() && dialog->HasGreeting());
        QVERIFY(rig.sysLogHas(QString("Start RecMessage[Device:%1 1, 1, 16, 8000]->").arg(speaker(rig)) +
                              rig.form().WavePlay().RecordErrorText(0)));
        int rate = 0, channels = 0;
        const auto recorded = kalvo::test::readSound(rig.programFolder() + "/spktmp.wav", &rate, &channels);
        QCOMPARE(rate, 8000);
        QCOMPARE(channels, 1);
        const auto heard = loudPart(recorded, 2000);
        qInfo("recorded tone: %zu loud frames of 12000 played, 600 Hz share %.3f", heard.size(),
              kalvo::test::toneShare(heard, 600, 8000));
        QVERIFY2(std::abs(static_cast<int>(heard.size()) - 12000) < 800,
                 qPrintable(QString::number(heard.size())));
        QVERIFY(kalvo::test::toneShare(heard, 600, 8000) > 0.9);

        // A name of spaces only, or one that would leave the folder, is refused and the form stays.
        MessageBox::clearShown();
        dialog->findChild<QLineEdit*>("txtGreetingName")->setText("   ");
        dialog->cmdOKClick();
        dialog->findChild<QLineEdit*>("txtGreetingName")->setText("../Hello");
        dialog->cmdOKClick();
        QCOMPARE(MessageBox::shownTexts(),
                 (QStringList{"Enter Greeting Name", "Greeting name with ? \\ / | * < > : \" is not legal"}));
        QVERIFY(dialog->isVisible());
        dialog->findChild<QLineEdit*>("txtGreetingName")->setText("  Hello  ");
        dialog->cmdOKClick();
        QVERIFY(!dialog->isVisible());
        const QString greeting = rig.programFolder() + "/Greets/Hello.wav";
        QCOMPARE(kalvo::test::readSound(greeting), recorded);
        QVERIFY(!QFile::exists(rig.programFolder() + "/spktmp.wav"));
        QCOMPARE(stored("Greeting"), QString("Hello"));
        // Greetings are the owner's alone, like messages.
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ReadOther | QFileDevice::WriteOther;
        QCOMPARE(QFile::permissions(greeting) & others, QFileDevice::Permissions());
        QCOMPARE(rig.form().findChild<QComboBox*>("cmbDefGreet")->currentText(), QString("Hello"));
        QCOMPARE(rig.form().settings().engine.GreetingFile, QString("Hello.wav"));
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.first().first().toString(), QString("Hello"));
    }

    // With the real Sayer: the voice list arrives and its first entry is chosen; "Speak" hands the
    // chosen rate to the helper, so a greeting created at rate -10 is longer than one at +10; a
    // recorded greeting is announced as deleted before speech replaces it, and back again; saving
    // over a name asks first; the spoken greeting is stored at 8000 Hz mono and a caller on the
    // simulated line hears it whole.
    void speechOverTheLinkToACaller()
    {
        EngineRig rig(Values{{"NumOfRing", "1"}, {"RecordMessage", "1"}});
        registerSpeech();
        if (m_pulse->started()) {
            QTRY_VERIFY_WITH_TIMEOUT(speaker(rig) >= 0, 5000);
            mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, "Sound", 1,
                                QString::number(speaker(rig)));
        }
        // The helper gets no sound server: "Speak" then fails at once instead of holding up the files.
        auto noSound =
            std::make_unique<kalvo::test::ScopedEnv>("PULSE_SERVER", "unix:/nonexistent/kalvo-no-pulse");
        QElapsedTimer opening;
        opening.start();
        auto dialog = creator(rig);
        qInfo("creator open with the helper started and linked: %lld ms",
              static_cast<long long>(opening.elapsed()));
        noSound.reset();
        QVERIFY(dialog->SapiPresent());
        auto* voices = dialog->findChild<QComboBox*>("VoiceCB");
        QTRY_VERIFY_WITH_TIMEOUT(voices->count() > 0, 10000);
        QCOMPARE(voices->currentIndex(), 0);
        dialog->findChild<QTabBar*>("TabStrip1")->setCurrentIndex(1);
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QVERIFY(dialog->findChild<QFrame*>("Frame2")->isVisible());

        dialog->findChild<QPlainTextEdit*>("txtSayer")
            ->setPlainText(
                "Hello, you have reached the answering machine. Please leave a message after the tone.");
        auto* rate = dialog->findChild<QSlider*>("RateSldr");
        rate->setValue(10);
        dialog->SpeakBtnClick();
        dialog->StopBtnClick();
        const sf_count_t fast = createFromText(rig, *dialog);
        rate->setValue(-10);
        dialog->SpeakBtnClick();
        dialog->StopBtnClick();
        const sf_count_t slow = createFromText(rig, *dialog);
        qInfo("spoken at rate 10: %lld frames, at rate -10: %lld frames (22050 Hz)",
              static_cast<long long>(fast), static_cast<long long>(slow));
        QVERIFY2(fast > 0 && slow > fast * 2, qPrintable(QString("%1 %2").arg(fast).arg(slow)));
        QVERIFY(dialog->SpeechRecorded() && !dialog->SpeakerRecorded());

        if (m_pulse->started()) {
            // Recording over the spoken greeting asks first; No keeps the spoken one.
            MessageBox::scriptAnswers({MessageBox::No});
            dialog->cmdRecClick();
            QCOMPARE(MessageBox::shownTexts(),
                     QStringList{"This Will Delete 'Text To Speech' Recorded. \n Continue ?"});
            QVERIFY(!rig.form().WavePlay().IsRecording() && dialog->SpeechRecorded());
            MessageBox::scriptAnswers({MessageBox::Yes});
            dialog->cmdRecClick();
            QVERIFY(rig.form().WavePlay().IsRecording() && dialog->SpeakerRecorded());
            QVERIFY(dialog->findChild<QPlainTextEdit*>("txtSayer")->toPlainText().isEmpty());
            dialog->cmdStopRecClick();
            dialog->findChild<QPlainTextEdit*>("txtSayer")->setPlainText("Please leave a message.");
            MessageBox::clearShown();
            MessageBox::scriptAnswers({MessageBox::No});
            dialog->cmdCreateGreetingClick();
            QCOMPARE(MessageBox::shownTexts(),
                     QStringList{"This Will Delete Speaker Recorded. \n Continue ?"});
            QVERIFY(dialog->SpeakerRecorded());
            MessageBox::scriptAnswers({MessageBox::Yes});
            QVERIFY(createFromText(rig, *dialog) > 0);
            QVERIFY(dialog->SpeechRecorded());
        }

        int sayerRate = 0;
        const sf_count_t spoken = framesOf(rig.programFolder() + "/sayertmp.wav", &sayerRate);
        QCOMPARE(sayerRate, 22050);
        const QString greeting = rig.programFolder() + "/Greets/Spoken.wav";
        kalvo::test::writeWav(greeting, kalvo::test::tone(100));
        dialog->findChild<QLineEdit*>("txtGreetingName")->setText("Spoken");
        MessageBox::clearShown();
        MessageBox::scriptAnswers({MessageBox::No});
        dialog->cmdOKClick();
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Greeting Spoken already exists. Replace it ?"});
        QVERIFY(dialog->isVisible());
        QCOMPARE(framesOf(greeting), sf_count_t(800));
        MessageBox::scriptAnswers({MessageBox::Yes});
        dialog->cmdOKClick();
        QVERIFY(!dialog->isVisible());
        int greetingRate = 0, greetingChannels = 0;
        const sf_count_t stored8k = framesOf(greeting, &greetingRate, &greetingChannels);
        QCOMPARE(greetingRate, 8000);
        QCOMPARE(greetingChannels, 1);
        QVERIFY2(std::abs(double(stored8k) - double(spoken) * 8000 / 22050) < 10,
                 qPrintable(QString::number(stored8k)));
        QCOMPARE(rig.form().settings().engine.GreetingFile, QString("Spoken.wav"));

        // The next caller hears the spoken greeting, then the 60 ms beep.
        rig.start();
        rig.sim().offerCall("5551234", "Alice");
        rig.sim().ring(1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.form().Wave1().IsRecording(), 20000);
        const auto heard = rig.sim().playedToCaller();
        qInfo("greeting %lld frames from %lld at 22050 Hz; the caller heard %zu frames with the beep",
              static_cast<long long>(stored8k), static_cast<long long>(spoken), heard.size());
        QVERIFY2(std::abs(double(heard.size()) - double(stored8k + 480)) < 800,
                 qPrintable(QString::number(heard.size())));
        QVERIFY(loudPart(heard, 1000).size() > size_t(stored8k) / 2);
        rig.sim().hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(int(rig.records().size()), 1, 5000);
    }

    // "Create Greeting" says when the helper has written the spoken greeting and plays it on the
    // sound card. OK with text and a name typed but nothing created makes the greeting first and
    // then saves it, without "Empty Message".
    void spokenGreetingIsReadyAndOkCreatesIt()
    {
        EngineRig rig;
        registerSpeech();
        const bool sound = m_pulse->started() && useSpeaker(rig);
        {
            auto dialog = creator(rig);
            auto* state = dialog->findChild<QLabel*>("lblSpeechState");
            QVERIFY(state);
            dialog->findChild<QPlainTextEdit*>("txtSayer")->setPlainText("Please leave a message.");
            QTRY_VERIFY_WITH_TIMEOUT(dialog->uDat().isUp(), 10000);
            dialog->cmdCreateGreetingClick();
            QCOMPARE(state->text(), QString("Creating the greeting..."));
            QTRY_VERIFY_WITH_TIMEOUT(state->text().startsWith("The spoken greeting is ready"), 30000);
            QVERIFY(framesOf(rig.programFolder() + "/sayertmp.wav") > 0);
            if (sound) {
                QCOMPARE(state->text(), QString("The spoken greeting is ready; it is playing now."));
                QVERIFY(rig.form().WavePlay().IsPlaying());
            }
            MessageBox::scriptAnswers({MessageBox::Yes});
            dialog->reject();
        }
        QFile::remove(rig.programFolder() + "/sayertmp.wav");
        auto dialog = creator(rig);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->uDat().isUp(), 10000);
        dialog->findChild<QPlainTextEdit*>("txtSayer")->setPlainText("Nobody is home.");
        dialog->findChild<QLineEdit*>("txtGreetingName")->setText("Typed");
        MessageBox::clearShown();
        dialog->cmdOKClick();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 30000);
        QVERIFY2(MessageBox::shownTexts().isEmpty(), qPrintable(MessageBox::shownTexts().join('|')));
        QVERIFY(framesOf(rig.programFolder() + "/Greets/Typed.wav") > 2000); // a quarter second at least
        QCOMPARE(rig.form().settings().engine.GreetingFile, QString("Typed.wav"));
    }

    // Closing while a recording runs keeps the form open, but the helper has already been told to
    // quit: the link is down and speaking does nothing afterwards. OK then ends the recording and
    // saves it.
    void closeRefusedWhileRecordingStillUnloadsTheHelper()
    {
        KALVO_REQUIRE_PULSE(*m_pulse);
        EngineRig rig;
        registerSpeech();
        QVERIFY(useSpeaker(rig));
        auto dialog = creator(rig);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->findChild<QComboBox*>("VoiceCB")->count() > 0, 10000);
        QVERIFY(dialog->uDat().isUp());
        dialog->cmdRecClick();
        QVERIFY(rig.form().WavePlay().IsRecording());
        dialog->reject();
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->uDat().isUp());
        dialog->findChild<QPlainTextEdit*>("txtSayer")->setPlainText("Hello");
        QElapsedTimer clock;
        clock.start();
        dialog->SpeakBtnClick();
        QVERIFY2(clock.elapsed() < 500, "nothing is sent, and nothing waits for the helper");
        QTest::qWait(1500);
        QVERIFY(rig.form().WavePlay().IsRecording());
        // OK while recording ends the recording and saves it, so the form can close.
        dialog->findChild<QLineEdit*>("txtGreetingName")->setText("Short");
        dialog->cmdOKClick();
        QVERIFY(!rig.form().WavePlay().IsRecording());
        QVERIFY(!dialog->isVisible());
        // The input is silent here, so only the file's format is checked.
        int rate = 0;
        framesOf(rig.programFolder() + "/Greets/Short.wav", &rate);
        QCOMPARE(rate, 8000);
        QVERIFY(rig.sysLog().filter("Err").filter(QRegularExpression("^Err(cmd|Stop|Form)")).isEmpty());
    }
};

QTEST_MAIN(GreetingCreatorTest)
#include "GreetingCreatorTest.moc"
