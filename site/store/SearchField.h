#pragma once

namespace Site {

// Where a catalogue's keyword is looked for: the official catalogue searches its categories or
// its titles, the user catalogue everything a visitor typed.
enum class SearchField { Category, Title, Anywhere };

}  // namespace Site
