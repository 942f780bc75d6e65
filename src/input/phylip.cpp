#include "input/phylip.h"

#include <cstdlib>
#include <vector>

#include "error.h"
#include "input/text_lines.h"

namespace {

constexpr const char* kGaps = "-._~?";
constexpr std::size_t kStrictName = 10;

bool positive_number(std::string_view w, std::size_t* value) {
  if (w.empty() || w.size() > 12 ||
      w.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  *value = static_cast<std::size_t>(
      std::strtoull(std::string(w).c_str(), nullptr, 10));
  return *value > 0;
}

// The lines after the header, kept in one piece of text.
struct text_lines {
  std::string text;
  std::vector<std::size_t> starts, ends, numbers;  // numbers: in the file
  std::size_t size() const { return starts.size(); }
  std::string_view line(std::size_t i) const {
    return std::string_view(text).substr(starts[i], ends[i] - starts[i]);
  }
};

// How one reading went: records as read, or the first failure.
struct reading {
  record_set recs;
  bool fits = false;
  bool dot_after_first = false;  // a '.' in a row other than the first
  std::string failure;           // the first record that does not fit, and why
};

std::string counted(std::size_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string record_label(std::size_t i, std::string_view name) {
  return "record " + std::to_string(i + 1) + " (" + shown(name) + ")";
}

// Adds the residues of text to row; false (and *bad) for a character that
// is neither residue nor gap.
bool add_residues(std::string_view text, std::string* row, int* bad) {
  std::string digitless;
  digitless.reserve(text.size());
  for (const char c : text)
    if (c < '0' || c > '9') digitless += c;
  *bad = append_full_row(digitless, kGaps, row);
  return *bad < 0;
}

// The name and the residue text of a line that starts a record.
void split_named(std::string_view line, bool strict, std::string_view* name,
                 std::string_view* rest) {
  if (strict) {
    *name = trim(line.substr(0, kStrictName));
    *rest = line.size() > kStrictName ? line.substr(kStrictName)
                                      : std::string_view();
  } else {
    *rest = line;
    *name = take_word(rest);
  }
}

reading read_layout(const text_lines& lines, std::size_t nseq, std::size_t ncol,
                    bool strict, bool interleaved) {
  reading r;
  std::size_t at = 0;  // the next line to look at
  const auto next_line = [&](std::string_view* line) {
    while (at < lines.size()) {
      *line = lines.line(at++);
      if (!trim(*line).empty()) return true;
    }
    return false;
  };
  const auto fail = [&](std::string why) {
    r.failure = std::move(why);
    return std::move(r);
  };
  std::string_view line, name, rest;
  int bad = -1;
  // Adds text to record k's residues in *row (its own, or a scratch one).
  const auto add = [&](std::size_t k, std::string_view text, std::string* row) {
    if (k > 0 && text.find('.') != std::string_view::npos)
      r.dot_after_first = true;
    return add_residues(text, row, &bad);
  };
  // Starts record i from the next line, its name and first residues;
  // false, with the failure noted, when that does not work.
  const auto start_record = [&](std::size_t i) {
    if (!next_line(&line)) {
      r.failure = "the file ends after " + counted(i, "record") +
                  ", but the first line declares " + std::to_string(nseq);
      return false;
    }
    split_named(line, strict, &name, &rest);
    const std::size_t k = r.recs.add(std::string(name));
    if (!add(k, rest, &r.recs.row(k))) {
      r.failure = bad_character(lines.numbers[at - 1], name, bad);
      return false;
    }
    return true;
  };
  if (!interleaved) {
    for (std::size_t i = 0; i < nseq; ++i) {
      if (!start_record(i)) return r;
      std::string& row = r.recs.row(i);
      // Lines that follow continue the record while they fit in it.
      std::string more;
      const bool dot_before = r.dot_after_first;
      while (row.size() < ncol && next_line(&line)) {
        more.clear();
        if (!add(i, line, &more))
          return fail(bad_character(lines.numbers[at - 1], name, bad));
        if (row.size() + more.size() > ncol) {
          --at;  // the next record's line, or too much for this one
          r.dot_after_first = dot_before;
          break;
        }
        row += more;
      }
      if (row.size() != ncol)
        return fail(
            record_label(i, name) + " has " + std::to_string(row.size()) +
            " columns, but the first line declares " + std::to_string(ncol));
    }
  } else {
    for (std::size_t i = 0; i < nseq; ++i)
      if (!start_record(i)) return r;
    // Later blocks: one line a record, in the same order, without names.
    for (std::size_t i = 0; r.recs.size() > 0 && next_line(&line);
         i = (i + 1) % nseq) {
      if (r.recs.row(i).size() >= ncol)
        return fail(record_label(i, r.recs.name(i)) + " has more than the " +
                    std::to_string(ncol) + " columns the first line declares");
      if (!add(i, line, &r.recs.row(i)))
        return fail(bad_character(lines.numbers[at - 1], r.recs.name(i), bad));
    }
    for (std::size_t i = 0; i < nseq; ++i)
      if (r.recs.row(i).size() != ncol)
        return fail(record_label(i, r.recs.name(i)) + " has " +
                    std::to_string(r.recs.row(i).size()) +
                    " columns, but the first line declares " +
                    std::to_string(ncol));
  }
  if (next_line(&line))
    return fail("line " + std::to_string(lines.numbers[at - 1]) +
                " follows the " + counted(nseq, "record") +
                " the first line declares (more sequences than declared?)");
  r.fits = true;
  return r;
}

}  // namespace

bool looks_like_phylip(std::string_view first_line) {
  std::string_view rest = first_line;
  std::size_t a = 0, b = 0;
  return positive_number(take_word(&rest), &a) &&
         positive_number(take_word(&rest), &b) && trim(rest).empty();
}

loaded_input read_phylip(byte_source* src, const std::string& input_name,
                         const std::function<void(const std::string&)>& warn) {
  const std::string where = input_label(input_name);
  line_reader reader(src);
  std::string_view line;
  while (reader.next(&line) && trim(line).empty()) {
  }
  std::string_view counts = line;
  std::size_t nseq = 0, ncol = 0;
  positive_number(take_word(&counts), &nseq);
  positive_number(take_word(&counts), &ncol);

  text_lines lines;
  while (reader.next(&line)) {
    lines.starts.push_back(lines.text.size());
    lines.text.append(line);
    lines.ends.push_back(lines.text.size());
    lines.numbers.push_back(reader.number());
  }

  std::string first_failure;
  for (const bool strict : {false, true})
    for (const bool interleaved : {false, true}) {
      reading r = read_layout(lines, nseq, ncol, strict, interleaved);
      if (!r.fits) {
        if (first_failure.empty()) first_failure = r.failure;
        continue;
      }
      if (r.dot_after_first)
        warn(
            "Warning: '.' in rows after the first was read as a gap; some "
            "programs read it in PHYLIP as \"same as the first sequence\"");
      return r.recs.take("PHYLIP");
    }
  throw fatal_error("Error: " + where + " does not fit its PHYLIP header (" +
                    counted(nseq, "sequence") + " of " +
                    counted(ncol, "column") +
                    ") in any layout: " + first_failure);
}
