#pragma once

// Maps the Chinese face names the windows ask for (楷体, 宋体) to installed Kai and Song faces,
// so that they do not fall back to a sans face.
void installFontSubstitutes();
