// The control's telephony notification routines and the table of live controls they resolve the
// callback instance through.
#pragma once

#include "Telephony.h"

namespace korvan {

class Tapi;
class ITapiDispatch;

// The line notification routine every lineInitialize of the control registers.
void TapiLineCallback(DWORD hDevice, DWORD message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2,
                      DWORD_PTR param3);
// The phone notification routine; it shares the dispatcher.
void TapiPhoneCallback(DWORD hDevice, DWORD message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2,
                       DWORD_PTR param3);

// Live controls by callback instance. A notification names its control by a number that this table
// resolves, so one that arrives after the control is gone finds nothing instead of freed memory.
class ControlTable
{
public:
    // Enters a control (owner keeps it alive while a notification runs). @return its number, never 0.
    static DWORD_PTR add(Tapi& control, ITapiDispatch& owner);
    // Forgets a control; later notifications for it are ignored.
    static void remove(DWORD_PTR instance);
    // Runs the dispatcher of the control named instance, if it is alive.
    static void deliver(DWORD_PTR instance, DWORD hDevice, DWORD message, DWORD_PTR param1, DWORD_PTR param2,
                        DWORD_PTR param3);
};

} // namespace korvan
