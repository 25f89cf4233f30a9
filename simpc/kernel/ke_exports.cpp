// Kernel events and waits, and the sink of the driver trace hook.
//
// A wait lets the machine run: the scheduled events (other clients of a
// port, completions, requests of other applications) run in time order
// until the event is signalled or the timeout passes, so a one-second
// timeout costs no real second.
#include <cstdio>
#include <string>

#include "names.h"
#include "simpc/pc.h"

using simpc::Pc;

namespace {

// Marks an event as initialised; an event whose header lost its mark was
// never initialised or lived in memory that has been reused.
ULONG_PTR CookieOf(const void* event) {
    return reinterpret_cast<ULONG_PTR>(event) ^ static_cast<ULONG_PTR>(0x5A17E7E7u);
}

void CheckEvent(PRKEVENT event, const char* operation) {
    if (event->Header.SimCookie != CookieOf(event)) {
        Pc::Current().verifier().Fatal(std::string(operation) +
                                       " on an event that is not initialised (or whose memory "
                                       "has gone)");
    }
}

// The trace formats use %x, %lu and %S (a NUL-terminated UTF-16 text); the
// ordinary printf conversions are accepted as well.
std::string Format(PCSTR format, va_list arguments) {
    std::string out;
    for (const char* p = format; *p != 0; ++p) {
        if (*p != '%') {
            out.push_back(*p);
            continue;
        }
        ++p;
        bool is_long = false;
        while (*p == 'l' || *p == 'h') {
            is_long = is_long || *p == 'l';
            ++p;
        }
        char text[32];
        switch (*p) {
            case 'x':
            case 'X':
            case 'u':
            case 'd':
            case 'i': {
                // ULONG and LONG are 32 bits, long or not.
                const unsigned value = va_arg(arguments, unsigned);
                const char* conversion = *p == 'x' ? "%x" : *p == 'X' ? "%X" : *p == 'u' ? "%u" : "%d";
                std::snprintf(text, sizeof(text), conversion, value);
                out += text;
                break;
            }
            case 'c':
                out.push_back(static_cast<char>(va_arg(arguments, int)));
                break;
            case 's': {
                const char* s = va_arg(arguments, const char*);
                out += s != nullptr ? s : "(null)";
                break;
            }
            case 'S':
            case 'w': {
                PCWSTR s = va_arg(arguments, PCWSTR);
                out += s != nullptr ? simpc::Narrow(s) : "(null)";
                break;
            }
            case 'p': {
                std::snprintf(text, sizeof(text), "%p", va_arg(arguments, void*));
                out += text;
                break;
            }
            case '%':
                out.push_back('%');
                break;
            case 0:
                return out;
            default:
                out.push_back('%');
                out.push_back(*p);
                break;
        }
        (void)is_long;
    }
    return out;
}

}  // namespace

extern "C" {

VOID NTAPI KeInitializeEvent(PRKEVENT Event, EVENT_TYPE Type, BOOLEAN State) {
    Event->Header.Type = static_cast<UCHAR>(Type);
    Event->Header.SignalState = State ? 1 : 0;
    Event->Header.SimCookie = CookieOf(Event);
}

LONG NTAPI KeSetEvent(PRKEVENT Event, KPRIORITY Increment, BOOLEAN Wait) {
    (void)Increment;
    (void)Wait;
    CheckEvent(Event, "KeSetEvent");
    const LONG previous = Event->Header.SignalState;
    Event->Header.SignalState = 1;
    return previous;
}

VOID NTAPI KeClearEvent(PRKEVENT Event) {
    CheckEvent(Event, "KeClearEvent");
    Event->Header.SignalState = 0;
}

NTSTATUS NTAPI KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason,
                                     KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                     PLARGE_INTEGER Timeout) {
    (void)WaitReason;
    (void)WaitMode;
    (void)Alertable;
    Pc& pc = Pc::Current();
    auto* event = static_cast<PRKEVENT>(Object);
    CheckEvent(event, "KeWaitForSingleObject");

    // A negative timeout is relative, in units of 100 ns; a positive one is
    // an absolute time on the machine's clock.
    bool has_deadline = Timeout != nullptr;
    simpc::Nanoseconds deadline = 0;
    if (has_deadline) {
        const LONGLONG t = Timeout->QuadPart;
        deadline = t < 0 ? pc.clock().Now() + static_cast<simpc::Nanoseconds>(-t) * 100
                         : static_cast<simpc::Nanoseconds>(t) * 100;
    }

    for (;;) {
        if (event->Header.SignalState != 0) {
            if (event->Header.Type == SynchronizationEvent) {
                event->Header.SignalState = 0;
            }
            return STATUS_SUCCESS;
        }
        const bool next_in_time = pc.clock().HasPending() &&
                                  (!has_deadline || pc.clock().NextEventTime() <= deadline);
        if (next_in_time) {
            pc.clock().RunNext();
            CheckEvent(event, "KeWaitForSingleObject");
            continue;
        }
        if (has_deadline) {
            pc.clock().RunUntil(deadline);
            return STATUS_TIMEOUT;
        }
        pc.verifier().Fatal("KeWaitForSingleObject without a timeout on an event that nothing "
                            "will ever signal: the thread would hang");
    }
}

VOID NTAPI SimDriverTrace(PCSTR Format, va_list Arguments) {
    va_list copy;
    va_copy(copy, Arguments);
    Pc::Current().AddDriverTrace(::Format(Format, copy));
    va_end(copy);
}

}  // extern "C"
