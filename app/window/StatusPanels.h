// StatusBar1: the line status in panel 1, the time and the date in panels 2 and 3, kept current by
// TimerPannel every 500 ms.
#pragma once

#include <QObject>
#include <QString>

class Clock;
class QLabel;
class QStatusBar;
class QTimer;
class TimeBase;

class StatusPanels : public QObject
{
    Q_OBJECT

public:
    // Panel 1 is made here at 3300 twips; CreatePanel adds the other two.
    StatusPanels(QStatusBar& bar, const Clock& clock, const TimeBase& timeBase);

    // Adds panels 2 and 3, shows the time and date, and starts TimerPannel.
    void CreatePanel();
    // Panel widths: 2 and 3 fit the time and the date, 1 takes the rest of the window's width
    // (panel1Twips before the time and date panels exist).
    void setWidths(int windowWidthTwips, int panel1Twips);

    void setStatus(const QString& text);
    QString status() const;
    QString timeText() const;
    QString dateText() const;

private:
    void TimerPannel_Timer();

    const Clock& m_clock;
    QStatusBar& m_bar;
    QLabel* m_panel1;
    QLabel* m_panel2 = nullptr;
    QLabel* m_panel3 = nullptr;
    QTimer* m_timer;
};
