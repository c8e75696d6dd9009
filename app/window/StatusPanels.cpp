// The status bar's three panels.
#include "StatusPanels.h"

#include "Clock.h"
#include "LocaleText.h"
#include "TimeBase.h"
#include "WindowView.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>
#include <QTextDocument>
#include <QTimer>

namespace {
constexpr int kPanel1CreatedTwips = 3300;
constexpr int kPanelTimerMs = 500;

QLabel* panel(QStatusBar& bar, const char* name)
{
    auto* label = new QLabel(&bar);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText); // the status carries callers' names and file names
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    bar.addWidget(label);
    return label;
}
} // namespace

StatusPanels::StatusPanels(QStatusBar& bar, const Clock& clock, const TimeBase& timeBase)
    : QObject(&bar), m_clock(clock), m_bar(bar), m_panel1(panel(bar, "StatusBar1Panel1")),
      m_timer(new QTimer(this))
{
    m_bar.setObjectName("StatusBar1");
    m_bar.setSizeGripEnabled(true);
    m_panel1->setFixedWidth(kPanel1CreatedTwips / WindowView::kTwipsPerPixel);
    m_panel1->setAccessibleName("Line status");
    m_timer->setObjectName("TimerPannel");
    timeBase.setInterval(*m_timer, kPanelTimerMs);
    connect(m_timer, &QTimer::timeout, this, &StatusPanels::TimerPannel_Timer);
}

void StatusPanels::CreatePanel()
{
    if (m_panel2)
        return;
    m_panel2 = panel(m_bar, "StatusBar1Panel2");
    m_panel2->setAccessibleName("Time");
    m_panel2->setAlignment(Qt::AlignCenter);
    m_panel3 = panel(m_bar, "StatusBar1Panel3");
    m_panel3->setAccessibleName("Date");
    m_panel3->setAlignment(Qt::AlignCenter);
    m_panel1->setFixedWidth(kPanel1CreatedTwips / WindowView::kTwipsPerPixel);
    TimerPannel_Timer();
    m_timer->start();
}

void StatusPanels::setWidths(int windowWidthTwips, int panel1Twips)
{
    const int twips = WindowView::kTwipsPerPixel;
    if (!m_panel2) {
        m_panel1->setFixedWidth(panel1Twips / twips);
        return;
    }
    // Time and date are as wide as their texts; the line status takes what is left beside them and
    // the size grip, so a long reason is cut at its own edge instead of running under the clock.
    const QFontMetrics metrics(m_panel2->font());
    const int time = metrics.horizontalAdvance(QStringLiteral("88:88:88 PM")) + 16;
    const int date = metrics.horizontalAdvance(QStringLiteral("88/88/8888 ")) + 36;
    m_panel2->setFixedWidth(time);
    m_panel3->setFixedWidth(date);
    const int grip = m_bar.isSizeGripEnabled() ? 20 : 0;
    m_panel1->setFixedWidth(std::max(0, windowWidthTwips / twips - time - date - 12 - grip));
}

void StatusPanels::setStatus(const QString& text)
{
    m_panel1->setText(text);
    // Whatever the width, the whole text is a hover away.
    m_panel1->setToolTip(text.isEmpty() ? QString() : Qt::convertFromPlainText(text));
}

QString StatusPanels::status() const
{
    return m_panel1->text();
}

QString StatusPanels::timeText() const
{
    return m_panel2 ? m_panel2->text() : QString();
}

QString StatusPanels::dateText() const
{
    return m_panel3 ? m_panel3->text() : QString();
}

void StatusPanels::TimerPannel_Timer()
{
    const QDateTime now = m_clock.now();
    m_panel2->setText(LocaleText::timeWithSeconds(now.time()));
    m_panel3->setText(LocaleText::shortDate(now.date()));
}
