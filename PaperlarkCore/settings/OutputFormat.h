#pragma once

#include "settings/Option.h"

#include <QString>

enum class OutputFormat { pdf, jpg, png };

template <> std::span<const OutputFormat> allCases<OutputFormat>();
QString rawValue(OutputFormat value);
QString displayName(OutputFormat value);

// File name extension without the leading dot; the same string as the raw value.
QString fileExtension(OutputFormat value);
