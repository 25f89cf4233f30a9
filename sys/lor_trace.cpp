/*
 * lor_trace.cpp - the driver's trace hook.
 *
 * Every step of the driver passes a fixed message here.  The hook keeps no
 * state and produces no output; only a kernel with a trace sink sees the
 * messages.
 */
#include "lor_driver.h"

extern "C" VOID LorTrace(PCSTR Format, ...) {
    va_list arguments;
    va_start(arguments, Format);
    LOR_TRACE_SINK(Format, arguments);
    va_end(arguments);
}
