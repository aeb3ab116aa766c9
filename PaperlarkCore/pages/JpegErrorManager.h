#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

// libjpeg's error manager, extended with the jump back to the caller: an
// error longjmps to `jump` (set it with setjmp before calling libjpeg);
// messages are dropped, the result tells.
struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;

    // The manager to put in a libjpeg object's `err`.
    jpeg_error_mgr* install() {
        jpeg_std_error(&base);
        base.error_exit = raise;
        base.output_message = ignore;
        return &base;
    }

private:
    [[noreturn]] static void raise(j_common_ptr info) {
        std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
    }
    static void ignore(j_common_ptr) {}
};
