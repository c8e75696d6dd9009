// Call records written through the database interface.
#include "CallRecords.h"

namespace kalvo::test {

void appendCall(kalvo::CallDatabase& db, const CallRecord& call)
{
    db.AddNew();
    db.SetField("Call_Name", call.name);
    db.SetField("Call_Number", call.number);
    db.SetField("Call_Time", call.time);
    db.SetField("Call_Date", call.date);
    db.SetField("Call_Massage_Name", call.message);
    db.SetField("Type", call.type);
    db.SetField("Read", call.read);
    db.Update();
}

CallRecord shortCall(const QString& message, qint16 read)
{
    CallRecord call;
    call.name = "N";
    call.number = "1";
    call.time = "10:00:00";
    call.date = "1/2/26";
    call.message = message;
    call.type = message.isEmpty() ? "-1" : "0.1";
    call.read = read;
    return call;
}

} // namespace kalvo::test
