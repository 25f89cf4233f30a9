# Building an NT kernel-mode driver image (.sys) with a mingw-w64 cross
# toolchain (see cmake/toolchains/).
#
#   include(WindowsDriver)
#   add_windows_driver(<target>
#       SOURCES <file>...
#       [OUTPUT_NAME <name>]          # image name without ".sys"; default <target>
#       [INCLUDE_DIRECTORIES <dir>...]
#       [COMPILE_DEFINITIONS <def>...]
#       [LINK_LIBGCC])                # see below
#
# The image is a native-subsystem PE with entry DriverEntry, no C runtime and
# no startup code, importing from ntoskrnl.exe and HAL.dll only. The x86 image
# declares subsystem and OS version 4.0 so that NT 4 accepts it.
#
# Sources see the DDK headers of mingw-w64 (<ntddk.h>, <wdm.h>, <parallel.h>)
# as system headers. What those headers lack or get wrong for C++ kernel code:
# - CTL_CODE shifts an int: a code of a device type >= 0x8000 overflows int
#   and is a narrowing error in a case label of a ULONG switch. Such codes
#   must be written as unsigned constants.
# - RTL_QUERY_REGISTRY_TYPECHECK (0x00000100) and
#   RTL_QUERY_REGISTRY_TYPECHECK_SHIFT (24) are not defined.
# - InterlockedBitTestAndSet/Reset are defined twice (see below).
# Routines the system calls (DriverEntry, dispatch, unload, completion) must
# be NTAPI: __stdcall on x86, where DriverEntry becomes _DriverEntry@8.

include_guard(GLOBAL)

# mingw-w64's wdm.h defines InterlockedBitTestAndSet/Reset as static inline
# functions of its own after including <intrin.h>, which has defined them
# already; g++ rejects the second definition. Marking the intrinsics as
# defined makes <intrin.h> skip its copies, so wdm.h's are the only ones.
set(WINDOWS_DRIVER_DEFINITIONS
    __INTRINSIC_DEFINED_InterlockedBitTestAndSet
    __INTRINSIC_DEFINED_InterlockedBitTestAndReset)

function(add_windows_driver target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "LINK_LIBGCC" "OUTPUT_NAME"
                        "SOURCES;INCLUDE_DIRECTORIES;COMPILE_DEFINITIONS")
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "add_windows_driver(${target}): no SOURCES")
  endif()
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows" OR NOT MINGW)
    message(FATAL_ERROR "add_windows_driver(${target}): needs a mingw-w64 toolchain")
  endif()

  find_path(WINDOWS_DDK_INCLUDE_DIR ntddk.h
            PATH_SUFFIXES ddk
            DOC "mingw-w64 DDK headers (ntddk.h, wdm.h, parallel.h)")
  find_library(WINDOWS_NTOSKRNL_LIBRARY ntoskrnl)
  find_library(WINDOWS_HAL_LIBRARY hal)
  if(NOT WINDOWS_DDK_INCLUDE_DIR OR NOT WINDOWS_NTOSKRNL_LIBRARY OR NOT WINDOWS_HAL_LIBRARY)
    message(FATAL_ERROR "add_windows_driver(${target}): mingw-w64 DDK headers or "
                        "ntoskrnl/hal import libraries not found")
  endif()

  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(entry DriverEntry)
    set(image_base 0x140000000)
    # x64 Windows starts at 5.2 (Server 2003 / XP x64).
    set(version_flags
        -Wl,--subsystem,native:5.2
        -Wl,--major-os-version,5 -Wl,--minor-os-version,2)
    # The x64 calling convention requires unwind data (.pdata/.xdata) for
    # every function that calls others or uses the stack; the kernel's stack
    # walker and exception dispatcher read it. So keep the compiler's default
    # asynchronous unwind tables on x64. (There is no red zone in the
    # Microsoft x64 ABI; the flag only states it.) x64 kernel code may use
    # SSE registers, and <intrin.h> needs them.
    set(arch_compile_flags -mno-red-zone)
  else()
    # stdcall decoration of DriverEntry(PDRIVER_OBJECT, PUNICODE_STRING).
    set(entry _DriverEntry@8)
    set(image_base 0x10000)
    set(version_flags
        -Wl,--subsystem,native:4.0
        -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
    # On x86 the unwind tables would be DWARF .eh_frame data that no part of
    # NT reads. x86 kernel code must not touch x87/MMX/SSE state without
    # saving it first (KeSaveFloatingPointState), so let the compiler use
    # none.
    set(arch_compile_flags -fno-asynchronous-unwind-tables -mgeneral-regs-only)
  endif()

  add_executable(${target} ${ARG_SOURCES})
  set(name ${target})
  if(ARG_OUTPUT_NAME)
    set(name ${ARG_OUTPUT_NAME})
  endif()
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${name}
    SUFFIX ".sys")

  target_include_directories(${target} PRIVATE ${ARG_INCLUDE_DIRECTORIES})
  target_include_directories(${target} SYSTEM PRIVATE ${WINDOWS_DDK_INCLUDE_DIR})
  target_compile_definitions(${target} PRIVATE ${WINDOWS_DRIVER_DEFINITIONS}
                                               ${ARG_COMPILE_DEFINITIONS})
  target_compile_options(${target} PRIVATE
    -ffreestanding
    -fno-exceptions
    -fno-rtti
    -fno-threadsafe-statics    # no __cxa_guard_* calls for local statics
    -fno-stack-protector
    -fno-stack-check
    -mno-stack-arg-probe       # kernel stacks are resident: no ___chkstk_ms calls
    ${arch_compile_flags})

  set(libgcc)
  if(ARG_LINK_LIBGCC)
    # Only for compiler helpers that have no kernel export, such as 64-bit
    # division on x86 (__udivdi3). libgcc's helpers are self-contained.
    set(libgcc -lgcc)
  endif()

  target_link_options(${target} PRIVATE
    -nostdlib
    -nostartfiles
    -Wl,--entry,${entry}
    -Wl,--image-base,${image_base}
    ${version_flags}
    -Wl,--file-alignment,0x200
    -Wl,--section-alignment,0x1000
    # The kernel loads the image wherever it finds room and applies the base
    # relocations; ld writes .reloc whenever the code holds an absolute
    # address (x64 code that is all RIP-relative needs none).
    -Wl,--dynamicbase
    -Wl,--enable-reloc-section
    -Wl,--nxcompat
    # No CRT means no runtime pseudo-relocator: data must never be
    # auto-imported.
    -Wl,--disable-auto-import
    -Wl,--disable-runtime-pseudo-reloc
    -Wl,--no-insert-timestamp
    -s)
  target_link_libraries(${target} PRIVATE ${WINDOWS_NTOSKRNL_LIBRARY} ${WINDOWS_HAL_LIBRARY} ${libgcc})
endfunction()
