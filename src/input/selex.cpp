#include "input/selex.h"

#include <vector>

#include "base/error.h"
#include "input/text_lines.h"

namespace {

constexpr std::size_t kChunk = 64 << 10;  // residue text taken at a time
constexpr byte_set kNotBlank = ~kBlank;

bool is_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool has_blank(std::string_view s) {
  for (const char c : s)
    if (kBlank.has(static_cast<unsigned char>(c))) return true;
  return false;
}

// Where the line that starts at i ends: its first '\n' or '\r', or npos.
std::size_t line_end(std::string_view s, std::size_t i) {
  for (; i < s.size(); ++i)
    if (s[i] == '\n' || s[i] == '\r') return i;
  return std::string_view::npos;
}

// Passes over blanks; returns how many there were (kept a piece at a time).
std::size_t count_blanks(line_reader& lines, std::string* scratch) {
  std::size_t n = 0;
  for (int stop = byte_stream::kFull; stop == byte_stream::kFull;) {
    scratch->clear();
    stop = lines.take(kNotBlank, scratch, kChunk);
    n += scratch->size();
  }
  return n;
}

}  // namespace

bool looks_like_row_blocks(std::string_view head, bool selex) {
  const std::string_view gaps = selex ? "-._~" : "-";
  std::vector<std::string_view> names;  // of the first block
  bool first_done = false;
  std::size_t rows = 0, start = 0, width = 0;  // of the current block
  std::size_t i = 0;
  while (i < head.size()) {
    const std::size_t e = line_end(head, i);
    const bool whole = e != std::string_view::npos;
    const std::string_view line = head.substr(i, whole ? e - i : head.npos);
    i = whole ? e + 1 +
                    (head[e] == '\r' && e + 1 < head.size() &&
                     head[e + 1] == '\n')
              : head.size();
    if (selex && !line.empty() && line[0] == '#') continue;
    if (trim(line).empty()) {
      if (!whole || rows == 0) continue;
      if (!first_done) {
        first_done = true;
      } else if (rows != names.size()) {
        return false;
      }
      rows = 0;
      continue;
    }
    if (is_blank_char(line[0])) return false;
    const std::size_t name_end = line.find_first_of(" \t");
    const std::size_t res_start = name_end == std::string_view::npos
                                      ? name_end
                                      : line.find_first_not_of(" \t", name_end);
    if (res_start == std::string_view::npos) {
      if (!whole) break;  // cut before its residues
      return false;
    }
    std::string_view res = line.substr(res_start);
    const std::size_t blank = res.find_first_of(" \t");
    if (blank != std::string_view::npos) {
      if (!trim(res.substr(blank)).empty()) return false;  // a second word
      res = res.substr(0, blank);
    }
    for (const char c : res)
      if (!is_letter(c) && gaps.find(c) == std::string_view::npos) return false;
    const std::string_view name = line.substr(0, name_end);
    if (rows == 0) {
      start = res_start;
      width = res.size();
    } else if (res_start != start ||
               (whole ? res.size() != width : res.size() > width)) {
      return false;
    }
    if (!first_done)
      names.push_back(name);
    else if (rows >= names.size() || names[rows] != name)
      return false;
    ++rows;
  }
  return names.size() >= 2;
}

bool looks_like_selex(std::string_view line, std::string_view head) {
  if (line.substr(0, 2) == "#=") return true;
  if (!looks_like_row_blocks(head, true)) return false;
  // Rows after comments, or with gaps PSI-BLAST does not write.
  return line.substr(0, 1) == "#" || !looks_like_row_blocks(head, false);
}

loaded_input read_row_blocks(byte_source* src, const read_context& ctx,
                             bool selex, const char* format) {
  line_reader lines(src);
  block_rows rows(block_rows::key::position, ctx,
                  full_row_table(".-_~", ctx.keep_letters));
  std::string name, text, piece, scratch;
  std::size_t start = 0;  // the column of the block's first residues
  while (lines.start()) {
    if (selex && lines.peek() == '#') {  // markup and comments
      lines.finish();
      continue;
    }
    std::size_t column = count_blanks(lines, &scratch);
    if (lines.peek() < 0) {  // a blank line ends a block
      rows.end_block(lines.number());
      lines.finish();
      continue;
    }
    name.clear();
    lines.take(kBlankOrEnd, &name);
    column += name.size() + count_blanks(lines, &scratch);
    rows.begin_row(name, lines.number());
    if (rows.block_size() == 1) {
      start = column;
    } else if (column != start) {
      throw fatal_error(
          "Error: " + ctx.where + ", line " + std::to_string(lines.number()) +
          ": the residues of sequence \"" + shown(name) +
          "\" start in column " + std::to_string(column + 1) +
          ", but those of the block's first row in "
          "column " +
          std::to_string(start + 1) + " (in " + format +
          " the rows of a block line up: a blank within them is a gap)");
    }
    // The residues a piece at a time. A blank between residues is a gap;
    // blanks that end the line are not.
    std::size_t blanks = 0;
    for (int stop = byte_stream::kFull; stop == byte_stream::kFull;) {
      text.clear();
      stop = lines.take(kLineEnd, &text, kChunk);
      if (blanks == 0 && !has_blank(text)) {
        rows.add(text);  // the usual row: no blank in it
        continue;
      }
      piece.clear();
      for (const char c : text) {
        if (c == ' ') {
          ++blanks;
          continue;
        }
        if (kBlank.has(static_cast<unsigned char>(c)))  // a tab: no column
          throw fatal_error("Error: " + ctx.where + ", " +
                            bad_character(lines.number(), name,
                                          static_cast<unsigned char>(c)));
        while (blanks > 0) {
          const std::size_t n = std::min(blanks, kChunk);
          piece.append(n, '-');
          blanks -= n;
          if (blanks > 0) {
            rows.add(piece);
            piece.clear();
          }
        }
        piece += c;
      }
      rows.add(piece);
    }
    rows.end_row();
    lines.finish();
  }
  return rows.take(lines.number());
}

loaded_input read_selex(byte_source* src, const read_context& ctx) {
  return read_row_blocks(src, ctx, true, "SELEX");
}
