#pragma once

#include "settings/Option.h"

#include <QString>

enum class EmailMethod { mailClient, smtp };

template <> std::span<const EmailMethod> allCases<EmailMethod>();
QString rawValue(EmailMethod value);
QString displayName(EmailMethod value);
