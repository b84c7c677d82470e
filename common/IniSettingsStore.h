#pragma once

#include <sys/types.h>

#include <mutex>
#include <optional>
#include <string>

#include "common/IniDocument.h"
#include "common/ProductInfo.h"
#include "common/SettingsStore.h"

namespace velkora {

// The persistent per-user store that both programs share: one INI file (IniDocument gives
// its form), by default $XDG_CONFIG_HOME/velkora/orvane.ini (XDG_CONFIG_HOME defaults to
// ~/.config), with the keys of one section ([setting]).
//
// Guarantees:
// - The folder is created 0700 and the file 0600 from their first moment.
// - A write never leaves a torn file: the new contents go to a temporary file in the same
//   folder, which is flushed to disk and renamed over the old one; a reader or a crash sees
//   the old or the new file whole.
// - Writers in several processes exclude each other with flock() on "<file>.lock" and
//   re-read the file under the lock, so nobody's keys are lost.
// - Every find() notices when the file was replaced and reads it again, so a reader sees the
//   other program's latest writes.
// - Keys are never removed.
class IniSettingsStore : public SettingsStore {
public:
    // The per-user store at defaultFilePath(); its own folder is kept at 0700.
    IniSettingsStore();
    // A store in the given file, for tests and tools; a missing folder is created 0700, an
    // existing one is left as it is.
    explicit IniSettingsStore(std::string filePath, std::string section = kSettingsSection);
    ~IniSettingsStore() override;

    // $XDG_CONFIG_HOME/velkora/orvane.ini, or ~/.config/velkora/orvane.ini when
    // XDG_CONFIG_HOME is unset, empty or not an absolute path.
    static std::string defaultFilePath();

    const std::string& filePath() const { return filePath_; }

    std::optional<std::string> find(const std::string& key) const override;
    // Throws SettingsStoreError when the file cannot be written (or the existing file cannot
    // be read, which would otherwise lose its other keys).
    void write(const std::string& key, const std::string& value) override;

private:
    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modifiedSeconds = 0;
        long modifiedNanoseconds = 0;
        long long changedSeconds = 0;
        long changedNanoseconds = 0;
        bool operator==(const FileIdentity&) const = default;
    };

    // Reads the file again when it is not the one last read. Caller holds mutex_.
    void refresh() const;
    // Reads the file; false when it exists but cannot be read.
    bool readFile(std::optional<IniDocument>& document,
                  std::optional<FileIdentity>& identity) const;
    void ensureFolder() const;
    void replaceFile(const std::string& contents) const;
    void removeStaleTemporaryFiles() const;

    std::string filePath_;
    std::string section_;
    bool ownsFolder_ = false;

    mutable std::mutex mutex_;
    mutable std::optional<IniDocument> document_;
    mutable std::optional<FileIdentity> identity_;  // of the file the document came from
};

}  // namespace velkora
