#include "BackendPinning.h"

#if defined(__SANITIZE_ADDRESS__)

#include <string>
#include <string_view>
#include <vector>

#include <dlfcn.h>
#include <link.h>

void keepSaneBackendsLoaded() {
    std::vector<std::string> backends;
    ::dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* found) {
            const std::string_view path = info->dlpi_name ? info->dlpi_name : "";
            if (path.find("/sane/libsane-") != std::string_view::npos) {
                static_cast<std::vector<std::string>*>(found)->emplace_back(path);
            }
            return 0;
        },
        &backends);
    // The loader's own lock is not held here: opening a library that is
    // already loaded with RTLD_NODELETE marks it to stay. The handles are
    // deliberately never closed.
    for (const std::string& path : backends) {
        static_cast<void>(::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE));
    }
}

#else

void keepSaneBackendsLoaded() {}

#endif
