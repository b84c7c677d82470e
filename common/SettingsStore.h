#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace velkora {

// A write that could not be made durable; the store is left as it was before the write.
class SettingsStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The per-user key/value store that both programs share (application "orvane", section
// "setting"). Values are UTF-8 text. Keys are never deleted.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored text, or nothing when the key has never been written.
    virtual std::optional<std::string> find(const std::string& key) const = 0;

    // Creates or replaces the value; throws SettingsStoreError when it cannot be stored.
    virtual void write(const std::string& key, const std::string& value) = 0;

    // The stored text, or the given default when the key has never been written.
    std::string read(const std::string& key, const std::string& defaultValue) const {
        auto value = find(key);
        return value ? *value : defaultValue;
    }
};

}  // namespace velkora
