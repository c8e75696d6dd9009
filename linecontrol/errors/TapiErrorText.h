// The short texts of telephony result codes that the host logs and the control compares against.
#pragma once

#include <cstdint>
#include <string>

namespace korvan {

// The text for the "no text" case: codes the table does not know, request ids included.
inline constexpr const char* kUnknownTapiError = "Unknown TAPI Error";

// Text of a telephony result code: " SUCCESS", " LINEERR_<name>", " <phone name>" (the empty text for
// PHONEERR_ALLOCATED), or "Unknown TAPI Error". Never contains the number.
std::string GetTapiStrError(int32_t code);

} // namespace korvan
