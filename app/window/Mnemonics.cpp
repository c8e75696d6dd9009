// Menu mnemonics.
#include "Mnemonics.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSet>

namespace Mnemonics {

namespace {
// Puts '&' before a letter of each caption that no earlier caption uses: first the starts of
// words, then any letter; a caption with no free letter stays without one.
void mark(const QList<QAction*>& actions)
{
    QSet<QChar> used;
    for (const QAction* a : actions) {
        const QString text = a->text();
        const qsizetype amp = text.indexOf('&');
        if (amp >= 0 && amp + 1 < text.size() && text[amp + 1] != '&')
            used.insert(text[amp + 1].toLower());
    }
    for (QAction* a : actions) {
        const QString text = a->text();
        if (a->isSeparator() || text.isEmpty() || text.contains('&'))
            continue;
        qsizetype chosen = -1;
        for (int pass = 0; pass < 2 && chosen < 0; ++pass) {
            for (qsizetype i = 0; i < text.size() && chosen < 0; ++i) {
                const bool wordStart = i == 0 || text[i - 1] == ' ' || text[i - 1] == '-';
                if (text[i].isLetterOrNumber() && (pass == 1 || wordStart) &&
                    !used.contains(text[i].toLower()))
                    chosen = i;
            }
        }
        if (chosen < 0)
            continue;
        used.insert(text[chosen].toLower());
        a->setText(QString(text).insert(chosen, '&'));
    }
}
} // namespace

void assign(QMenu& menu)
{
    mark(menu.actions());
    for (QAction* a : menu.actions())
        if (a->menu())
            assign(*a->menu());
}

void assign(QMenuBar& bar)
{
    mark(bar.actions());
    for (QAction* a : bar.actions())
        if (a->menu())
            assign(*a->menu());
}

} // namespace Mnemonics
