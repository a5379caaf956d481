#pragma once

#include <QString>

namespace Site {

// Text from the store as the operator's terminal is given it. Records written before fields
// were cleaned at input may hold escapes that retitle the terminal, clear its screen or turn
// a line around; here every control and format character (Unicode Cc and Cf) is written as
// an escape instead, "\x1b" or "\u202e", and "\" as "\\", so what is shown can be read back.
class TerminalText
{
public:
    static QString escaped(const QString &text);
};

}  // namespace Site
