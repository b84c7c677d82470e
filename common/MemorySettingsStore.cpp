#include "common/MemorySettingsStore.h"

namespace velkora {

MemorySettingsStore::MemorySettingsStore(std::map<std::string, std::string> values)
    : values_(std::move(values)) {}

std::optional<std::string> MemorySettingsStore::find(const std::string& key) const {
    auto it = values_.find(key);
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

void MemorySettingsStore::write(const std::string& key, const std::string& value) {
    if (failWrites) {
        throw SettingsStoreError("the settings cannot be written");
    }
    values_[key] = value;
    log_.emplace_back(key, value);
}

}  // namespace velkora
