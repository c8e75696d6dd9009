/* Telephony API 1.4 stand-in: handle and callback types, constants and structure layouts exactly as
 * the Windows line and phone API defines them (every field 32-bit, the 1.4 fixed-part sizes). */
#ifndef KALVO_PLATFORM_TELEPHONY_TYPES_H
#define KALVO_PLATFORM_TELEPHONY_TYPES_H

#include "TelephonyBaseTypes.h"
#include "TelephonyFlags.h"
#include "TelephonyResultCodes.h"
#include "TelephonyStructures.h"

#endif
