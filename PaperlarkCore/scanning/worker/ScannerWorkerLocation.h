#pragma once

#include <QString>

// Where the scanner worker executable is.
namespace ScannerWorkerLocation {

// The executable's name.
QString fileName();

// PAPERLARK_SCANNER when it names a file (tests and development); otherwise
// the installed place relative to the running program's folder (the build
// tree has the same layout); otherwise beside the running program. A path
// is returned even when no file is there, for the error message.
QString find();

} // namespace ScannerWorkerLocation
