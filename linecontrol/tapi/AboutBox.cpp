// The control's about box.
#include "AboutBox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QVBoxLayout>

namespace korvan {

namespace {

// Our picture: a handset over a line, drawn rather than shipped so the library carries no files.
QPixmap controlPicture()
{
    QPixmap picture(64, 64);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x2e, 0x6d, 0xa4));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(4, 8, 56, 16), 8, 8);
    painter.drawRoundedRect(QRectF(4, 14, 14, 18), 4, 4);
    painter.drawRoundedRect(QRectF(46, 14, 14, 18), 4, 4);
    painter.setPen(QPen(QColor(0x2e, 0x6d, 0xa4), 3));
    QPainterPath wave;
    wave.moveTo(6, 50);
    wave.cubicTo(18, 38, 26, 62, 32, 50);
    wave.cubicTo(38, 38, 46, 62, 58, 50);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(wave);
    return picture;
}

} // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmAbout");
    setWindowTitle("Korvan");
    auto* picture = new QLabel(this);
    picture->setObjectName("picIcon");
    picture->setPixmap(controlPicture());
    auto* version = new QLabel("Korvan 1.0", this);
    version->setObjectName("lblVersion");
    auto* web = new QLabel("<a href=\"https://korvan.example/\">https://korvan.example/</a>", this);
    web->setObjectName("lblWeb");
    web->setOpenExternalLinks(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(web);
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addLayout(texts);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

void AboutBox::showModal()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return;
    AboutBox box;
    box.exec();
}

} // namespace korvan
