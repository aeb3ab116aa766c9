#pragma once

#include <QString>

#include <cstdint>

// What one finished child process left behind.
struct ProcessResult {
    std::int32_t exitStatus = 0;
    QString outputText; // standard output as UTF-8; empty when it was not UTF-8
    QString errorText;  // standard error as UTF-8, trimmed; empty when it was not UTF-8

    bool operator==(const ProcessResult&) const = default;
};
