// Telephony notification routines: find the control a notification belongs to and run its dispatcher.
#include "TapiNotification.h"

#include "KorvanDispatch.h"
#include "Tapi.h"

#include <map>
#include <mutex>
#include <utility>

namespace korvan {

namespace {

struct LiveControl
{
    Tapi* control;
    ITapiDispatch* owner;
};

std::mutex& tableMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<DWORD_PTR, LiveControl>& liveControls()
{
    static std::map<DWORD_PTR, LiveControl> controls;
    return controls;
}

DWORD_PTR& nextInstance()
{
    static DWORD_PTR next = 1;
    return next;
}

} // namespace

DWORD_PTR ControlTable::add(Tapi& control, ITapiDispatch& owner)
{
    std::lock_guard lock(tableMutex());
    const DWORD_PTR instance = nextInstance()++;
    liveControls().emplace(instance, LiveControl{&control, &owner});
    return instance;
}

void ControlTable::remove(DWORD_PTR instance)
{
    std::lock_guard lock(tableMutex());
    liveControls().erase(instance);
}

void ControlTable::deliver(DWORD_PTR instance, DWORD hDevice, DWORD message, DWORD_PTR param1,
                           DWORD_PTR param2, DWORD_PTR param3)
{
    LiveControl live{};
    {
        std::lock_guard lock(tableMutex());
        const auto found = liveControls().find(instance);
        if (found == liveControls().end())
            return;
        live = found->second;
        // Held for the dispatch: an event handler may release the host's last reference.
        live.owner->AddRef();
    }
    live.control->dispatch(hDevice, message, param1, param2, param3);
    live.owner->Release();
}

void TapiLineCallback(DWORD hDevice, DWORD message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2,
                      DWORD_PTR param3)
{
    // Probing initialisations open no line and pass no instance: nothing to tell anyone.
    if (instance == 0)
        return;
    ControlTable::deliver(instance, hDevice, message, param1, param2, param3);
}

void TapiPhoneCallback(DWORD hDevice, DWORD message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2,
                       DWORD_PTR param3)
{
    TapiLineCallback(hDevice, message, instance, param1, param2, param3);
}

} // namespace korvan
