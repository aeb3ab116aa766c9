#pragma once

#include <QString>

// Where the PDF reader executable (paperlark-pdf-reader) is.
namespace PdfReaderLocation {

QString fileName();

// PAPERLARK_PDF_READER when it is set (tests and development); otherwise
// the installed place relative to the running program's folder (the build
// tree has the same layout); otherwise beside the running program. A path
// is returned even when no file is there, for the error message.
QString find();

} // namespace PdfReaderLocation
