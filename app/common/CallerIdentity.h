// Who is calling, as the line reported it: the number and the name, each given or missing, and why
// a missing one is missing. The texts the program shows and stores for a caller (for one nobody
// knows, "Private", "Out of area") are made from it here and nowhere else.
#pragma once

#include <QString>
#include <optional>

struct CallerIdentity
{
    enum class Absence {
        NotYet,      // nothing said so far; the line may still send it
        NotSent,     // the line sends none for this call
        Withheld,    // the caller withheld it
        Unavailable, // the network could not give it (out of area)
    };

    std::optional<QString> number;
    std::optional<QString> name;
    Absence absence = Absence::NotYet; // why what is missing is missing

    // From the line control's CallerID event and its caller-ID flags (LINECALLPARTYID_).
    static CallerIdentity fromLine(const QString& name, const QString& number, int flags);
    // A caller as the call record, a recovered recording or a test knows it: the stored texts.
    static CallerIdentity fromText(const QString& name, const QString& number);

    // Nothing more will come for this call, so the caller can be judged.
    bool settled() const { return number.has_value() || absence != Absence::NotYet; }
    // The caller gave no usable number: missing, or given empty.
    bool noNumber() const { return !number || number->trimmed().isEmpty(); }

    // The texts of the call record, the caller window, the logs, the mail and the program's
    // command line.
    QString numberText() const;
    QString nameText() const;
};
