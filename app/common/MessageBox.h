// Every modal message box of the program goes through here, so tests and headless runs can answer it.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

class MessageBox
{
public:
    // Button sets, icons and results, numbered as the program's message boxes always were.
    enum Style {
        OkOnly = 0,
        OkCancel = 1,
        YesNoCancel = 3,
        YesNo = 4,
        Critical = 16,
        Question = 32,
        Exclamation = 48,
        Information = 64,
        DefaultButton2 = 256 // the second button is the default (a No for a question that destroys)
    };
    enum Result { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

    // Shows a modal box and returns the button pressed. With KALVO_MESSAGEBOX=stderr the title and
    // text go to standard error and the first button is taken without showing anything.
    static int show(const QString& text, int style = OkOnly, const QString& title = QStringLiteral("Kalvo"),
                    QWidget* parent = nullptr);

    // For tests: the next boxes take these answers, in order, instead of being shown.
    static void scriptAnswers(const QList<int>& answers);
    // For tests: the texts of the boxes shown (or answered) since the last clear.
    static QStringList shownTexts();
    static void clearShown();
};
