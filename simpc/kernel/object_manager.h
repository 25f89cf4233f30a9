// The object namespace of the simulated kernel: named devices and symbolic
// links.  "\DosDevices\X" and "\??\X" are the same name, as on NT, and
// names ignore case.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "ntddk.h"

namespace simpc {

class ObjectManager {
  public:
    NTSTATUS InsertDevice(const std::string& name, PDEVICE_OBJECT device);
    void RemoveDevice(PDEVICE_OBJECT device);
    NTSTATUS CreateLink(const std::string& link, const std::string& target);
    NTSTATUS DeleteLink(const std::string& link);

    // The device a name leads to, following symbolic links; nullptr if none.
    PDEVICE_OBJECT ResolveDevice(const std::string& name) const;
    std::optional<std::string> LinkTarget(const std::string& link) const;
    bool DeviceExists(const std::string& name) const;
    bool LinkExists(const std::string& link) const { return LinkTarget(link).has_value(); }
    std::string NameOf(PDEVICE_OBJECT device) const;

    static std::string Canonical(const std::string& name);

  private:
    struct Entry {
        PDEVICE_OBJECT device = nullptr;  // a device, or
        std::string target;               // a symbolic link's target
        std::string name;                 // as created
    };
    std::map<std::string, Entry> entries_;  // by canonical name
};

}  // namespace simpc
