#pragma once

#include <QString>

#include <array>
#include <cstdint>

// The scan resolutions offered by the pickers, in dots per inch, in order.
inline constexpr std::array<int, 6> supportedResolutions{100, 150, 200, 300, 400, 600};

// Picker label of a resolution, e.g. "300 dpi (documents)" or "200 dpi".
QString resolutionLabel(std::int64_t dpi);
