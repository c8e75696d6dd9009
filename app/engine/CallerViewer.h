// The caller viewer as the call flow and the end-of-call steps drive it. The viewer window frmMSG
// fills this in; NoCallerViewer, which is never loaded, stands in where no window is wanted.
#pragma once

#include <QString>
#include <functional>

// What the viewer's choices do on the main window.
struct ViewerChoices
{
    std::function<void()> answerNow;   // AnswerToCall for the watched line, forced
    std::function<void()> dropCall;    // DropInComeCall
    std::function<void()> doNotAnswer; // DoNotAnswer = True
    std::function<void()> pickUp;      // talk with the caller at the desk
    std::function<void()> hangUp;      // end that conversation
};

class CallerViewer
{
public:
    virtual ~CallerViewer() = default;
    // An incoming call starts, whether or not the viewer is opened for it.
    virtual void newCall() {}
    // Whether the viewer window is open.
    virtual bool isLoaded() const = 0;
    // Opens the viewer.
    virtual void ViewCallViewer(bool animation, int animationFast, int cCloseCallerView,
                                int closeCallerView) = 0;
    // The status label.
    virtual void setStatus(const QString& text) = 0;
    // The name, number, date and time labels.
    virtual void setDetails(const QString& name, const QString& number, const QString& date,
                            const QString& time) = 0;
    // The message label: the full path of the call's message.
    virtual void setMessagePath(const QString& path) = 0;
    // Disables answer, drop and ignore once the line is connected.
    virtual void DisableChoices() = 0;
    // Closes the viewer the configured way (sliding out or at once).
    virtual void CloseViewer() = 0;
    // The talk choice: "Hang Up" while talking, else "Pick Up", unavailable with the reason given
    // (empty: available). It outlives the other choices for as long as the call lasts.
    virtual void setTalkChoice(bool talking, const QString& unavailable)
    {
        (void)talking;
        (void)unavailable;
    }
};

class NoCallerViewer : public CallerViewer
{
public:
    bool isLoaded() const override { return false; }
    void ViewCallViewer(bool, int, int, int) override {}
    void setStatus(const QString&) override {}
    void setDetails(const QString&, const QString&, const QString&, const QString&) override {}
    void setMessagePath(const QString&) override {}
    void DisableChoices() override {}
    void CloseViewer() override {}
};
