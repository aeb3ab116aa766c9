#pragma once

#include "settings/Option.h"

// The file type that pages are saved as.
enum class OutputFormat { pdf, jpg, png };

template <> struct OptionTable<OutputFormat> {
    static constexpr OptionCase<OutputFormat> cases[]{
        {OutputFormat::pdf, u"pdf", u"PDF"},
        {OutputFormat::jpg, u"jpg", u"JPG"},
        {OutputFormat::png, u"png", u"PNG"},
    };
};

// File name extension without the leading dot; the same string as the raw value.
inline QString fileExtension(OutputFormat value) {
    return rawValue(value);
}
