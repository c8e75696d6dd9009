// The caller viewer's rules: design texts, the slide in with its snap, the slide out, the automatic
// close from tick N+1, the second-open rule, the three choices and callers' texts shown as text.
#include "frmMSG.h"
#include "TimeBase.h"

#include <QFrame>
#include <QLabel>
#include <QtTest>

namespace {
void click(QWidget* widget)
{
    QVERIFY(widget);
    QTest::mouseClick(widget, Qt::LeftButton);
}
} // namespace

class frmMSGTest : public QObject
{
    Q_OBJECT

private slots:
    // The window is a frameless always-on-top tool window that never takes focus, with the design's
    // caption and label texts (their spelling included).
    void designTextsAndWindowKind()
    {
        frmMSG viewer(TimeBase::real());
        QCOMPARE(viewer.windowTitle(), QString("Kalvo"));
        const Qt::WindowFlags flags = viewer.windowFlags();
        for (Qt::WindowType flag :
             {Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint, Qt::WindowDoesNotAcceptFocus})
            QVERIFY(flags.testFlag(flag));
        QCOMPARE(viewer.windowType(), Qt::Tool);
        QVERIFY(viewer.testAttribute(Qt::WA_ShowWithoutActivating));
        const std::map<QString, QString> texts = {{"lblStatus", "Kalvo"},
                                                  {"Label5", "Cllaer Name : "},
                                                  {"Label4", "Cllaer Number :"},
                                                  {"Label3", "Date : "},
                                                  {"Label2", "Time : "},
                                                  {"lblCallerName", "UNKNOWN"},
                                                  {"lblCallerNumber", "UNKNOWN"},
                                                  {"lblCallDate", ""},
                                                  {"lblTime", ""},
                                                  {"lblMsgFrom", "Caller Name   Caller Number"},
                                                  {"lblMessagePath", "MessagePath"},
                                                  {"lblMsgRingNum", ""},
                                                  {"lblAmswerMode", "Answer Now"},
                                                  {"lblDrop", "Drop Call"},
                                                  {"lblDoNothing", "Do Nothing"}};
        for (const auto& [name, text] : texts) {
            auto* label = viewer.findChild<QLabel*>(name);
            QVERIFY2(label, qPrintable(name));
            QCOMPARE(label->text(), text);
        }
        QCOMPARE(viewer.Timer1().interval(), 10);
        QCOMPARE(viewer.tmrAutoClose().interval(), 1000);
    }

    // A caller's name, number and the status are shown as the text they are, markup and all: a
    // label that rendered "<b>" would be as narrow as the bare word.
    void callerMarkupShownAsText()
    {
        frmMSG viewer(TimeBase::real());
        const QString markup = "<b>Robo</b> <img src=x> &amp;";
        viewer.setStatus(markup);
        viewer.setDetails(markup, markup, markup, markup);
        for (const char* name : {"lblStatus", "lblCallerName", "lblCallerNumber", "lblCallDate", "lblTime"}) {
            auto* label = viewer.findChild<QLabel*>(name);
            QCOMPARE(label->text(), markup);
            QVERIFY2(label->sizeHint().width() >= label->fontMetrics().horizontalAdvance(markup), name);
        }
    }

    // AnimationFast 0, height 3000 twips: 50 twips a tick, the snap to the top once 2900 twips are
    // covered (tick 58), at rest one tick later; the slide out needs 60 moves and unloads on the 61st.
    void slidesInSnapsAndSlidesOut()
    {
        frmMSG viewer(TimeBase::real());
        viewer.ViewCallViewer(true, 0, 0, 0);
        QVERIFY(viewer.isLoaded());
        QVERIFY(viewer.isVisible());
        QCOMPARE(viewer.State, QString("Open"));
        QCOMPARE(viewer.topTwips(), -3000);
        QVERIFY(viewer.Timer1().isActive());
        viewer.Timer1().stop(); // the test ticks by hand
        for (int tick = 1; tick <= 57; ++tick)
            viewer.Timer1Timer();
        QCOMPARE(viewer.topTwips(), -3000 + 57 * 50);
        viewer.Timer1Timer();
        QCOMPARE(viewer.topTwips(), 0);
        QCOMPARE(viewer.State, QString("Open"));
        viewer.Timer1Timer();
        QCOMPARE(viewer.State, QString());
        QVERIFY(!viewer.Timer1().isActive());
        QCOMPARE(viewer.y(), viewer.screen()->geometry().top());

        viewer.CloseViewer();
        QCOMPARE(viewer.State, QString("Close"));
        QVERIFY(viewer.Timer1().isActive());
        viewer.Timer1().stop();
        for (int tick = 1; tick <= 60; ++tick)
            viewer.Timer1Timer();
        QCOMPARE(viewer.topTwips(), -3000);
        QVERIFY(viewer.isLoaded());
        viewer.Timer1Timer();
        QVERIFY(!viewer.isLoaded());
        QVERIFY(!viewer.isVisible());
    }

    // With a limit of 5 the viewer counts five ticks and starts closing on the sixth; with the real
    // timers at a fast time base it then slides out and unloads by itself.
    void autoCloseStartsOnTickNPlusOne()
    {
        frmMSG viewer(TimeBase::real());
        viewer.ViewCallViewer(true, 0, 1, 5);
        QVERIFY(viewer.tmrAutoClose().isActive());
        viewer.tmrAutoClose().stop();
        for (int tick = 1; tick <= 5; ++tick) {
            viewer.tmrAutoCloseTimer();
            QCOMPARE(viewer.seconds(), tick);
            QVERIFY(viewer.State != "Close");
        }
        viewer.tmrAutoCloseTimer();
        QCOMPARE(viewer.State, QString("Close"));

        ScaledTimeBase fast(0.01);
        frmMSG timed(fast);
        timed.ViewCallViewer(true, 0, 1, 5);
        QTRY_VERIFY_WITH_TIMEOUT(!timed.isLoaded(), 5000);
        QVERIFY(!timed.Timer1().isActive());
        QVERIFY(!timed.tmrAutoClose().isActive());
    }

