// The caller viewer frmMSG: shows the ringing call, slides in from the top edge and out again, and
// offers answer, drop and let-it-ring, and beside them taking the call at the desk.
#pragma once

#include "CallerViewer.h"

#include <QWidget>
#include <functional>

class QFrame;
class QLabel;
class QTimer;
class TimeBase;

class frmMSG : public QWidget, public CallerViewer
{
    Q_OBJECT

public:
    // Design size of the form, in twips.
    static constexpr int kWidthTwips = 4500;
    static constexpr int kHeightTwips = 3000;
    static constexpr int kTwipsPerPixel = 15;

    explicit frmMSG(const TimeBase& timeBase, ViewerChoices choices = {});
    ~frmMSG() override;

    void setChoices(ViewerChoices choices) { m_choices = std::move(choices); }
    // With a notification beside it the window keeps to the top left corner, out of the top right
    // one where notification services show; otherwise it stands at the top right.
    void setClearOfNotifications(bool clear) { m_clearOfNotifications = clear; }

    // CallerViewer
    bool isLoaded() const override { return m_loaded; }
    void ViewCallViewer(bool animation, int animationFast, int cCloseCallerView,
                        int closeCallerView) override;
    void setStatus(const QString& text) override;
    void setDetails(const QString& name, const QString& number, const QString& date,
                    const QString& time) override;
    void setMessagePath(const QString& path) override;
    void DisableChoices() override;
    void CloseViewer() override;
    void setTalkChoice(bool talking, const QString& unavailable) override;

    // The form's public members as ViewCallViewer sets them.
    QString State;
    int Step = 0;
    bool Animation = false;
    int AutoClose = 0;
    int CloseAfter = 0;

    // The form's top in twips (minus its height while it lies above the screen).
    int topTwips() const { return m_top; }
    int heightTwips() const { return kHeightTwips; }
    int seconds() const { return m_seconds; }
    QTimer& Timer1() { return *m_timer1; }
    QTimer& tmrAutoClose() { return *m_tmrAutoClose; }

    // One tick of each timer.
    void Timer1Timer();
    void tmrAutoCloseTimer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildForm();
    void Form_Load();
    void Form_Unload();
    void prepare();
    void setTop(int twips);
    void choose(QFrame* frame);
    QFrame* choiceFrame(const char* frameName, const char* labelName, const QString& caption);

    const TimeBase& m_timeBase;
    ViewerChoices m_choices;
    bool m_loaded = false;
    bool m_clearOfNotifications = false;
    int m_top = 0;
    int m_moved = 0;
    int m_seconds = 0;
    int m_secondsLimit = 0;
    QTimer* m_timer1 = nullptr;
    QTimer* m_tmrAutoClose = nullptr;
    QLabel* m_lblStatus = nullptr;
    QLabel* m_lblCallerName = nullptr;
    QLabel* m_lblCallerNumber = nullptr;
    QLabel* m_lblCallDate = nullptr;
    QLabel* m_lblTime = nullptr;
    QLabel* m_lblMessagePath = nullptr;
    QLabel* m_lblMsgFrom = nullptr;
    QLabel* m_image2 = nullptr;
    QFrame* m_answer = nullptr;
    QFrame* m_drop = nullptr;
    QFrame* m_doNothing = nullptr;
    QFrame* m_talk = nullptr; // "Pick Up", or "Hang Up" while talking
    QLabel* m_lblTalk = nullptr;
    bool m_talking = false;
};
