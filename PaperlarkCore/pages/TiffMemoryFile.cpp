#include "pages/TiffMemoryFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

tmsize_t readProc(thandle_t handle, void* data, tmsize_t size) {
    auto* file = static_cast<TiffMemoryFile*>(handle);
    if (size < 0 || file->position >= file->bytes.size()) {
        return 0;
    }
    const auto count =
        std::min<std::uint64_t>(std::uint64_t(size), file->bytes.size() - file->position);
    std::memcpy(data, file->bytes.data() + file->position, count);
    file->position += count;
    return tmsize_t(count);
}

tmsize_t writeProc(thandle_t handle, void* data, tmsize_t size) {
    auto* file = static_cast<TiffMemoryFile*>(handle);
    if (size < 0) {
        return 0;
    }
    const std::uint64_t end = file->position + std::uint64_t(size);
    if (end > file->bytes.size()) {
        file->bytes.resize(end);
    }
    std::memcpy(file->bytes.data() + file->position, data, std::size_t(size));
    file->position = end;
    return size;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<TiffMemoryFile*>(handle);
    switch (whence) {
    case SEEK_SET:
        file->position = offset;
        break;
    case SEEK_CUR:
        file->position += offset;
        break;
    case SEEK_END:
        file->position = file->bytes.size() + offset;
        break;
    default:
        return toff_t(-1);
    }
    return file->position;
}

int closeProc(thandle_t) {
    return 0;
}

toff_t sizeProc(thandle_t handle) {
    return static_cast<TiffMemoryFile*>(handle)->bytes.size();
}

int mapProc(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapProc(thandle_t, void*, toff_t) {}

int quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

} // namespace

TiffMemoryFile::Handle TiffMemoryFile::open(const char* mode) {
    const std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) {
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), quiet, nullptr);
    return Handle(TIFFClientOpenExt("memory", mode, this, readProc, writeProc, seekProc, closeProc,
                                    sizeProc, mapProc, unmapProc, options.get()));
}
