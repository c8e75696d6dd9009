// The main window's layout.
#include "FrameLayout.h"

#include "FrameCommands.h"
#include "QuickSettings.h"

#include "StatusPanels.h"
#include "WindowView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QToolBar>
#include <QWidget>
#include <algorithm>

namespace {
constexpr int kTwips = WindowView::kTwipsPerPixel;
constexpr int kPanel1Twips = 4000;

int px(int twips)
{
    return (twips + kTwips / 2) / kTwips;
}

void placeCentred(QWidget* widget, int left, int bandHeight)
{
    const QSize hint = widget->sizeHint();
    widget->setGeometry(left, std::max(0, (bandHeight - hint.height()) / 2), hint.width(), hint.height());
}
} // namespace

FrameLayout::FrameLayout(QWidget* area, const FrameCommands& commands, const QuickSettings& quick,
                         QWidget* list, QWidget* playerBar, QWidget* slider, StatusPanels* panels)
{
    m_w.area = area;
    m_w.coolBar = commands.CoolBar1();
    m_w.toolbar = commands.Toolbar1();
    m_w.quickBand = commands.quickBand();
    m_w.quickStrip = commands.TBQuickOption();
    m_w.ringsLabel = quick.ringsLabel();
    m_w.cmbRings = quick.cmbRings();
    m_w.cmbDefGreet = quick.cmbDefGreet();
    m_w.chkRecMessage = quick.chkRecMessage();
    m_w.list = list;
    m_w.playerBar = playerBar;
    m_w.slider = slider;
    m_w.panels = panels;
}

void FrameLayout::Form_Resize(const QSize& windowSize, bool quickStrip)
{
    m_w.coolBar->move(0, px(10));
    m_w.quickBand->setVisible(quickStrip);
    const int widthTwips = windowSize.width() * kTwips;
    const int heightTwips = windowSize.height() * kTwips;
    if (widthTwips < kMinWidthTwips || heightTwips < kMinHeightTwips)
        return;

    // Sizes are measured on the client area, which excludes the title bar, menu and borders.
    const int width = m_w.area->width();
    const int height = m_w.area->height();
    const int toolbarHeight = m_w.toolbar->sizeHint().height();
    const int quickHeight = quickStrip ? std::max(m_w.quickBand->minimumSizeHint().height(), 30) : 0;
    m_w.toolbar->setGeometry(0, 0, width, toolbarHeight);
    m_w.quickBand->setGeometry(0, toolbarHeight, width, quickHeight);
    m_w.coolBar->resize(width, toolbarHeight + quickHeight);
    placeQuickBand(width);

    const int barHeight = px(10) + toolbarHeight + quickHeight;
    const int playerHeight = std::max(m_w.playerBar->sizeHint().height(), m_w.slider->sizeHint().height());
    const int listLeft = px(5);
    const int listHeight = std::max(0, height - barHeight - playerHeight - 2);
    m_w.list->setGeometry(listLeft, barHeight, std::max(0, width - 2 * listLeft), listHeight);
    const int playerTop = barHeight + listHeight;
    const int playerWidth = m_w.playerBar->sizeHint().width();
    m_w.playerBar->setGeometry(listLeft, playerTop, playerWidth, playerHeight);
    const int sliderWidth = std::min(windowSize.width() - px(600), width - playerWidth - 2 * listLeft - 8);
    m_w.slider->setGeometry(listLeft + playerWidth + 4, playerTop, std::max(0, sliderWidth), playerHeight);
    m_w.panels->setWidths(widthTwips, kPanel1Twips);
}

void FrameLayout::placeQuickBand(int width)
{
    const int band = m_w.quickBand->height();
    placeCentred(m_w.quickStrip, 0, band);
    int left = m_w.quickStrip->geometry().right() + 8;
    placeCentred(m_w.ringsLabel, left, band);
    left = m_w.ringsLabel->geometry().right() + 4;
    placeCentred(m_w.cmbRings, left, band);
    const int check = m_w.chkRecMessage->sizeHint().width();
    placeCentred(m_w.chkRecMessage, width - check - px(300), band);
    const int greetingWidth = std::max(m_w.cmbDefGreet->sizeHint().width(), 160);
    placeCentred(m_w.cmbDefGreet, width - check - greetingWidth - px(450), band);
    m_w.cmbDefGreet->resize(greetingWidth, m_w.cmbDefGreet->height());
}
