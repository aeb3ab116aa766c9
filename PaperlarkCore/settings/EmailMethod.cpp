#include "settings/EmailMethod.h"

#include <array>

template <> std::span<const EmailMethod> allCases<EmailMethod>() {
    static constexpr std::array<EmailMethod, 2> cases{EmailMethod::mailClient, EmailMethod::smtp};
    return cases;
}

QString rawValue(EmailMethod value) {
    switch (value) {
    case EmailMethod::mailClient:
        return QStringLiteral("mailClient");
    case EmailMethod::smtp:
        return QStringLiteral("smtp");
    }
    return {};
}

QString displayName(EmailMethod value) {
    switch (value) {
    case EmailMethod::mailClient:
        return QStringLiteral("Desktop mail client (default)");
    case EmailMethod::smtp:
        return QStringLiteral("SMTP server (send directly)");
    }
    return {};
}
