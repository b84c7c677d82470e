#include "common/DataDirectory.h"

#include <filesystem>
#include <system_error>

#include "common/ProductInfo.h"

namespace velkora {

namespace fs = std::filesystem;

std::string programDataDirectoryFor(std::string_view executablePath) {
    if (!executablePath.empty()) {
        fs::path installed = (fs::path(executablePath).parent_path() / ".." / "share" / "velkora")
                                 .lexically_normal();
        std::error_code error;
        if (fs::is_directory(installed, error)) {
            std::string result = installed.string();
            // lexically_normal keeps a trailing separator for "dir/.."-style input.
            while (result.size() > 1 && result.back() == '/') {
                result.pop_back();
            }
            return result;
        }
    }
    return buildDataDirectory();
}

std::string programDataDirectory() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return programDataDirectoryFor(error ? std::string() : self.string());
}

std::string defaultAgentPath() {
    return programDataDirectory() + std::string(kDefaultAgentFile);
}

}  // namespace velkora
