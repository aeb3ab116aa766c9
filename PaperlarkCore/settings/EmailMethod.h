#pragma once

#include "settings/Option.h"

// How mail leaves the program.
enum class EmailMethod { mailClient, smtp };

template <> struct OptionTable<EmailMethod> {
    static constexpr OptionCase<EmailMethod> cases[]{
        {EmailMethod::mailClient, u"mailClient", u"Desktop mail client (default)"},
        {EmailMethod::smtp, u"smtp", u"SMTP server (send directly)"},
    };
};
