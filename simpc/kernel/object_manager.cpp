#include "object_manager.h"

#include "names.h"

namespace simpc {

std::string ObjectManager::Canonical(const std::string& name) {
    std::string folded = FoldCase(name);
    static const std::string kDosDevices = "\\dosdevices\\";
    if (folded.compare(0, kDosDevices.size(), kDosDevices) == 0) {
        folded = "\\??\\" + folded.substr(kDosDevices.size());
    }
    return folded;
}

NTSTATUS ObjectManager::InsertDevice(const std::string& name, PDEVICE_OBJECT device) {
    const std::string key = Canonical(name);
    if (entries_.count(key) != 0) {
        return STATUS_OBJECT_NAME_COLLISION;
    }
    entries_[key] = Entry{device, std::string(), name};
    return STATUS_SUCCESS;
}

void ObjectManager::RemoveDevice(PDEVICE_OBJECT device) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second.device == device) {
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

NTSTATUS ObjectManager::CreateLink(const std::string& link, const std::string& target) {
    const std::string key = Canonical(link);
    if (entries_.count(key) != 0) {
        return STATUS_OBJECT_NAME_COLLISION;
    }
    entries_[key] = Entry{nullptr, target, link};
    return STATUS_SUCCESS;
}

NTSTATUS ObjectManager::DeleteLink(const std::string& link) {
    auto it = entries_.find(Canonical(link));
    if (it == entries_.end() || it->second.device != nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    entries_.erase(it);
    return STATUS_SUCCESS;
}

PDEVICE_OBJECT ObjectManager::ResolveDevice(const std::string& name) const {
    std::string current = name;
    for (int depth = 0; depth < 16; ++depth) {
        auto it = entries_.find(Canonical(current));
        if (it == entries_.end()) {
            return nullptr;
        }
        if (it->second.device != nullptr) {
            return it->second.device;
        }
        current = it->second.target;
    }
    return nullptr;
}

std::optional<std::string> ObjectManager::LinkTarget(const std::string& link) const {
    auto it = entries_.find(Canonical(link));
    if (it == entries_.end() || it->second.device != nullptr) {
        return std::nullopt;
    }
    return it->second.target;
}

bool ObjectManager::DeviceExists(const std::string& name) const {
    auto it = entries_.find(Canonical(name));
    return it != entries_.end() && it->second.device != nullptr;
}

std::string ObjectManager::NameOf(PDEVICE_OBJECT device) const {
    for (const auto& entry : entries_) {
        if (entry.second.device == device) {
            return entry.second.name;
        }
    }
    return std::string();
}

}  // namespace simpc
