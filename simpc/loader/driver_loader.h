// The driver loader: maps a driver image, runs its DriverEntry with the
// service key path, and at unload runs its unload routine and unmaps the
// image again, so that the driver's global variables start at zero on every
// load as they do on Windows.
//
// A driver image here is a shared object whose only undefined symbols are
// the kernel and HAL routines it imports; the simulated kernel exports them.
// Built-in drivers (the simulated PC's own, or a test's) are entry points
// linked into the process.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ntddk.h"

namespace simpc {

class Pc;

class DriverLoader {
  public:
    explicit DriverLoader(Pc& pc) : pc_(pc) {}
    ~DriverLoader();

    // Loads the driver of a service key (ImagePath under
    // \Registry\Machine\System\CurrentControlSet\Services\<service>).
    NTSTATUS Load(const std::string& service);
    // Loads a driver whose entry point is linked into the process.
    NTSTATUS LoadBuiltin(const std::string& service, PDRIVER_INITIALIZE entry);
    // Runs the unload routine, checks what the driver left behind, unmaps it.
    NTSTATUS Unload(const std::string& service);
    void UnloadAll();

    bool IsLoaded(const std::string& service) const;
    PDRIVER_OBJECT DriverObjectOf(const std::string& service) const;
    // The host file an image path names: \SystemRoot\... lies under the
    // simulated PC's system root.
    std::string HostPathOf(const std::string& image_path) const;
    // Whether the image of the last unloaded driver is still mapped.
    bool LastUnloadedImageStillMapped() const { return last_image_still_mapped_; }

  private:
    struct LoadedDriver {
        PDRIVER_OBJECT object = nullptr;
        void* image = nullptr;  // dlopen handle; null for built-ins
        std::string image_host_path;
        std::u16string registry_path;
        std::u16string driver_name;
    };
    NTSTATUS Start(const std::string& service, PDRIVER_INITIALIZE entry, void* image,
                   const std::string& host_path);
    void Release(LoadedDriver& driver);

    Pc& pc_;
    std::map<std::string, LoadedDriver> drivers_;  // by folded service name
    bool last_image_still_mapped_ = false;
};

}  // namespace simpc
