// Hiding the main window to the tray and bringing it back. Where the desktop has no notification
// area the window minimises instead, so it can always be found again.
#pragma once

#include <QString>
#include <functional>

class QMainWindow;
class TrayIcon;
struct Settings;

class WindowHiding
{
public:
    // log writes the system log; settings keep the placement saved before the window hides.
    WindowHiding(QMainWindow& window, TrayIcon& tray, Settings& settings,
                 std::function<void(const QString&)> log);

    // True once the window was hidden to the tray (close box, "Hide", start in the tray).
    bool hidden() const { return m_hidden; }
    // Starts as at login ("-st"): hidden with only the tray icon, or minimised.
    void startInTray();
    // The close box and "Hide": the placement is saved and the window hidden, or minimised.
    void hideToTray();
    // Normal state, shown, in front; the tray stops blinking and shows the counters.
    void restore(int totalCalls, int unreadCalls);
    // Saves the placement while the window shows in its normal state.
    void saveView();

private:
    void minimiseInstead(const QString& why);

    QMainWindow& m_window;
    TrayIcon& m_tray;
    Settings& m_settings;
    std::function<void(const QString&)> m_log;
    bool m_hidden = false;
    bool m_noTrayLogged = false;
    bool m_hideTold = false; // the first hide said that calls are still answered
};
