// Call records written through the database interface, the way the program stores a call.
#pragma once

#include "CallDatabase.h"

#include <QString>

namespace kalvo::test {

// The fields of one call; the defaults are those of an answered call with a message.
struct CallRecord
{
    QString name;
    QString number;
    QString time = "09:41:07";
    QString date = "12/07/2004";
    QString message = "12-07-2004_09-41-07.wav";
    QString type = "12.5";
    qint16 read = 0;
};

// A short call from "N", number "1": with a message file of 0.1 s, or without one (type "-1").
CallRecord shortCall(const QString& message, qint16 read = 0);

// AddNew, the seven fields and Update.
void appendCall(kalvo::CallDatabase& db, const CallRecord& call);

} // namespace kalvo::test
