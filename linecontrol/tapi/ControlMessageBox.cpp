// The control's plain OK message boxes.
#include "ControlMessageBox.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

namespace korvan {

void ControlMessageBox::show(const std::string& text)
{
    if (const char* log = std::getenv("KALVO_CONTROL_MESSAGE_LOG"); log != nullptr && *log != '\0') {
        QFile file(QString::fromLocal8Bit(log));
        if (file.open(QIODevice::Append | QIODevice::Text))
            file.write(QByteArray::fromStdString(text + "\n"));
        return;
    }
    // A host without widgets (a console tool) still sees the text.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        std::fprintf(stderr, "Korvan: %s\n", text.c_str());
        return;
    }
    QMessageBox::information(nullptr, QStringLiteral("Korvan"), QString::fromStdString(text));
}

} // namespace korvan
