#pragma once

#include <QString>

namespace Quillmere {

// The skin file is a Qt style sheet for the whole application.
namespace Skin {

// Applies the skin; a missing or unreadable file leaves the current look as it is.
void attach(const QString &skinFile);

}  // namespace Skin

}  // namespace Quillmere
