#include "scanning/sane/SaneReaderThreads.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

constexpr auto lookInterval = std::chrono::milliseconds(2);
const std::filesystem::path taskFolder = "/proc/self/task";

} // namespace

SaneReaderThreads::ThreadIds SaneReaderThreads::snapshot() {
    ThreadIds threads;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(taskFolder, error)) {
        try {
            threads.insert(static_cast<pid_t>(std::stol(entry.path().filename().string())));
        } catch (const std::exception&) {
            // Not a thread id: ignore.
        }
    }
    return threads;
}

SaneReaderThreads::SaneReaderThreads(const ThreadIds& before) {
    const ThreadIds now = snapshot();
    std::set_difference(now.begin(), now.end(), before.begin(), before.end(),
                        std::inserter(readers_, readers_.end()));
}

SaneReaderThreads::State SaneReaderThreads::stateOf(pid_t thread) {
    std::ifstream stat(taskFolder / std::to_string(thread) / "stat");
    std::string line;
    if (!stat || !std::getline(stat, line)) {
        return State::ended;
    }
    // "tid (name) S ...": the name may hold blanks and parentheses, so the
    // state is the first field after the last ')'.
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size()) {
        return State::ended;
    }
    switch (line[close + 2]) {
    case 'Z':
    case 'X':
    case 'x':
        return State::ended;
    case 'S':
    case 'D':
    case 'T':
    case 't':
        return State::blocked;
    default:
        return State::running;
    }
}

bool SaneReaderThreads::waitUntilEnded(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const bool allEnded = std::all_of(readers_.begin(), readers_.end(),
                                          [](pid_t t) { return stateOf(t) == State::ended; });
        if (allEnded) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(lookInterval);
    }
}

void SaneReaderThreads::waitUntilQuiet(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int quietLooks = 0;
    while (quietLooks < 2 && std::chrono::steady_clock::now() < deadline) {
        const bool quiet = std::none_of(readers_.begin(), readers_.end(),
                                        [](pid_t t) { return stateOf(t) == State::running; });
        quietLooks = quiet ? quietLooks + 1 : 0;
        std::this_thread::sleep_for(lookInterval);
    }
}
