// Form_Resize: places the two bands, the call list, the player strip and the status panels for the
// window's size. A window under 4000 x 3000 twips keeps the layout it had.
#pragma once

#include <QSize>

class QWidget;
class StatusPanels;

struct FrameWidgets
{
    QWidget* area = nullptr;       // the window's client area that holds the rest
    QWidget* coolBar = nullptr;    // CoolBar1
    QWidget* toolbar = nullptr;    // Toolbar1, band 1
    QWidget* quickBand = nullptr;  // band 2
    QWidget* quickStrip = nullptr; // TBQuickOption's buttons
    QWidget* ringsLabel = nullptr;
    QWidget* cmbRings = nullptr;
    QWidget* cmbDefGreet = nullptr;
    QWidget* chkRecMessage = nullptr;
    QWidget* list = nullptr;        // ListView1
    QWidget* playerBar = nullptr;   // ToolBarPlayer
    QWidget* slider = nullptr;      // Slider1
    StatusPanels* panels = nullptr; // StatusBar1
};

class FrameCommands;
class QuickSettings;

class FrameLayout
{
public:
    explicit FrameLayout(const FrameWidgets& widgets) : m_w(widgets) {}
    // The frame of the main window: its client area, the command bands, the quick settings, the
    // call list, the player's strip and slider, and the status panels.
    FrameLayout(QWidget* area, const FrameCommands& commands, const QuickSettings& quick, QWidget* list,
                QWidget* playerBar, QWidget* slider, StatusPanels* panels);

    // Lays the frame out for a window of windowSize pixels; quickStrip shows band 2 ("pQuickToolbar").
    void Form_Resize(const QSize& windowSize, bool quickStrip);

    // The smallest window, in twips, that is laid out again.
    static constexpr int kMinWidthTwips = 4000;
    static constexpr int kMinHeightTwips = 3000;

private:
    void placeQuickBand(int width);

    FrameWidgets m_w;
};
