/* Compiles the API headers as C, so C callers get the same layouts. */
#include "Telephony.h"
