// The message-box seam.
#include "MessageBox.h"

#include "PlainDialog.h"

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
    makePlainDialog(box);
    box.setWindowTitle(title);
    // Texts carry callers' names, numbers and file names: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    static const std::pair<int, QMessageBox::Icon> kIcons[] = {{Critical, QMessageBox::Critical},
                                                               {Question, QMessageBox::Question},
                                                               {Exclamation, QMessageBox::Warning},
                                                               {Information, QMessageBox::Information}};
    for (const auto& [bits, icon] : kIcons)
        if ((style & 0x70) == bits)
            box.setIcon(icon);
    // The buttons in their order on screen; OK alone for any other set.
    QList<QMessageBox::StandardButton> buttons{QMessageBox::Ok};
    if ((style & 7) == OkCancel)
        buttons = {QMessageBox::Ok, QMessageBox::Cancel};
    else if ((style & 7) == YesNoCancel)
        buttons = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    else if ((style & 7) == YesNo)
        buttons = {QMessageBox::Yes, QMessageBox::No};
    for (QMessageBox::StandardButton button : buttons)
        box.addButton(button);
    box.setDefaultButton(buttons.value((style & DefaultButton2) && buttons.size() > 1 ? 1 : 0));
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
