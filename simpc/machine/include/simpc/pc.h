// simpc/pc.h - the simulated PC.
//
// One Pc object is one machine: an NT kernel (object namespace, registry,
// pool, I/O manager, events, virtual clock), a HAL with its I/O port bus,
// a driver loader, a driver verifier, and the Win32 calls that user-mode
// programs make (windows.h of the simulated PC).  Kernel code and Win32
// code reach the Pc that exists at the time; there is one at a time.
//
// Typical use from a test or a program:
//
//   simpc::Pc pc;                                    // boots
//   pc.InstallDriver("vexlor", VEXLOR_IMAGE, 1);     // service key, Lpt = 1
//   pc.LoadDriver("vexlor");                         // DriverEntry runs
//   HANDLE h = CreateFileA("\\\\.\\Vexlor", ...);    // an application
//   DeviceIoControl(h, ...); CloseHandle(h);
//   pc.UnloadDriver("vexlor");                       // unload routine runs
//   pc.verifier().Findings();                        // what went wrong
//
// Nothing waits for real time: the clock moves when simulated code stalls
// or spends port cycles, and when a wait lets scheduled events run.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver_loader.h"
#include "faults.h"
#include "io_manager.h"
#include "object_manager.h"
#include "pool.h"
#include "port_bus.h"
#include "registry.h"
#include "scheduler.h"
#include "verifier.h"

namespace simpc {

class Win32State;

class Pc {
  public:
    // Boots a machine.  Its system drive is a fresh directory under the
    // host's temporary directory unless `system_drive` names one; a fresh
    // one is removed again when the Pc goes.
    explicit Pc(const std::string& system_drive = std::string());
    ~Pc();
    Pc(const Pc&) = delete;
    Pc& operator=(const Pc&) = delete;

    // The machine that kernel and Win32 calls act on; aborts if none exists.
    static Pc& Current();
    static bool Exists();

    // --- parts of the machine ---
    Scheduler& clock() { return scheduler_; }
    Verifier& verifier() { return verifier_; }
    Faults& faults() { return faults_; }
    Registry& registry() { return registry_; }
    Pool& pool() { return pool_; }
    ObjectManager& objects() { return objects_; }
    IoManager& io() { return io_; }
    PortBus& bus() { return bus_; }
    DriverLoader& loader() { return loader_; }
    Win32State& win32() { return *win32_; }

    // --- the system drive (C:) on the host ---
    const std::string& SystemDrive() const { return system_drive_; }
    // The host directory of C:\WINDOWS, which is \SystemRoot.
    std::string SystemRootHostPath() const { return system_drive_ + "/WINDOWS"; }

    // --- drivers ---
    // Copies a driver image to \SystemRoot\system32\drivers\<service>.sys and
    // writes its service key: a kernel driver (Type 1), started on demand
    // (Start 3), ErrorControl 1, ImagePath \SystemRoot\system32\drivers\...,
    // and, when lpt is given, Parameters\Lpt = REG_DWORD lpt.
    void InstallDriver(const std::string& service, const std::string& image_host_path,
                       int lpt = -1);
    static std::string ServiceKey(const std::string& service);
    NTSTATUS LoadDriver(const std::string& service) { return loader_.Load(service); }
    NTSTATUS UnloadDriver(const std::string& service) { return loader_.Unload(service); }

    // --- the driver's trace hook ---
    // Each call of a driver's trace hook, formatted.
    const std::vector<std::string>& DriverTraces() const { return traces_; }
    // All of them joined: the text the messages make together.
    std::string DriverTraceText() const;
    void ClearDriverTraces() { traces_.clear(); }
    void AddDriverTrace(std::string text) { traces_.push_back(std::move(text)); }

    // --- the HAL's bus address translation ---
    // Maps (interface type, bus number, bus address, address space) to a
    // translated address; returns false when the HAL cannot translate.  The
    // default maps ISA I/O space one to one.
    using BusTranslator = std::function<bool(int interface_type, uint32_t bus_number,
                                             uint64_t bus_address, uint32_t* address_space,
                                             uint64_t* translated)>;
    void SetBusTranslator(BusTranslator translator) { translator_ = std::move(translator); }
    const BusTranslator& bus_translator() const { return translator_; }

  private:
    std::string system_drive_;
    bool owns_system_drive_ = false;
    Scheduler scheduler_;
    Verifier verifier_;
    Faults faults_;
    Registry registry_;
    Pool pool_{verifier_, faults_};
    ObjectManager objects_;
    IoManager io_{*this};
    PortBus bus_{scheduler_};
    std::vector<std::string> traces_;
    BusTranslator translator_;
    std::unique_ptr<Win32State> win32_;
    // Declared last: drivers are unloaded first when the machine goes.
    DriverLoader loader_{*this};
};

}  // namespace simpc
