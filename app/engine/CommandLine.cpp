// Shell-like word splitting of the program template.
#include "CommandLine.h"

QStringList CommandLine::split(const QString& text)
{
    QStringList words;
    QString word;
    bool inWord = false;
    enum class Quote { None, Single, Double } quote = Quote::None;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        switch (quote) {
        case Quote::Single:
            if (c == u'\'')
                quote = Quote::None;
            else
                word += c;
            break;
        case Quote::Double:
            if (c == u'"')
                quote = Quote::None;
            else if (c == u'\\' && i + 1 < text.size() && (text.at(i + 1) == u'"' || text.at(i + 1) == u'\\'))
                word += text.at(++i);
            else
                word += c;
            break;
        case Quote::None:
            if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') {
                if (inWord)
                    words << word;
                word.clear();
                inWord = false;
                break;
            }
            inWord = true;
            if (c == u'\'')
                quote = Quote::Single;
            else if (c == u'"')
                quote = Quote::Double;
            else if (c == u'\\' && i + 1 < text.size())
                word += text.at(++i);
            else
                word += c;
            break;
        }
    }
    if (inWord)
        words << word;
    return words;
}
