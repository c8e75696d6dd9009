// The message-box seam.
#include "MessageBox.h"

#include <QMessageBox>
#include <cstdio>

namespace {
QList<int> g_scripted;
QStringList g_shown;

int firstButton(int style)
{
    switch (style & 7) {
    case MessageBox::OkCancel:
        return MessageBox::Ok;
    case MessageBox::YesNoCancel:
    case MessageBox::YesNo:
        return MessageBox::Yes;
    default:
        return MessageBox::Ok;
    }
}
} // namespace

int MessageBox::show(const QString& text, int style, const QString& title, QWidget* parent)
{
    g_shown.append(text);
    if (!g_scripted.isEmpty())
        return g_scripted.takeFirst();
    if (qgetenv("KALVO_MESSAGEBOX") == "stderr") {
        std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(), text.toLocal8Bit().constData());
        return firstButton(style);
    }

    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    switch (style & 0x70) {
    case Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Information:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (style & 7) {
    case OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Yes;
    case QMessageBox::No:
        return No;
    case QMessageBox::Cancel:
        return Cancel;
    default:
        return Ok;
    }
}

void MessageBox::scriptAnswers(const QList<int>& answers)
{
    g_scripted = answers;
}

QStringList MessageBox::shownTexts()
{
    return g_shown;
}

void MessageBox::clearShown()
{
    g_shown.clear();
}
