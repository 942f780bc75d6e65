#include "input/clustal.h"

#include "error.h"
#include "input/text_lines.h"

bool looks_like_clustal(std::string_view head) {
  return head.substr(0, 7) == "CLUSTAL" || head.substr(0, 6) == "MUSCLE";
}

loaded_input read_clustal(byte_source* src, const std::string& input_name) {
  const std::string where = input_label(input_name);
  line_reader lines(src);
  record_set recs;
  std::string_view line;
  lines.next(&line);  // "CLUSTAL W (1.83) multiple sequence alignment"
  while (lines.next(&line)) {
    // Conservation lines start with a blank; sequence lines with the name.
    if (line.empty() || is_blank_char(line.front()) || trim(line).empty())
      continue;
    std::string_view rest = line;
    const std::string_view name = take_word(&rest);
    rest = trim(rest);
    // A residue count may end the line.
    const std::size_t blank = rest.find_last_of(" \t");
    if (blank != std::string_view::npos &&
        rest.substr(blank + 1).find_first_not_of("0123456789") ==
            std::string_view::npos)
      rest = trim(rest.substr(0, blank));
    const std::size_t i = recs.find_or_add(name);
    const int bad = append_full_row(rest, ".-_~", &recs.row(i));
    if (bad >= 0)
      throw fatal_error("Error: " + where + ", " +
                        bad_character(lines.number(), name, bad));
  }
  return recs.take("Clustal");
}
