/*
 * lor_platform.h - the driver's one door to the kernel.
 *
 * Every driver source includes this header and nothing else of the
 * platform.  <ntddk.h> and <parallel.h> come from the include path: the
 * kernel headers of the build's target.
 */
#ifndef LOR_PLATFORM_H
#define LOR_PLATFORM_H

#include <stdarg.h>

#include <ntddk.h>
#include <parallel.h>

/*
 * Type-checked direct registry queries.  Kernels that predate the flag
 * ignore it; headers that predate it lack the names.
 */
#ifndef RTL_QUERY_REGISTRY_TYPECHECK
#define RTL_QUERY_REGISTRY_TYPECHECK 0x00000100
#endif
#ifndef RTL_QUERY_REGISTRY_TYPECHECK_SHIFT
#define RTL_QUERY_REGISTRY_TYPECHECK_SHIFT 24
#endif

/*
 * Where trace messages go.  The hook itself produces no output; a kernel
 * that offers a trace sink (the simulated PC does, so that the messages can
 * be checked) receives them, any other kernel never sees them.
 */
#ifdef SIMPC_DRIVER_TRACE_SINK
#define LOR_TRACE_SINK(Format, Arguments) SimDriverTrace((Format), (Arguments))
#else
#define LOR_TRACE_SINK(Format, Arguments) ((void)(Format), (void)(Arguments))
#endif

#endif /* LOR_PLATFORM_H */
