// paperlark-scanner: the process in which Paperlark talks to scanners.
//
// Scanner drivers run threads, signals and their own bugs inside the process
// that loads them; here they can take only this process down, which the
// application notices and replaces. Requests arrive on standard input and
// answers leave on standard output, in the application's message protocol.
//
//   paperlark-scanner --parent PID

#include "ScannerWorker.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    // End with the application, whichever way it ends.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc == 3 && std::strcmp(argv[1], "--parent") == 0 &&
        ::getppid() != static_cast<pid_t>(std::atol(argv[2]))) {
        return 1; // the application ended before the line above took effect
    }
    // A driver writing into a pipe whose reader has gone gets an error, not
    // the end of the process; so does a reply to an application that has gone.
    std::signal(SIGPIPE, SIG_IGN);

    // The protocol gets its own descriptors; whatever a driver prints goes to
    // standard error instead of into the replies.
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

    ScannerWorker worker(input, output);
    return worker.run();
}
