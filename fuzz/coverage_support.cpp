// The coverage build links the compiler's profile runtime into the driver
// image, which is linked without a C library; the runtime's one call that
// the shared C library does not export, atexit, is served from here.
extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* dso_handle);

extern "C" int atexit(void (*function)(void)) {
    // The image is never unmapped, so the handler needs no owning object.
    return __cxa_atexit(reinterpret_cast<void (*)(void*)>(function), nullptr, nullptr);
}
