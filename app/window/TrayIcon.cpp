// The notification-area icon.
#include "TrayIcon.h"

#include "FrameIcons.h"
#include "TimeBase.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {
// A tip holds 64 characters with its terminator.
constexpr int kTipCharacters = 63;
constexpr int kBlinkMs = 700;
} // namespace

TrayIcon::TrayIcon(const QIcon& icon, QMenu* menu, const TimeBase& timeBase, QObject* parent)
    : QObject(parent), m_icon(icon), m_tray(new QSystemTrayIcon(icon, this)), m_blink(new QTimer(this))
{
    m_tray->setObjectName("SysTry");
    m_tray->setContextMenu(menu);
    m_blink->setObjectName("tmrSysTryBlink");
    timeBase.setInterval(*m_blink, kBlinkMs);
    connect(m_blink, &QTimer::timeout, this, &TrayIcon::blinkTick);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The context menu opens by itself on a right click; a left click brings the window back.
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit restoreRequested();
    });
}

QString TrayIcon::tipText(int totalCalls, int unreadCalls)
{
    const QString tip =
        "Kalvo - Calls:" + QString::number(totalCalls) + "  New:" + QString::number(unreadCalls);
    return tip.left(kTipCharacters);
}

bool TrayIcon::available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::setCallTip(const QString& text)
{
    m_callTip = text;
    const QString tip =
        m_callTip.isEmpty() ? m_countsTip : (m_callTip + "\n" + m_countsTip).left(kTipCharacters);
    // How to reach the line comes last, whole: an address cut short would be a wrong one.
    m_tray->setToolTip(m_lineTip.isEmpty() ? tip : tip + "\n" + m_lineTip);
}

void TrayIcon::setLineTip(const QString& reach)
{
    m_lineTip = reach;
    setCallTip(m_callTip);
}

void TrayIcon::MakeSysTryBaloon(int totalCalls, int unreadCalls)
{
    m_countsTip = tipText(totalCalls, unreadCalls);
    setCallTip(m_callTip);
    if (!m_tray->isVisible())
        m_tray->show();
}

bool TrayIcon::isShown() const
{
    return m_tray->isVisible();
}

QString TrayIcon::toolTip() const
{
    return m_tray->toolTip();
}

void TrayIcon::startBlink()
{
    if (!m_blink->isActive())
        m_blink->start();
}

void TrayIcon::stopBlink()
{
    m_blink->stop();
    if (m_showingEmpty) {
        m_showingEmpty = false;
        m_tray->setIcon(m_icon);
    }
}

bool TrayIcon::isBlinking() const
{
    return m_blink->isActive();
}

void TrayIcon::blinkTick()
{
    m_showingEmpty = !m_showingEmpty;
    m_tray->setIcon(m_showingEmpty ? FrameIcons::emptyIcon() : m_icon);
}

void TrayIcon::clear()
{
    m_blink->stop();
    m_showingEmpty = true;
    m_tray->setIcon(FrameIcons::emptyIcon());
    m_tray->hide();
}
