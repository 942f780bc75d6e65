#include "input/clustal.h"

#include "base/error.h"
#include "input/text_lines.h"

namespace {

constexpr std::size_t kChunk = 64 << 10;  // residue text taken at a time
constexpr std::size_t kHeld = 64;         // room for a trailing count

bool blank_or_digit(char c) {
  return c == ' ' || c == '\t' || (c >= '0' && c <= '9');
}

// A residue count ending the row's text ("... ACGT  60"), if there is one.
std::string_view without_count(std::string_view text) {
  const std::string_view rest = trim(text);
  const std::size_t blank = rest.find_last_of(" \t");
  if (blank != std::string_view::npos &&
      rest.substr(blank + 1).find_first_not_of("0123456789") ==
          std::string_view::npos)
    return rest.substr(0, blank);
  return text;
}

}  // namespace

bool looks_like_clustal(std::string_view line, std::string_view) {
  return line.substr(0, 7) == "CLUSTAL" || line.substr(0, 6) == "MUSCLE";
}

loaded_input read_clustal(byte_source* src, const read_context& ctx) {
  line_reader lines(src);
  block_rows rows(block_rows::key::position, ctx,
                  full_row_table(".-_~", ctx.keep_letters));
  std::string name, text;
  bool header = false;
  while (lines.start()) {
    const int c = lines.peek();
    // Blank lines, and conservation lines (which start with a blank), end
    // a block.
    if (c < 0 || c == ' ' || c == '\t') {
      rows.end_block(lines.number());
      lines.finish();
      lines.skip_empty_lines();
      continue;
    }
    if (!header) {  // "CLUSTAL W (1.83) multiple sequence alignment"
      header = true;
      lines.finish();
      continue;
    }
    name.clear();
    lines.take(kBlankOrEnd, &name);
    rows.begin_row(name, lines.number());
    // The residues a piece at a time; blanks and digits at a piece's end
    // wait for the next, as they may be the row's count.
    std::string held;
    for (int stop = byte_stream::kFull; stop == byte_stream::kFull;) {
      text.swap(held);
      held.clear();
      stop = lines.take(kLineEnd, &text, kChunk);
      if (stop == byte_stream::kFull) {
        std::size_t k = text.size();
        while (k > 0 && text.size() - k < kHeld && blank_or_digit(text[k - 1]))
          --k;
        held.assign(text, k);
        text.resize(k);
        rows.add(text);
      } else {
        rows.add(without_count(text));
      }
    }
    rows.end_row();
    lines.finish();
  }
  return rows.take(lines.number());
}
