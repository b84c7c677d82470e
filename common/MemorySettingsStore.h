#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/SettingsStore.h"

namespace velkora {

// A settings store held in memory, for tests: keys are exact (case-sensitive), and every
// write is also recorded in order so that tests can check what was written when.
class MemorySettingsStore : public SettingsStore {
public:
    MemorySettingsStore() = default;
    explicit MemorySettingsStore(std::map<std::string, std::string> values);

    std::optional<std::string> find(const std::string& key) const override;
    void write(const std::string& key, const std::string& value) override;

    const std::map<std::string, std::string>& values() const { return values_; }
    // Every write since construction (or the last clearWriteLog()), oldest first.
    const std::vector<std::pair<std::string, std::string>>& writeLog() const { return log_; }
    void clearWriteLog() { log_.clear(); }

    // While set, writes fail as a full disk would make them fail.
    bool failWrites = false;

private:
    std::map<std::string, std::string> values_;
    std::vector<std::pair<std::string, std::string>> log_;
};

}  // namespace velkora
