#pragma once

#include <QString>

namespace Site {

// What a visitor typed into a field, as it is stored: without control and format characters
// (Unicode Cc and Cf: escapes that retitle a terminal, bidirectional overrides that turn a
// title around, zero-width characters that make two titles look the same).
class FieldText
{
public:
    // On one line, runs of white space as one space, trimmed.
    static QString line(const QString &text);
    // Line breaks kept as "\n", tabs kept, trimmed.
    static QString lines(const QString &text);
    // True when nothing in it shows: empty, white space, or characters drawn as nothing (the
    // Hangul fillers, variation selectors and the like).
    static bool isBlank(const QString &text);
};

}  // namespace Site
