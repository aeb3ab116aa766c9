#include "settings/HorizontalSpace.h"

#include <algorithm>

namespace HorizontalSpace {

bool isSpace(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

bool isBlank(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), isSpace);
}

QString trimmed(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && isSpace(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin);
}

} // namespace HorizontalSpace
