#include "input/stockholm.h"

#include "error.h"
#include "input/text_lines.h"

namespace {

constexpr std::string_view kHeader = "# STOCKHOLM 1.0";

bool is_header(std::string_view line) { return trim(line) == kHeader; }

}  // namespace

bool looks_like_stockholm(std::string_view head) {
  const std::size_t nl = head.find('\n');
  return is_header(head.substr(0, nl));
}

loaded_input read_stockholm(byte_source* src, const std::string& input_name) {
  const std::string where = input_label(input_name);
  line_reader lines(src);
  record_set recs;
  std::string_view line;
  lines.next(&line);  // the header
  bool ended = false;
  while (lines.next(&line)) {
    const std::string_view text = trim(line);
    if (ended) {
      if (text.empty()) continue;
      if (is_header(text))
        throw fatal_error("Error: " + where +
                          " holds more than one Stockholm alignment (the "
                          "second starts at line " +
                          std::to_string(lines.number()) +
                          "); colsieve trims one alignment at a time");
      throw fatal_error("Error: line " + std::to_string(lines.number()) +
                        " of " + where +
                        " follows the end of the Stockholm alignment (//)");
    }
    if (text.empty() || text.front() == '#') continue;
    if (text == "//") {
      ended = true;
      continue;
    }
    std::string_view rest = text;
    const std::string_view name = take_word(&rest);
    const std::size_t i = recs.find_or_add(name);
    const int bad = append_full_row(rest, ".-_~", &recs.row(i));
    if (bad >= 0)
      throw fatal_error("Error: " + where + ", " +
                        bad_character(lines.number(), name, bad));
  }
  if (!ended)
    throw fatal_error("Error: the Stockholm alignment in " + where +
                      " has no end line \"//\" (a file cut short?)");
  return recs.take("Stockholm");
}
