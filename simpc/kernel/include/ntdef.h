/*
 * Base types of the simulated NT platform, shared by the kernel-mode
 * headers (ntddk.h) and the user-mode header (windows.h) of the simulated PC.
 *
 * The simulated PC follows the LLP64 data model of Windows: LONG and ULONG
 * are 32 bits, pointers and ULONG_PTR are 64 bits, and WCHAR is a 16-bit
 * UTF-16 code unit.  Code built against these headers is compiled with
 * -fshort-wchar so that L"..." literals are UTF-16, as on Windows.
 */
#ifndef SIMPC_NTDEF_H
#define SIMPC_NTDEF_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define SIMPC_EXTERN_C extern "C"
#define SIMPC_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define SIMPC_EXTERN_C extern
#define SIMPC_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

SIMPC_STATIC_ASSERT(sizeof(wchar_t) == 2, "build code for the simulated PC with -fshort-wchar");

#define NTAPI
#define NTSYSAPI
#define FASTCALL
#define IN
#define OUT
#define OPTIONAL
#define UNREFERENCED_PARAMETER(p) ((void)(p))

#ifndef NULL
#define NULL 0
#endif
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef void VOID;
typedef void* PVOID;
typedef char CHAR;
typedef char CCHAR;
typedef char* PCHAR;
typedef char* PSTR;
typedef const char* PCSTR;
typedef unsigned char UCHAR;
typedef unsigned char* PUCHAR;
typedef short SHORT;
typedef short CSHORT;
typedef unsigned short USHORT;
typedef unsigned short* PUSHORT;
typedef int32_t LONG;
typedef int32_t* PLONG;
typedef uint32_t ULONG;
typedef uint32_t* PULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef ULONG_PTR SIZE_T;
typedef unsigned char BOOLEAN;
typedef BOOLEAN* PBOOLEAN;
typedef wchar_t WCHAR;
typedef WCHAR* PWCH;
typedef WCHAR* PWSTR;
typedef const WCHAR* PCWSTR;
typedef LONG NTSTATUS;

#define NT_SUCCESS(Status) (((NTSTATUS)(Status)) >= 0)
#define NT_ERROR(Status) ((((ULONG)(Status)) >> 30) == 3)

typedef union _LARGE_INTEGER {
    struct {
        ULONG LowPart;
        LONG HighPart;
    };
    struct {
        ULONG LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef LARGE_INTEGER PHYSICAL_ADDRESS, *PPHYSICAL_ADDRESS;

typedef struct _UNICODE_STRING {
    USHORT Length;        /* bytes, without a terminating NUL */
    USHORT MaximumLength; /* bytes of Buffer */
    PWSTR Buffer;
} UNICODE_STRING, *PUNICODE_STRING;
typedef const UNICODE_STRING* PCUNICODE_STRING;

/* Access rights, shared by kernel and user mode. */
#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#define SYNCHRONIZE 0x00100000L
#define STANDARD_RIGHTS_REQUIRED 0x000F0000L
#define STANDARD_RIGHTS_ALL 0x001F0000L

#define FILE_READ_DATA 0x0001
#define FILE_WRITE_DATA 0x0002

/* Status values. */
#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#define STATUS_WAIT_0 ((NTSTATUS)0x00000000L)
#define STATUS_TIMEOUT ((NTSTATUS)0x00000102L)
#define STATUS_PENDING ((NTSTATUS)0x00000103L)
#define STATUS_BUFFER_OVERFLOW ((NTSTATUS)0x80000005L)
#define STATUS_UNSUCCESSFUL ((NTSTATUS)0xC0000001L)
#define STATUS_NOT_IMPLEMENTED ((NTSTATUS)0xC0000002L)
#define STATUS_INVALID_HANDLE ((NTSTATUS)0xC0000008L)
#define STATUS_ACCESS_VIOLATION ((NTSTATUS)0xC0000005L)
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000DL)
#define STATUS_NO_SUCH_DEVICE ((NTSTATUS)0xC000000EL)
#define STATUS_INVALID_DEVICE_REQUEST ((NTSTATUS)0xC0000010L)
#define STATUS_MORE_PROCESSING_REQUIRED ((NTSTATUS)0xC0000016L)
#define STATUS_NO_MEMORY ((NTSTATUS)0xC0000017L)
#define STATUS_ACCESS_DENIED ((NTSTATUS)0xC0000022L)
#define STATUS_BUFFER_TOO_SMALL ((NTSTATUS)0xC0000023L)
#define STATUS_OBJECT_TYPE_MISMATCH ((NTSTATUS)0xC0000024L)
#define STATUS_OBJECT_NAME_INVALID ((NTSTATUS)0xC0000033L)
#define STATUS_OBJECT_NAME_NOT_FOUND ((NTSTATUS)0xC0000034L)
#define STATUS_OBJECT_NAME_COLLISION ((NTSTATUS)0xC0000035L)
#define STATUS_OBJECT_PATH_NOT_FOUND ((NTSTATUS)0xC000003AL)
#define STATUS_INSUFFICIENT_RESOURCES ((NTSTATUS)0xC000009AL)
#define STATUS_DEVICE_BUSY ((NTSTATUS)0x80000011L)
#define STATUS_CANCELLED ((NTSTATUS)0xC0000120L)
#define STATUS_DEVICE_CONFIGURATION_ERROR ((NTSTATUS)0xC0000182L)
#define STATUS_INVALID_DEVICE_STATE ((NTSTATUS)0xC0000184L)

#endif /* SIMPC_NTDEF_H */
