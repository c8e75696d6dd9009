// The line lifecycle and device queries of the loaded control over simulated lines: the table's
// bounds, opening and closing, whether a line is in service or can carry a conversation, device
// details, wave device ids, location and the about box.
#include "LineControlTestSupport.h"
#include "ModemSimulator.h"

#include "Telephony.h"
#include "VbError.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;

// With three devices the table has indices 0 to 3: index 3 answers LineOpened (False) although no
// device 3 exists, index 4 and -1 are out of range.
TEST(LineControlLine, TableHoldsOneEntryMoreThanTheDevices)
{
    ControlHome home(simConf(3));
    TapiControl& c = home.control();
    ASSERT_EQ(c.LineInitialize(), 0);
    EXPECT_EQ(c.NumOfLines(), 3);
    EXPECT_FALSE(c.LineOpened(3));
    EXPECT_THROW(c.LineOpened(4), VbError);
    EXPECT_THROW(c.LineOpened(-1), VbError);
    EXPECT_THROW(c.LineClose(4), VbError);
}

// A second LineOpen returns LINEERR_INUSE and leaves the first opening in place; LineClose then
// closes it, and a close that fails leaves Opened as it was.
TEST(LineControlLine, DoubleOpenAndClose)
{
    ControlHome home(simConf(1));
    TapiControl& c = home.control();
    ASSERT_EQ(c.LineInitialize(), 0);
    ASSERT_EQ(c.LineOpen(0, 4, 8), 0);
    EXPECT_EQ(c.LineOpen(0, 4, 8), LINEERR_INUSE);
    EXPECT_TRUE(c.LineOpened(0));
    EXPECT_EQ(c.LineClose(0), 0);
    EXPECT_FALSE(c.LineOpened(0));
    EXPECT_EQ(c.LineClose(0), LINEERR_INVALLINEHANDLE);
    EXPECT_FALSE(c.LineOpened(0));
}

// LineInService: a real SIP line whose UDP port another socket holds opens, but names the reason;
// a simulated line and a line that is not open give ""; an index outside the table is an error.
TEST(LineControlLine, LineInServiceNamesWhyALineCannotTakeCalls)
{
    HeldUdpPort held;
    ASSERT_NE(held.port(), 0);
    ControlHome home("[Line0]\nname = SIP Line\nprovider = sip\nlisten = 127.0.0.1:" +
                     std::to_string(held.port()) + "\n\n[Line1]\nname = Sim 1\nprovider = sim\n");
    TapiControl& c = home.control();
    ASSERT_EQ(c.LineInitialize(), 0);
    EXPECT_EQ(c.LineInService(0), QString());
    ASSERT_EQ(c.LineOpen(0, 0, 0), 0);
    const QString reason = c.LineInService(0);
    EXPECT_TRUE(reason.contains("Address already in use")) << reason.toStdString();
    ASSERT_EQ(c.LineOpen(1, 0, 0), 0);
    EXPECT_EQ(c.LineInService(1), QString());
    EXPECT_THROW(c.LineInService(3), VbError);
    EXPECT_EQ(c.LineClose(0), 0);
    EXPECT_EQ(c.LineInService(0), QString());
}

// LineCannotTalk: a modem without full-duplex voice says why, in the text the program shows, and its
// LineInService stays ""; a modem with it, a simulated line and a SIP line that is out of service
// (its reason in the same status) can talk; a line that is not open gives "".
TEST(LineControlLine, LineCannotTalkNamesALineWithoutFullDuplexVoice)
{
    QTemporaryDir locks;
    ::setenv("KALVO_LOCK_DIR", locks.path().toLocal8Bit().constData(), 1);
    kalvo::modem::test::ModemModel halfDuplex;
    halfDuplex.fullDuplex = false;
    kalvo::modem::test::ModemSimulator oneWay(halfDuplex);
    kalvo::modem::test::ModemSimulator bothWays;
    HeldUdpPort held;
    ASSERT_NE(held.port(), 0);
    ControlHome home("[Line0]\nname = Sim\nprovider = sim\n\n[Line1]\nname = SIP\nprovider = sip\n"
                     "listen = 127.0.0.1:" +
                     std::to_string(held.port()) +
                     "\n\n[Line2]\nname = Old Modem\nprovider = modem\ndevice = " + oneWay.device() +
                     "\n\n[Line3]\nname = Modem\nprovider = modem\ndevice = " + bothWays.device() + "\n");
    TapiControl& c = home.control();
    ASSERT_EQ(c.LineInitialize(), 0);
    EXPECT_EQ(c.LineCannotTalk(2), QString());
    for (int index = 0; index < 4; ++index)
        ASSERT_EQ(c.LineOpen(index, 0, 0), 0) << index;
    ASSERT_TRUE(home.waitForEvent("LineState(2,True", 15000));
    ASSERT_TRUE(home.waitForEvent("LineState(3,True", 15000));
    EXPECT_EQ(c.LineCannotTalk(2), "This modem cannot send and receive voice at the same time");
    EXPECT_EQ(c.LineInService(2), QString());
    EXPECT_EQ(c.LineCannotTalk(3), QString());
    EXPECT_EQ(c.LineCannotTalk(0), QString());
    EXPECT_FALSE(c.LineInService(1).isEmpty());
    EXPECT_EQ(c.LineCannotTalk(1), QString());
    EXPECT_THROW(c.LineCannotTalk(5), VbError);
    for (int index = 0; index < 4; ++index)
        EXPECT_EQ(c.LineClose(index), 0);
    EXPECT_EQ(c.LineCannotTalk(2), QString());
    ::unsetenv("KALVO_LOCK_DIR");
}

