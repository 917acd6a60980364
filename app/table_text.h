// The result table as text: the tab-separated form that copying and piped
// output give, and the bordered form the terminal shows. Texts are UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "checkrun/memory_table.h"

namespace talu {

// Terminal columns the text takes: 2 for East Asian wide and full-width
// characters, 0 for combining marks and controls, 1 otherwise. A byte that
// is not part of valid UTF-8 counts as one column (it shows as a stand-in).
int DisplayWidth(std::string_view utf8);

// One line per row, "step<TAB>result<LF>". A tab or line break inside a text
// becomes a space, so that each row stays one line of two fields.
std::string TabSeparatedRows(const std::vector<TableRow>& rows);

// Control characters (which a terminal would obey) replaced by '?'.
std::string PrintableText(std::string_view utf8);

// Cuts the text to at most maxWidth columns, never inside a character.
std::string TruncateToWidth(std::string_view utf8, int maxWidth);

// The header and rows in ASCII borders, every column padded to the same
// display width:
//   +------+------+
//   | step | result |
//   ...
std::vector<std::string> BorderedTableLines(const std::vector<TableRow>& rows);

}  // namespace talu
