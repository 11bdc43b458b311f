// Files by UTF-8 name on Linux: the names are the system's own bytes.
#include "platform/file_names.h"

namespace platform {

std::FILE* openFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

}  // namespace platform