// Privilege 0 and media mode 0 open as owner for automated voice: the call is offered to this
// control and it may answer it.
TEST(LineControlLine, DefaultOpenParametersMakeAnOwner)
{
    ControlHome home(simConf(1));
    TapiControl& c = home.control();
    ASSERT_EQ(c.LineInitialize(), 0);
    ASSERT_EQ(c.LineOpen(0, 0, 0), 0);
    home.sim(0).offerCall("5551234", "Caller");
    ASSERT_TRUE(home.waitForEvent("InComeCall(0)"));
    EXPECT_GT(c.LineAnswer(0), 0);
    EXPECT_TRUE(home.waitForEvent("Connected(0)"));
    EXPECT_TRUE(c.LineConnected(0));
}

// A device that refuses version 1.4 fails LineOpen with its code and stays closed; LineShutdown then
// releases the line's own initialisation (code 0) and Opened stays False.
TEST(LineControlLine, ShutdownAfterAFailedOpen)
{
    ControlHome home(simConf(1, "refuse_1_4 = yes\n"));
    TapiControl& c = home.control();
    ASSERT_EQ(c.LineInitialize(), 0);
    EXPECT_EQ(c.LineOpen(0), LINEERR_INCOMPATIBLEAPIVERSION);
    EXPECT_FALSE(c.LineOpened(0));
    EXPECT_EQ(c.LineShutdown(0), 0);
    EXPECT_FALSE(c.LineOpened(0));
    // The handle is gone now: a second shutdown is the API's refusal, still no error raised.
    EXPECT_EQ(c.LineShutdown(0), LINEERR_INVALAPPHANDLE);
}

// Device details work without the table; they report name, media, digits and caller id, "Unknown"
// for an empty name, and for a device without 1.4 TapiCapability False with the error text, leaving
// the fields the control does not own as the caller set them.
TEST(LineControlLine, DeviceDetails)
{
    ControlHome home(simConf(3, "",
                             [](int i) {
                                 if (i == 1)
                                     return std::string(
                                         "caller_id = no\nmedia_modes = datamodem,g3fax\nterminals = 1\n");
                                 if (i == 2)
                                     return std::string("refuse_1_4 = yes\n");
                                 return std::string();
                             }) +
                     "[Line3]\nname =\nprovider = sim\n");
    TapiControl& c = home.control();

    korvan::LineDevCap caps;
    caps.Voice = korvan::VTrue;
    EXPECT_EQ(c.LineGetDevDetails(0, caps), "");
    EXPECT_EQ(c.NumOfLines(), 4); // the probe refreshes NumDevs
    EXPECT_EQ(caps.DeviceName, "Sim 0");
    EXPECT_EQ(caps.TapiCapability, korvan::VTrue);
    EXPECT_EQ(caps.MediaInteractivevoice, korvan::VTrue);
    EXPECT_EQ(caps.MediaAutomatedvoice, korvan::VTrue);
    EXPECT_EQ(caps.MediaDatamodem, korvan::VFalse);
    EXPECT_EQ(caps.MaxRate, 64000);
    EXPECT_EQ(caps.CallerID, korvan::VTrue);
    EXPECT_EQ(caps.MonitorDigits, korvan::VTrue);
    EXPECT_EQ(caps.GenerateDigits, korvan::VTrue);
    EXPECT_EQ(caps.PhoneSupport, korvan::VFalse);
    EXPECT_EQ(caps.Voice, korvan::VTrue);

    korvan::LineDevCap modem;
    EXPECT_EQ(c.LineGetDevDetails(1, modem), "");
    EXPECT_EQ(modem.CallerID, korvan::VFalse);
    EXPECT_EQ(modem.MediaDatamodem, korvan::VTrue);
    EXPECT_EQ(modem.MediaG3fax, korvan::VTrue);
    EXPECT_EQ(modem.MediaAutomatedvoice, korvan::VFalse);
    EXPECT_EQ(modem.PhoneSupport, korvan::VTrue);

    korvan::LineDevCap old;
    old.MediaG3fax = korvan::VTrue;
    old.TapiCapability = korvan::VTrue;
    old.CallerID = korvan::VTrue;
    old.MaxRate = 99;
    old.DeviceName = "stale";
    EXPECT_EQ(c.LineGetDevDetails(2, old), " LINEERR_INCOMPATIBLEAPIVERSION");
    EXPECT_EQ(old.TapiCapability, korvan::VFalse);
    EXPECT_EQ(old.DeviceName, "Unknown");
    EXPECT_EQ(old.MaxRate, 0);
    EXPECT_EQ(old.MediaG3fax, korvan::VTrue);
    EXPECT_EQ(old.CallerID, korvan::VTrue);

    korvan::LineDevCap unnamed;
    EXPECT_EQ(c.LineGetDevDetails(3, unnamed), "");
    EXPECT_EQ(unnamed.DeviceName, "Unknown");

    korvan::LineDevCap missing;
    EXPECT_EQ(c.LineGetDevDetails(7, missing), " LINEERR_BADDEVICEID");
}

