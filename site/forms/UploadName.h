#pragma once

#include "common/Result.h"
#include "site/forms/UploadError.h"

#include <QString>

namespace Site {

// The name an uploaded file is stored under, from the name the visitor's browser gave it.
class UploadName
{
public:
    // Room for "-<n>" when the name is taken and for the temporary name the file is written
    // under first, within the 255 bytes a folder entry holds.
    static constexpr qsizetype MaxBytes = 200;
    // The longest name, in characters, a visitor may send.
    static constexpr qsizetype MaxClientLength = 100;

    // Letters and digits of any script and a few safe marks stay, anything else becomes "_";
    // a name longer than MaxBytes of UTF-8 is cut on a character boundary, keeping its
    // extension. Fails with NoFile, UnsafeFileName or FileNameTooLong.
    static Result<QString, UploadError> stored(const QString &clientName);
};

}  // namespace Site
