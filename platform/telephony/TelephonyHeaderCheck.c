/* Compiles the API headers as C, so C callers get the same layouts. The headers that
 * TelephonyTypes.h gathers come first, so each is seen to compile without the others before it. */
#include "TelephonyStructures.h"

#include "TelephonyFlags.h"

#include "TelephonyResultCodes.h"

#include "Telephony.h"
