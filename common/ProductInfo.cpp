#include "common/ProductInfo.h"

namespace velkora {

const char* buildDataDirectory() {
    return VELKORA_BUILD_DATA_DIR;
}

}  // namespace velkora
