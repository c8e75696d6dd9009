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

} // namespace kalvo::test
