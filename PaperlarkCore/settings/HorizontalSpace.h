#pragma once

#include <QChar>
#include <QString>

// "Blank" throughout the program means spaces and tabs: the tab and every
// Unicode space separator (category Zs). Line breaks are never blank.
namespace HorizontalSpace {

bool isSpace(QChar c);

// True when the text holds nothing but blanks (an empty text included).
bool isBlank(const QString& text);

// The text without leading and trailing blanks; line breaks are kept.
QString trimmed(const QString& text);

} // namespace HorizontalSpace
