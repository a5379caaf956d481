#pragma once

#include <QString>

// Removes leading and trailing spaces (U+0020 only) from a keyword, a received cell or a title;
// other white space is kept, as the site keeps it.
inline QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.sliced(begin, end - begin);
}
