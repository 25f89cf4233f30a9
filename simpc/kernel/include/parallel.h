/*
 * Interface of the system parallel-port driver (the port's owner) as its
 * clients see it: the internal requests it serves on \Device\ParallelPort<n>
 * and the information record it hands out.
 */
#ifndef SIMPC_PARALLEL_H
#define SIMPC_PARALLEL_H

#include "ntddk.h"

#define IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE                                                      \
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 11, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO                                                      \
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 12, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_INTERNAL_PARALLEL_PORT_FREE                                                          \
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 40, METHOD_BUFFERED, FILE_ANY_ACCESS)

typedef BOOLEAN NTAPI PARALLEL_TRY_ALLOCATE_ROUTINE(PVOID TryAllocateContext);
typedef PARALLEL_TRY_ALLOCATE_ROUTINE* PPARALLEL_TRY_ALLOCATE_ROUTINE;
typedef VOID NTAPI PARALLEL_FREE_ROUTINE(PVOID FreeContext);
typedef PARALLEL_FREE_ROUTINE* PPARALLEL_FREE_ROUTINE;
typedef ULONG NTAPI PARALLEL_QUERY_WAITERS_ROUTINE(PVOID QueryAllocsContext);
typedef PARALLEL_QUERY_WAITERS_ROUTINE* PPARALLEL_QUERY_WAITERS_ROUTINE;

typedef struct _PARALLEL_PORT_INFORMATION {
    PHYSICAL_ADDRESS OriginalController; /* bus address of the data register */
    PUCHAR Controller;                   /* I/O address of the data register */
    ULONG SpanOfController;
    PPARALLEL_TRY_ALLOCATE_ROUTINE TryAllocatePort;
    PPARALLEL_FREE_ROUTINE FreePort;
    PPARALLEL_QUERY_WAITERS_ROUTINE QueryNumWaiters;
    PVOID Context;
} PARALLEL_PORT_INFORMATION, *PPARALLEL_PORT_INFORMATION;

#endif /* SIMPC_PARALLEL_H */
