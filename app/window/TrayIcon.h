// The icon in the notification area: its tip counting calls and new calls, the blink after a call
// that ended while the window was hidden, and its two clicks (left restores, right shows mnuSystry).
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QMenu;
class QSystemTrayIcon;
class QTimer;
class TimeBase;

class TrayIcon : public QObject
{
    Q_OBJECT

public:
    // menu is mnuSystry, shown on a right click; icon is the main window's icon.
    TrayIcon(const QIcon& icon, QMenu* menu, const TimeBase& timeBase, QObject* parent);

    // Adds the icon when it is not shown yet, and sets its tip to the counters.
    void MakeSysTryBaloon(int totalCalls, int unreadCalls);
    // "Kalvo - Calls:N  New:M", cut to the 63 characters a tip may hold.
    static QString tipText(int totalCalls, int unreadCalls);
    // What the current call is doing ("Talking with Bob 1:05"), shown as the tip's first line
    // while set; empty gives the counters back.
    void setCallTip(const QString& text);
    // How a caller reaches the watched line, shown as the tip's last line; empty: not shown.
    void setLineTip(const QString& reach);

    // Whether the desktop has a notification area at all.
    static bool available();
    bool isShown() const;
    QString toolTip() const;
    QSystemTrayIcon* systemTrayIcon() const { return m_tray; }

    // tmrSysTryBlink: alternate between the icon and the empty picture every 700 ms.
    void startBlink();
    void stopBlink();
    bool isBlinking() const;
    // Whether the empty picture is showing (while blinking, or after clear()).
    bool showsEmpty() const { return m_showingEmpty; }

    // The end of the program: the icon becomes the empty picture, then leaves the tray.
    void clear();

signals:
    // A left click on the icon: bring the window back.
    void restoreRequested();

private:
    void blinkTick();

    QIcon m_icon;
    QSystemTrayIcon* m_tray;
    QTimer* m_blink;
    bool m_showingEmpty = false;
    QString m_countsTip;
    QString m_callTip;
    QString m_lineTip;
};
