// libre and librem as included by the SIP line: the C headers need these two definitions in C++.
#pragma once

#ifndef HAVE_INTTYPES_H
#define HAVE_INTTYPES_H 1
#endif
#ifndef HAVE_STDBOOL_H
#define HAVE_STDBOOL_H 1
#endif

#include <re.h>
#include <rem.h>
