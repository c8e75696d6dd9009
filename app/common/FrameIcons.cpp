// The program's icon from its rendered pictures; the other icons drawn at run time, so they scale to
// any size without image files.
#include "FrameIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace FrameIcons {

namespace {
using Drawing = std::function<void(QPainter&)>;

// Renders a drawing made on a 32 x 32 grid at the usual icon sizes.
QIcon render(const Drawing& draw)
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 32.0, size / 32.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPen pen(const QColor& color, double width = 2.5)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

const QColor kInk(0x2b, 0x4a, 0x6f);
const QColor kAccent(0x2f, 0x8f, 0x5b);
const QColor kWarn(0xc0, 0x39, 0x2b);

void arrow(QPainter& p, bool left)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    QPainterPath path;
    if (left) {
        path.moveTo(6, 16);
        path.lineTo(18, 6);
        path.lineTo(18, 26);
    } else {
        path.moveTo(26, 16);
        path.lineTo(14, 6);
        path.lineTo(14, 26);
    }
    path.closeSubpath();
    p.drawPath(path);
}

void page(QPainter& p)
{
    p.setPen(pen(kInk, 2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 4, 18, 24));
    for (int y : {10, 15, 20})
        p.drawLine(QPointF(11, y), QPointF(21, y));
}
} // namespace

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/icons/kalvo-%1.png").arg(size), QSize(size, size));
    return icon;
}

QIcon emptyIcon()
{
    return render([](QPainter&) {});
}

QIcon toolIcon(const QString& key)
{
    Drawing draw;
    if (key == "OnOff" || key == "On") {
        const QColor color = key == "On" ? kAccent : kWarn;
        draw = [color](QPainter& p) {
            p.setPen(pen(color, 3));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(6, 7, 20, 20), 120 * 16, 300 * 16);
            p.drawLine(QPointF(16, 4), QPointF(16, 16));
        };
    } else if (key == "Back" || key == "Next") {
        const bool left = key == "Back";
        draw = [left](QPainter& p) { arrow(p, left); };
    } else if (key == "Save") {
        draw = [](QPainter& p) {
            p.setPen(pen(kInk, 2));
            p.setBrush(QColor(0xdd, 0xe6, 0xf0));
            p.drawRect(QRectF(5, 5, 22, 22));
            p.setBrush(kInk);
            p.drawRect(QRectF(10, 5, 12, 7));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(9, 17, 14, 10));
        };
    } else if (key == "Delete") {
        draw = [](QPainter& p) {
            p.setPen(pen(kWarn, 3.5));
            p.drawLine(QPointF(8, 8), QPointF(24, 24));
            p.drawLine(QPointF(24, 8), QPointF(8, 24));
        };
    } else if (key == "Clear") {
        draw = [](QPainter& p) {
            p.setPen(pen(kInk, 2));
            p.setBrush(QColor(0xdd, 0xe6, 0xf0));
            p.drawRect(QRectF(9, 9, 14, 19));
            p.drawLine(QPointF(6, 8), QPointF(26, 8));
            p.drawLine(QPointF(13, 5), QPointF(19, 5));
            for (int x : {13, 16, 19})
                p.drawLine(QPointF(x, 12), QPointF(x, 25));
        };
    } else if (key == "Log") {
        draw = page;
    } else if (key == "Events") {
        draw = [](QPainter& p) {
            p.setPen(pen(kInk, 2));
            p.setBrush(QColor(0xf4, 0xc4, 0x30));
            QPainterPath bell;
            bell.moveTo(8, 23);
            bell.cubicTo(10, 20, 9, 8, 16, 7);
            bell.cubicTo(23, 8, 22, 20, 24, 23);
            bell.closeSubpath();
            p.drawPath(bell);
            p.drawEllipse(QPointF(16, 26), 2.5, 2.5);
        };
    } else if (key == "Actions") {
        draw = [](QPainter& p) {
            p.setPen(pen(kInk, 2));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4, 8, 24, 16));
            p.drawLine(QPointF(4, 8), QPointF(16, 17));
            p.drawLine(QPointF(28, 8), QPointF(16, 17));
        };
    } else if (key == "Options") {
        draw = [](QPainter& p) {
            p.setPen(pen(kInk, 2.5));
            for (int y : {9, 16, 23})
                p.drawLine(QPointF(5, y), QPointF(27, y));
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(11, 9), 3, 3);
            p.drawEllipse(QPointF(21, 16), 3, 3);
            p.drawEllipse(QPointF(14, 23), 3, 3);
        };
    } else if (key == "Add") {
        draw = [](QPainter& p) {
            p.setPen(pen(kAccent, 4));
            p.drawLine(QPointF(16, 6), QPointF(16, 26));
            p.drawLine(QPointF(6, 16), QPointF(26, 16));
        };
    } else if (key == "Play") {
        draw = [](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(kAccent);
            QPainterPath path;
            path.moveTo(9, 6);
            path.lineTo(26, 16);
            path.lineTo(9, 26);
            path.closeSubpath();
            p.drawPath(path);
        };
    } else if (key == "Stop") {
        draw = [](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            p.drawRect(QRectF(8, 8, 16, 16));
        };
    } else {
        return {};
    }
    return render(draw);
}

} // namespace FrameIcons
