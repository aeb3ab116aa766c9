// paperlark-pdf-reader: the process in which Paperlark reads PDF files.
//
// PDF files come from anywhere, and the libraries that take them apart see
// every byte; here a file that crashes a library or makes it run away takes
// only this process down (or gets it killed), never the application.
// Requests arrive on standard input and answers leave on standard output, in
// the application's message protocol.
//
//   paperlark-pdf-reader --parent PID

#include "PdfReaderWorker.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Memory the process may map at most: a page at the largest image size,
// decoded and converted, fits well within it.
constexpr rlim_t addressSpaceLimit = rlim_t{6} << 30;

void limitResources() {
    // No core files of whatever a hostile file did.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
#if !defined(__SANITIZE_ADDRESS__) && !defined(PAPERLARK_FUZZING)
    // AddressSanitizer reserves far more address space than it uses.
    const rlimit memory{addressSpaceLimit, addressSpaceLimit};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
}

} // namespace

int main(int argc, char** argv) {
    // End with the application, whichever way it ends.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc == 3 && std::strcmp(argv[1], "--parent") == 0 &&
        ::getppid() != static_cast<pid_t>(std::atol(argv[2]))) {
        return 1; // the application ended before the line above took effect
    }
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    std::signal(SIGPIPE, SIG_IGN);
    limitResources();

    // The protocol gets its own descriptors; whatever a library prints goes
    // to standard error instead of into the replies.
    const int input = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    const int output = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (input < 0 || output < 0) {
        return 1;
    }
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nothing >= 0) {
        ::dup2(nothing, STDIN_FILENO);
        ::close(nothing);
    }
    ::dup2(STDERR_FILENO, STDOUT_FILENO);

    PdfReaderWorker worker(input, output, PdfDocumentReader::Options{});
    return worker.run();
}
