#pragma once

// In builds with AddressSanitizer: marks every SANE backend library loaded so
// far as never to be unloaded, so that the leak report at the end of the
// process can still name the backend that made an allocation (and the
// suppressions can match it) after sane_exit has closed the libraries.
// Does nothing in other builds.
void keepSaneBackendsLoaded();
