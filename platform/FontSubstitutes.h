#pragma once

namespace Quillmere {

// Maps the Chinese face names the windows ask for (楷体, 宋体) to installed Kai and Song faces,
// so that they do not fall back to a sans face, and lets every other text fall back to a
// Simplified Chinese face whatever the desktop's language.
void installFontSubstitutes();

}  // namespace Quillmere
