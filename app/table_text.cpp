#include "app/table_text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "app/ui_texts.h"

namespace talu {

namespace {

struct CodePointRange {
  char32_t first;
  char32_t last;
};

// East Asian Wide (W) and Fullwidth (F) blocks that terminals draw in two
// cells: Hangul Jamo, CJK radicals to CJK symbols and punctuation, kana to
// CJK compatibility, the ideographs and their extensions, Yi, Hangul
// syllables, compatibility ideographs, vertical and small forms, full-width
// forms, and the emoji blocks.
constexpr CodePointRange kWideRanges[] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Combining marks and zero-width format characters: drawn on the cell before.
constexpr CodePointRange kZeroWidthRanges[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
    {0x064B, 0x065F}, {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064},
    {0x20D0, 0x20FF}, {0x302A, 0x302F}, {0x3099, 0x309A}, {0xFE00, 0xFE0F},
    {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF},
};

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char kControlStandIn = '?';
constexpr int kCellPadding = 1;  // one space either side of a cell's text

template <std::size_t N>
bool InRanges(const CodePointRange (&ranges)[N], char32_t codePoint) {
  return std::any_of(std::begin(ranges), std::end(ranges), [codePoint](const CodePointRange& r) {
    return codePoint >= r.first && codePoint <= r.last;
  });
}

struct DecodedCharacter {
  char32_t codePoint = kReplacementCharacter;
  std::size_t length = 1;  // bytes taken, at least 1
};

bool IsContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one character at offset; a malformed or cut-off sequence takes one
// byte and reads as the replacement character.
DecodedCharacter DecodeAt(std::string_view text, std::size_t offset) {
  const auto lead = static_cast<unsigned char>(text[offset]);
  if (lead < 0x80) return {lead, 1};
  std::size_t length;
  char32_t codePoint;
  char32_t smallest;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, codePoint = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, codePoint = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, codePoint = lead & 0x07, smallest = 0x10000;
  } else {
    return {};
  }
  if (offset + length > text.size()) return {};
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[offset + i]);
    if (!IsContinuationByte(byte)) return {};
    codePoint = (codePoint << 6) | (byte & 0x3F);
  }
  const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
  if (codePoint < smallest || codePoint > 0x10FFFF || surrogate) return {};
  return {codePoint, length};
}

bool IsControl(char32_t codePoint) {
  return codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0);
}

int CharacterWidth(char32_t codePoint) {
  if (IsControl(codePoint) || InRanges(kZeroWidthRanges, codePoint)) return 0;
  return InRanges(kWideRanges, codePoint) ? 2 : 1;
}

std::string OneLineField(std::string_view text) {
  std::string field(text);
  std::replace_if(field.begin(), field.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
                  ' ');
  return field;
}

std::string Padded(const std::string& text, int width) {
  const int fill = std::max(0, width - DisplayWidth(text));
  return text + std::string(static_cast<std::size_t>(fill), ' ');
}

std::string BorderLine(int stepWidth, int resultWidth) {
  return "+" + std::string(static_cast<std::size_t>(stepWidth + 2 * kCellPadding), '-') + "+" +
         std::string(static_cast<std::size_t>(resultWidth + 2 * kCellPadding), '-') + "+";
}

std::string CellLine(const std::string& step, int stepWidth, const std::string& result,
                     int resultWidth) {
  return "| " + Padded(step, stepWidth) + " | " + Padded(result, resultWidth) + " |";
}

}  // namespace

int DisplayWidth(std::string_view utf8) {
  int width = 0;
  for (std::size_t offset = 0; offset < utf8.size();) {
    const DecodedCharacter character = DecodeAt(utf8, offset);
    width += CharacterWidth(character.codePoint);
    offset += character.length;
  }
  return width;
}

std::string TabSeparatedRows(const std::vector<TableRow>& rows) {
  std::string text;
  for (const TableRow& row : rows) {
    text += OneLineField(row.stepText) + "\t" + OneLineField(row.resultText) + "\n";
  }
  return text;
}

std::string PrintableText(std::string_view utf8) {
  std::string text;
  for (std::size_t offset = 0; offset < utf8.size();) {
    const DecodedCharacter character = DecodeAt(utf8, offset);
    if (IsControl(character.codePoint)) {
      text += kControlStandIn;
    } else if (character.codePoint == kReplacementCharacter && character.length == 1) {
      text += "\xEF\xBF\xBD";  // a malformed byte: never pass it to the terminal
    } else {
      text.append(utf8.substr(offset, character.length));
    }
    offset += character.length;
  }
  return text;
}

std::string TruncateToWidth(std::string_view utf8, int maxWidth) {
  int width = 0;
  std::size_t offset = 0;
  while (offset < utf8.size()) {
    const DecodedCharacter character = DecodeAt(utf8, offset);
    const int next = width + CharacterWidth(character.codePoint);
    if (next > maxWidth) break;
    width = next;
    offset += character.length;
  }
  return std::string(utf8.substr(0, offset));
}

std::vector<std::string> BorderedTableLines(const std::vector<TableRow>& rows) {
  // The widest step text of a run, and room for the marker with six dots and
  // the longer probe texts: the table keeps one width while a run fills it.
  constexpr int kMinimumStepWidth = 22;
  constexpr int kMinimumResultWidth = 24;

  std::vector<TableRow> shown;
  int stepWidth = std::max(kMinimumStepWidth, DisplayWidth(ui::kStepColumn));
  int resultWidth = std::max(kMinimumResultWidth, DisplayWidth(ui::kResultColumn));
  for (const TableRow& row : rows) {
    shown.push_back({PrintableText(row.stepText), PrintableText(row.resultText)});
    stepWidth = std::max(stepWidth, DisplayWidth(shown.back().stepText));
    resultWidth = std::max(resultWidth, DisplayWidth(shown.back().resultText));
  }

  const std::string border = BorderLine(stepWidth, resultWidth);
  std::vector<std::string> lines{border,
                                 CellLine(ui::kStepColumn, stepWidth, ui::kResultColumn, resultWidth),
                                 border};
  for (const TableRow& row : shown) {
    lines.push_back(CellLine(row.stepText, stepWidth, row.resultText, resultWidth));
  }
  lines.push_back(border);
  return lines;
}

}  // namespace talu