// lineGetID gives the line's wave devices, passes class 3 on as an empty class name (the API's
// error comes back), and LineGetWaveOutID is -1 without a call and the line's wave-out with one.
TEST(LineControlLine, WaveDeviceIds)
{
    ControlHome home(simConf(1));
    TapiControl& c = home.control();
    home.initialiseAndOpen(0);
    const int waveOut = c.lineGetID(0, 2);
    const int waveIn = c.lineGetID(0, 1);
    EXPECT_GE(waveOut, 0x1000);
    EXPECT_GE(waveIn, 0x1000);
    EXPECT_EQ(c.lineGetID(0, 4), waveIn); // wave/in/out starts with the wave-in id
    EXPECT_EQ(c.lineGetID(0, 3), LINEERR_INVALDEVICECLASS);
    EXPECT_LT(c.lineGetID(0, 8), 0);
    EXPECT_EQ(c.LineGetWaveOutID(0), -1);

    home.sim(0).offerCall("1", "A");
    ASSERT_TRUE(home.waitForEvent("InComeCall(0)"));
    EXPECT_EQ(c.LineGetWaveOutID(0), waveOut);
}

// The location comes from the telephony configuration; without one the control shows
// "error getLocInf" and leaves both outputs as they were.
TEST(LineControlLine, LocationInformation)
{
    {
        ControlHome home(simConf(1) + "[location]\ncountry_code = 358\narea_code = 9\n");
        QString country = "x";
        QString city = "y";
        home.control().GetLocationInf(country, city);
        EXPECT_EQ(country, "358");
        EXPECT_EQ(city, "9");
    }
    ControlHome home(simConf(1));
    const QString log = QString::fromLocal8Bit(qgetenv("KALVO_HOME")) + "/messages.txt";
    ScopedEnv messages("KALVO_CONTROL_MESSAGE_LOG", log.toLocal8Bit());
    QString country = "x";
    QString city = "y";
    home.control().GetLocationInf(country, city);
    EXPECT_EQ(country, "x");
    EXPECT_EQ(city, "y");
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "error getLocInf\n");
}

// The about box is modal with the caption "Korvan", the version label and a web address.
TEST(LineControlLine, AboutBox)
{
    ControlHome home(simConf(1));
    QString caption;
    QStringList labels;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        for (QLabel* label : box->findChildren<QLabel*>())
            labels << label->text();
        box->close();
    });
    home.control().ShowAboutBox();
    EXPECT_EQ(caption, "Korvan");
    EXPECT_TRUE(labels.contains("Korvan 1.0"));
    EXPECT_TRUE(labels.filter("https://").size() == 1);
}

// Phones: the layer offers none, so the table holds index 0 only; opening it fails at the version
// negotiation and PhoneShutdown releases the entry's initialisation.
TEST(LineControlLine, PhonesAndLineConfiguration)
{
    ControlHome home(simConf(1));
    TapiControl& c = home.control();
    ASSERT_EQ(c.PhoneInitialize(), 0);
    EXPECT_EQ(c.NumOfPhones(), 0);
    EXPECT_EQ(c.PhoneOpen(0), PHONEERR_BADDEVICEID);
    EXPECT_EQ(c.PhoneSetHookSwitch(0), PHONEERR_INVALPHONEHANDLE);
    EXPECT_EQ(c.PhoneClose(0), PHONEERR_INVALPHONEHANDLE);
    EXPECT_EQ(c.PhoneShutdown(0), 0);
    EXPECT_THROW(c.PhoneOpen(1), VbError);

    // The line number arrives as text: a device that does not exist gives -1, text that is no
    // number a type mismatch.
    EXPECT_EQ(c.LineDialogLineConfig("9"), -1);
    try {
        c.LineDialogLineConfig("line");
        FAIL() << "text converted";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 13);
    }
}
