#pragma once

#include <map>
#include <optional>
#include <string>

#include "common/SettingsStore.h"

namespace velkora {

// The user's settings as the check tool uses them: keys written here take the place of the
// stored ones, in memory only, so that the tool never changes the user's settings file.
class OverlaySettingsStore final : public SettingsStore {
public:
    explicit OverlaySettingsStore(const SettingsStore& base) : base_(base) {}

    std::optional<std::string> find(const std::string& key) const override {
        const auto found = overrides_.find(key);
        return found != overrides_.end() ? found->second : base_.find(key);
    }
    void write(const std::string& key, const std::string& value) override {
        overrides_[key] = value;
    }

private:
    const SettingsStore& base_;
    std::map<std::string, std::string> overrides_;
};

}  // namespace velkora
