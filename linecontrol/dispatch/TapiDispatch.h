// The dispatch object of a Tapi control: reference counting, the event-sink connection, and Invoke,
// which checks and converts the variant arguments of each method and writes back those by reference.
#pragma once

#include "KorvanDispatch.h"
#include "Tapi.h"

#include <atomic>

namespace korvan {

class TapiDispatch final : public ITapiDispatch
{
public:
    TapiDispatch();
    TapiDispatch(const TapiDispatch&) = delete;
    TapiDispatch& operator=(const TapiDispatch&) = delete;

    uint32_t AddRef() override;
    uint32_t Release() override;
    int32_t Invoke(int32_t dispId, std::vector<Variant>& arguments, Variant* result,
                   ExcepInfo* error) override;
    int32_t Advise(IEventSink* sink) override;

    // Controls and class objects alive in the process (what DllCanUnloadNow reports on).
    static std::atomic<int>& liveObjects();

private:
    ~TapiDispatch();
    // Runs one method; throws MethodError for a run-time error. @return S_OK or a DISP_E_ code.
    int32_t call(int32_t dispId, std::vector<Variant>& arguments, Variant& result);
    // The methods whose only argument is a line or phone index.
    int32_t callWithIndex(int32_t dispId, int32_t index, Variant& result);

    std::atomic<uint32_t> m_references{1};
    Tapi m_control;
    DWORD_PTR m_instance = 0;
};

// The description of the run-time errors the control raises.
std::string runTimeErrorText(int32_t number);

} // namespace korvan
