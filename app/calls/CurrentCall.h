// The call being handled: what the call record, the caller viewer and the actions are built from.
#pragma once

#include "CallerIdentity.h"

#include <QString>

struct CurrentCall
{
    CallerIdentity caller; // who calls, as the line said
    // The caller's texts as stored and shown, made from caller by setCaller.
    QString CallerName = CallerIdentity().nameText();
    QString CallerNumber = CallerIdentity().numberText();
    QString CallDate;      // locale short date when the call was signalled
    QString CallTime;      // locale time with seconds when the call was signalled
    QString RingsAtAnswer; // decimal ring number at which the line was answered; empty if never
    // The message file as its record keeps it: a name in the messages folder, or the whole path of a
    // message kept elsewhere; empty until a recording stops.
    QString MessageFile;
    QString MessageLength = QStringLiteral("0");
    bool GotMessage = false; // a message file was written for this call

    void setCaller(const CallerIdentity& identity)
    {
        caller = identity;
        CallerName = identity.nameText();
        CallerNumber = identity.numberText();
    }
};