    // Without animation the viewer shows at the top at once and the automatic close unloads it at
    // once, never sliding.
    void withoutAnimationAppearsAndVanishes()
    {
        frmMSG viewer(TimeBase::real());
        viewer.ViewCallViewer(false, 0, 1, 2);
        QVERIFY(viewer.isVisible());
        QCOMPARE(viewer.topTwips(), 0);
        QVERIFY(!viewer.Timer1().isActive());
        viewer.tmrAutoClose().stop();
        viewer.tmrAutoCloseTimer();
        viewer.tmrAutoCloseTimer();
        QVERIFY(viewer.isLoaded());
        viewer.tmrAutoCloseTimer();
        QVERIFY(!viewer.isLoaded());
        QVERIFY(!viewer.isVisible());
        QVERIFY(!viewer.Timer1().isActive());
    }

    // A second open while the viewer is up changes nothing: labels, settings and counters stay;
    // after it is gone the next open starts afresh with the design texts.
    void secondOpenChangesNothing()
    {
        frmMSG viewer(TimeBase::real());
        viewer.ViewCallViewer(true, 0, 1, 5);
        viewer.tmrAutoClose().stop();
        viewer.setStatus("Ring : 2");
        viewer.setDetails("Alice", "555", "12/07/2004", "09:41:07");
        viewer.tmrAutoCloseTimer();
        viewer.tmrAutoCloseTimer();
        viewer.ViewCallViewer(true, 100, 1, 9);
        QCOMPARE(viewer.Step, 0);
        QCOMPARE(viewer.CloseAfter, 5);
        QCOMPARE(viewer.seconds(), 2);
        QVERIFY(!viewer.tmrAutoClose().isActive());
        QCOMPARE(viewer.findChild<QLabel*>("lblStatus")->text(), QString("Ring : 2"));
        QCOMPARE(viewer.findChild<QLabel*>("lblCallerName")->text(), QString("Alice"));

        viewer.Animation = false;
        viewer.CloseViewer();
        QVERIFY(!viewer.isLoaded());
        viewer.ViewCallViewer(false, 0, 0, 0);
        QCOMPARE(viewer.findChild<QLabel*>("lblStatus")->text(), QString("Kalvo"));
        QCOMPARE(viewer.findChild<QLabel*>("lblCallerName")->text(), QString("UNKNOWN"));
        QCOMPARE(viewer.seconds(), 0);
    }

    // Each choice, by its caption or its frame, calls its procedure once and closes the viewer;
    // the picture and the heading only close it; disabled choices do nothing.
    void choicesCallTheirProcedureAndClose()
    {
        int answered = 0, dropped = 0, ignored = 0;
        frmMSG viewer(TimeBase::real(),
                      {[&] { ++answered; }, [&] { ++dropped; }, [&] { ++ignored; }, {}, {}});
        const std::vector<std::pair<const char*, int*>> choices = {
            {"lblAmswerMode", &answered}, {"Picture4", &dropped}, {"lblDoNothing", &ignored}};
        for (const auto& [name, counter] : choices) {
            viewer.ViewCallViewer(false, 0, 0, 0);
            click(viewer.findChild<QWidget*>(name));
            QCOMPARE(*counter, 1);
            QVERIFY(!viewer.isLoaded());
        }
        for (const char* name : {"Image2", "lblMsgFrom"}) {
            viewer.ViewCallViewer(false, 0, 0, 0);
            click(viewer.findChild<QWidget*>(name));
            QVERIFY(!viewer.isLoaded());
        }
        QCOMPARE(answered + dropped + ignored, 3);

        viewer.ViewCallViewer(false, 0, 0, 0);
        viewer.DisableChoices();
        for (const char* name : {"Picture3", "lblAmswerMode", "lblDrop", "Picture2"})
            click(viewer.findChild<QWidget*>(name));
        QCOMPARE(answered + dropped + ignored, 3);
        QVERIFY(viewer.isLoaded());
    }

    // "Pick Up" outlives the other choices: disabled with the reason as its tooltip where the call
    // cannot be taken, "Hang Up" while talking; neither closes the viewer.
    void talkChoiceShowsItsStateAndKeepsTheViewer()
    {
        int pickedUp = 0, hungUp = 0;
        frmMSG viewer(TimeBase::real(), {{}, {}, {}, [&] { ++pickedUp; }, [&] { ++hungUp; }});
        viewer.ViewCallViewer(false, 0, 0, 0);
        auto* frame = viewer.findChild<QFrame*>("PictureTalk");
        auto* label = viewer.findChild<QLabel*>("lblPickUp");
        QVERIFY(frame && label);
        viewer.setTalkChoice(false, "No microphone to speak to the caller");
        QVERIFY(!frame->isEnabled());
        QCOMPARE(frame->toolTip(), QString("No microphone to speak to the caller"));
        click(label);
        QCOMPARE(pickedUp, 0);

        viewer.setTalkChoice(false, {});
        viewer.DisableChoices();
        QVERIFY(frame->isEnabled());
        QCOMPARE(label->text(), QString("Pick Up"));
        click(label);
        QCOMPARE(pickedUp, 1);
        viewer.setTalkChoice(true, {});
        QCOMPARE(label->text(), QString("Hang Up"));
        click(frame);
        QCOMPARE(hungUp, 1);
        QVERIFY(viewer.isLoaded());
    }
};

QTEST_MAIN(frmMSGTest)
#include "frmMSGTest.moc"
