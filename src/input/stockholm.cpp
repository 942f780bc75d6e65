#include "input/stockholm.h"

#include "base/error.h"
#include "input/text_lines.h"

namespace {

constexpr std::string_view kHeader = "# STOCKHOLM 1.0";

}  // namespace

bool looks_like_stockholm(std::string_view line, std::string_view) {
  return trim(line) == kHeader;
}

loaded_input read_stockholm(byte_source* src, const read_context& ctx) {
  line_reader lines(src);
  block_rows rows(block_rows::key::name, ctx,
                  full_row_table(".-_~", ctx.keep_letters));
  std::string name, text;
  bool header = false, ended = false;
  while (lines.start()) {
    lines.skip_blanks();
    const int c = lines.peek();
    if (c < 0) {  // a blank line ends a block
      rows.end_block(lines.number());
      lines.finish();
      lines.skip_empty_lines();
      continue;
    }
    if (ended) {
      text.clear();
      lines.take(kLineEnd, &text, 64);
      if (trim(text) == kHeader)
        throw fatal_error("Error: " + ctx.where +
                          " holds more than one Stockholm alignment (the "
                          "second starts at line " +
                          std::to_string(lines.number()) +
                          "); colsieve trims one alignment at a time");
      throw fatal_error("Error: line " + std::to_string(lines.number()) +
                        " of " + ctx.where +
                        " follows the end of the Stockholm alignment (//)");
    }
    if (!header || c == '#') {  // the header line, markup and comments
      header = true;
      lines.finish();
      continue;
    }
    name.clear();
    lines.take(kBlankOrEnd, &name);
    if (name == "//") {
      rows.end_block(lines.number());
      ended = true;
      lines.finish();
      continue;
    }
    rows.begin_row(name, lines.number());
    rows.add_rest_of_line(lines);
    rows.end_row();
    lines.finish();
  }
  if (!ended)
    throw fatal_error("Error: the Stockholm alignment in " + ctx.where +
                      " has no end line \"//\" (a file cut short?)");
  return rows.take(lines.number());
}
