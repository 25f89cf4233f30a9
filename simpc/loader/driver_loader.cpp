#include "driver_loader.h"

#include <dlfcn.h>

#include <cstring>

#include "names.h"
#include "simpc/pc.h"

namespace simpc {

namespace {

// What the I/O manager gives every major function a driver leaves alone.
NTSTATUS NTAPI InvalidDeviceRequest(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    (void)DeviceObject;
    Irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    Irp->IoStatus.Information = 0;
    IofCompleteRequest(Irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

void SetCountedString(UNICODE_STRING& target, std::u16string& text) {
    target.Buffer = reinterpret_cast<PWSTR>(text.data());
    target.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    target.MaximumLength = static_cast<USHORT>(text.size() * sizeof(WCHAR));
}

}  // namespace

DriverLoader::~DriverLoader() { UnloadAll(); }

std::string DriverLoader::HostPathOf(const std::string& image_path) const {
    std::string path = image_path;
    const std::string folded = FoldCase(path);
    static const std::string kSystemRoot = "\\systemroot\\";
    static const std::string kDrive = "\\??\\c:\\";
    std::string host;
    if (folded.compare(0, kSystemRoot.size(), kSystemRoot) == 0) {
        host = pc_.SystemRootHostPath() + "/" + path.substr(kSystemRoot.size());
    } else if (folded.compare(0, kDrive.size(), kDrive) == 0) {
        host = pc_.SystemDrive() + "/" + path.substr(kDrive.size());
    } else if (folded.compare(0, 3, "c:\\") == 0) {
        host = pc_.SystemDrive() + "/" + path.substr(3);
    } else {
        // A relative image path is relative to \SystemRoot.
        host = pc_.SystemRootHostPath() + "/" + path;
    }
    for (char& c : host) {
        if (c == '\\') {
            c = '/';
        }
    }
    return host;
}

NTSTATUS DriverLoader::Load(const std::string& service) {
    const std::string key = Pc::ServiceKey(service);
    const RegistryValue* image_path = pc_.registry().FindValue(key, "ImagePath");
    const std::string image = image_path != nullptr && image_path->AsString()
                                  ? *image_path->AsString()
                                  : "system32\\drivers\\" + service + ".sys";
    const std::string host_path = HostPathOf(image);

    void* handle = dlopen(host_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        pc_.verifier().Report("driver image " + image + " cannot be loaded: " + dlerror());
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    auto entry = reinterpret_cast<PDRIVER_INITIALIZE>(dlsym(handle, "DriverEntry"));
    if (entry == nullptr) {
        dlclose(handle);
        pc_.verifier().Report("driver image " + image + " has no DriverEntry");
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    return Start(service, entry, handle, host_path);
}

NTSTATUS DriverLoader::LoadBuiltin(const std::string& service, PDRIVER_INITIALIZE entry) {
    return Start(service, entry, nullptr, std::string());
}

NTSTATUS DriverLoader::Start(const std::string& service, PDRIVER_INITIALIZE entry, void* image,
                             const std::string& host_path) {
    const std::string name = FoldCase(service);
    if (drivers_.count(name) != 0) {
        if (image != nullptr) {
            dlclose(image);
        }
        return STATUS_OBJECT_NAME_COLLISION;  // already running
    }
    LoadedDriver& driver = drivers_[name];
    driver.image = image;
    driver.image_host_path = host_path;
    driver.registry_path = Widen(Pc::ServiceKey(service));
    driver.driver_name = Widen("\\Driver\\" + service);

    auto* object = new DRIVER_OBJECT();
    object->Type = 4;
    object->Size = sizeof(DRIVER_OBJECT);
    SetCountedString(object->DriverName, driver.driver_name);
    object->DriverInit = entry;
    for (auto& dispatch : object->MajorFunction) {
        dispatch = InvalidDeviceRequest;
    }
    driver.object = object;

    UNICODE_STRING registry_path;
    SetCountedString(registry_path, driver.registry_path);
    const NTSTATUS status = entry(object, &registry_path);
    if (!NT_SUCCESS(status)) {
        // A driver whose entry fails is unloaded without its unload routine.
        Release(driver);
        drivers_.erase(name);
        return status;
    }
    for (PDEVICE_OBJECT device : pc_.io().DevicesOf(object)) {
        device->Flags &= ~static_cast<ULONG>(DO_DEVICE_INITIALIZING);
    }
    return status;
}

NTSTATUS DriverLoader::Unload(const std::string& service) {
    auto it = drivers_.find(FoldCase(service));
    if (it == drivers_.end()) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    LoadedDriver& driver = it->second;
    if (driver.object->DriverUnload == nullptr) {
        return STATUS_INVALID_DEVICE_REQUEST;  // a driver without unload routine cannot stop
    }
    // The system unloads a driver only when no handle to its devices is open.
    for (PDEVICE_OBJECT device : pc_.io().DevicesOf(driver.object)) {
        if (device->ReferenceCount != 0) {
            return STATUS_DEVICE_BUSY;
        }
    }

    driver.object->DriverUnload(driver.object);

    for (PDEVICE_OBJECT device : pc_.io().DevicesOf(driver.object)) {
        std::string device_name = pc_.objects().NameOf(device);
        pc_.verifier().Report("driver " + service + " unloaded without deleting its device " +
                              (device_name.empty() ? std::string("(unnamed)") : device_name));
        pc_.io().DeleteDevice(device);
    }
    if (pc_.io().LookupReferencesHeld() != 0) {
        pc_.verifier().Report("driver " + service + " unloaded still holding " +
                              std::to_string(pc_.io().LookupReferencesHeld()) +
                              " file-object reference(s) from IoGetDeviceObjectPointer");
    }
    if (pc_.io().LiveIrpCount() != 0) {
        pc_.verifier().Report("driver " + service + " unloaded with " +
                              std::to_string(pc_.io().LiveIrpCount()) + " IRP(s) not freed");
    }
    pc_.pool().ReportLeaks("when driver " + service + " unloaded");
    Release(driver);
    drivers_.erase(it);
    return STATUS_SUCCESS;
}

void DriverLoader::Release(LoadedDriver& driver) {
    delete driver.object;
    driver.object = nullptr;
    last_image_still_mapped_ = false;
    if (driver.image != nullptr) {
        dlclose(driver.image);
        driver.image = nullptr;
        // The image must really be gone, or its globals would survive into
        // the next load.
        void* again = dlopen(driver.image_host_path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (again != nullptr) {
            last_image_still_mapped_ = true;
            pc_.verifier().Report("driver image " + driver.image_host_path +
                                  " is still mapped after unload");
            dlclose(again);
        }
    }
}

void DriverLoader::UnloadAll() {
    while (!drivers_.empty()) {
        const std::string name = drivers_.begin()->first;
        LoadedDriver& driver = drivers_.begin()->second;
        if (driver.object->DriverUnload == nullptr ||
            Unload(name) != STATUS_SUCCESS) {
            // Shutting the machine down: drop it without its unload routine.
            for (PDEVICE_OBJECT device : pc_.io().DevicesOf(driver.object)) {
                pc_.io().DeleteDevice(device);
            }
            Release(driver);
            drivers_.erase(name);
        }
    }
}

bool DriverLoader::IsLoaded(const std::string& service) const {
    return drivers_.count(FoldCase(service)) != 0;
}

PDRIVER_OBJECT DriverLoader::DriverObjectOf(const std::string& service) const {
    auto it = drivers_.find(FoldCase(service));
    return it == drivers_.end() ? nullptr : it->second.object;
}

}  // namespace simpc
