// Windows kept on their screen.
#include "ScreenFit.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMainWindow>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace ScreenFit {

namespace {
// Decorations a window manager usually adds, counted until the real ones are known.
constexpr QMargins kAssumedFrame(4, 30, 4, 4);

class ShowFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow() && (qobject_cast<QDialog*>(widget) || qobject_cast<QMainWindow*>(widget)))
                fit(*widget);
        }
        return false;
    }
};
} // namespace

QRect fitted(const QRect& frame, const QRect& available)
{
    if (!available.isValid())
        return frame;
    QRect out(frame.topLeft(), frame.size().boundedTo(available.size()));
    out.moveLeft(std::clamp(out.left(), available.left(), available.right() - out.width() + 1));
    out.moveTop(std::clamp(out.top(), available.top(), available.bottom() - out.height() + 1));
    return out;
}

void fit(QWidget& window)
{
    if (window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
        return;
    QScreen* screen = QGuiApplication::screenAt(window.geometry().center());
    if (!screen)
        screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect inner = window.geometry();
    QRect outer = window.frameGeometry();
    if (outer == inner)
        outer = inner + kAssumedFrame;
    const QRect placed = fitted(outer, screen->availableGeometry());
    if (placed.size() != outer.size())
        window.resize((placed.size() - (outer.size() - inner.size())).expandedTo(window.minimumSize()));
    // move() places the frame's corner, as the window's position is kept.
    if (placed.topLeft() != outer.topLeft())
        window.move(window.pos() + (placed.topLeft() - outer.topLeft()));
}

void install()
{
    static ShowFilter* filter = nullptr;
    if (filter || !qApp)
        return;
    filter = new ShowFilter(qApp);
    qApp->installEventFilter(filter);
}

} // namespace ScreenFit
