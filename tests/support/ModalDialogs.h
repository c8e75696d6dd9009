// Answers a modal dialog from a widget test: the body runs on the dialog once it is the active modal
// widget (its loading may itself handle events, so it is looked for until it is there).
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace kalvo::test {

inline void onDialog(const char* objectName, std::function<void(QWidget*)> body)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, objectName, body] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || dialog->objectName() != QLatin1String(objectName))
            return;
        poll->stop();
        poll->deleteLater();
        body(dialog);
    });
    poll->start(20);
}

} // namespace kalvo::test
