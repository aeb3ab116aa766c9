#pragma once

#include <QString>

#include <optional>

// What is known about the application's code signature.
struct SignatureState {
    bool valid = false;
    std::optional<QString> authority;
    std::optional<QString> teamIdentifier;

    // One line for the About and settings windows.
    QString summary() const;

    bool operator==(const SignatureState&) const = default;
};
