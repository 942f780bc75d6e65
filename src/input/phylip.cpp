#include "input/phylip.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <unordered_map>
#include <vector>

#include "base/error.h"
#include "input/text_lines.h"

namespace {

constexpr const char* kGaps = "-._~?";
constexpr std::size_t kStrictName = 10;
constexpr std::size_t kChunk = 64 << 10;  // residue text taken at a time

bool whole_number(std::string_view w, std::size_t* value) {
  if (w.empty() || w.size() > 12 ||
      w.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  *value = static_cast<std::size_t>(
      std::strtoull(std::string(w).c_str(), nullptr, 10));
  return true;
}

bool positive_number(std::string_view w, std::size_t* value) {
  return whole_number(w, value) && *value > 0;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_line_blank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// The lines after the header, each kept as much as the four readings can
// use: its first bytes as they are (through the end of its first word, and
// at least 10 bytes: the names either kind of reading takes), then only the
// letters and gaps of the rest, up to and with a first byte that is
// neither (past which no reading looks). Blank lines are not kept.
struct stored_lines {
  struct entry {
    std::uint64_t start;   // in text
    std::uint64_t number;  // in the file
  };
  std::string text;
  std::vector<entry> lines;
  std::size_t size() const { return lines.size(); }
  std::string_view line(std::size_t i) const {
    const std::size_t end =
        i + 1 < lines.size() ? lines[i + 1].start : text.size();
    return std::string_view(text).substr(lines[i].start, end - lines[i].start);
  }
  std::size_t number(std::size_t i) const { return lines[i].number; }
};

std::string counted(std::size_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// Reads the lines after the header into *out. Throws fatal_error for a line
// that holds more residues than a record may have, or for more lines than
// the declared records could ever take.
void store_lines(line_reader& reader, const filter_table& table,
                 std::size_t nseq, std::size_t ncol, const std::string& fits,
                 stored_lines* out) {
  std::string chunk;
  const std::size_t most_lines = nseq * (ncol + 1);
  while (reader.start()) {
    const std::size_t start = out->text.size();
    std::string& t = out->text;
    reader.take(kLineEnd, &t, kStrictName);
    // The first word, whole.
    std::size_t i = start;
    while (i < t.size() && is_line_blank(t[i])) ++i;
    std::size_t j = i;
    while (j < t.size() && !is_line_blank(t[j])) ++j;
    if (j == t.size() && reader.peek() >= 0) {
      if (i == t.size()) reader.skip_blanks();  // the word has not begun
      reader.take(kBlankOrEnd, &t);
      if (reader.peek() >= 0) t += ' ';  // where the word ends
    }
    // The rest: letters and gaps, and the first byte that is neither.
    std::size_t tail = 0;
    for (int stop = byte_stream::kFull; stop == byte_stream::kFull;) {
      chunk.clear();
      stop = reader.take(kLineEnd, &chunk, kChunk);
      for (const char c : chunk) {
        if (is_line_blank(c) || is_digit(c)) continue;
        t += c;
        ++tail;
        if (table[static_cast<unsigned char>(c)] == 0) {
          stop = -1;
          break;
        }
      }
      if (tail > ncol)
        throw fatal_error(fits + "line " + std::to_string(reader.number()) +
                          " holds more than the " + counted(ncol, "column") +
                          " the first line declares");
    }
    reader.finish();
    if (trim(std::string_view(t).substr(start)).empty()) {
      t.resize(start);
      reader.skip_empty_lines();
      continue;
    }
    if (out->size() == most_lines)
      throw fatal_error(fits + "line " + std::to_string(reader.number()) +
                        " is more than its " + counted(nseq, "record") +
                        " could hold");
    out->lines.push_back({start, reader.number()});
  }
}

// How one reading went: records as read, or the first failure.
struct reading {
  record_set recs;
  bool fits = false;
  bool dot_after_first = false;  // a '.' in a row other than the first
  std::string failure;           // the first record that does not fit, and why
  bool bad_byte = false;         // the failure is a character
  std::string duplicate;         // two records with one name, if any
  std::size_t reached = 0;       // lines read when it failed
};

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

class layout_reader {
 public:
  layout_reader(const stored_lines& lines, const filter_table& table,
                std::size_t nseq, std::size_t ncol)
      : lines_(lines), table_(table), nseq_(nseq), ncol_(ncol) {}

  reading read(bool strict, bool interleaved) {
    r_ = reading();
    names_.clear();
    at_ = 0;
    if (interleaved ? read_interleaved(strict) : read_sequential(strict)) {
      if (next_line())
        fail("line " + std::to_string(number()) + " follows the " +
             counted(nseq_, "record") +
             " the first line declares (more sequences than declared?)");
      else
        r_.fits = true;
    }
    return std::move(r_);
  }

 private:
  bool next_line() {
    if (at_ == lines_.size()) return false;
    line_ = lines_.line(at_++);
    return true;
  }
  std::size_t number() const { return lines_.number(at_ - 1); }
  bool fail(std::string why) {
    r_.failure = std::move(why);
    r_.reached = at_;
    return false;
  }

  // Adds text to record k's residues in *row (its own, or a scratch one).
  bool add(std::size_t k, std::string_view text, std::string* row) {
    if (k > 0 && text.find('.') != std::string_view::npos)
      r_.dot_after_first = true;
    std::string digitless;
    digitless.reserve(text.size());
    for (const char c : text)
      if (!is_digit(c)) digitless += c;
    const int bad = append_row(table_, digitless, row);
    if (bad < 0) return true;
    r_.bad_byte = true;
    return fail(bad_character(number(), r_.recs.name(k), bad));
  }

  // Starts record i from the next line, its name and first residues.
  bool start_record(std::size_t i, bool strict) {
    if (!next_line())
      return fail("the file ends after " + counted(i, "record") +
                  ", but the first line declares " + std::to_string(nseq_));
    std::string_view name, rest;
    split_named(line_, strict, &name, &rest);
    const std::size_t k = r_.recs.add(std::string(name));
    const auto [it, fresh] = names_.emplace(name, k);
    if (!fresh && r_.duplicate.empty())
      r_.duplicate = "records " + std::to_string(it->second + 1) + " and " +
                     std::to_string(k + 1) + " are both named \"" +
                     shown(name) + "\"";
    return add(k, rest, &r_.recs.row(k));
  }

  bool record_fits(std::size_t i) {
    const std::size_t n = r_.recs.row(i).size();
    return n == ncol_ ||
           fail(record_label(i, r_.recs.name(i)) + " has " + std::to_string(n) +
                " columns, but the first line declares " +
                std::to_string(ncol_));
  }

  bool read_sequential(bool strict) {
    std::string more;
    for (std::size_t i = 0; i < nseq_; ++i) {
      if (!start_record(i, strict)) return false;
      std::string& row = r_.recs.row(i);
      // Lines that follow continue the record while it is not full; one
      // that would overfill it breaks the reading.
      while (row.size() < ncol_ && next_line()) {
        more.clear();
        if (!add(i, line_, &more)) return false;
        if (row.size() + more.size() > ncol_) break;
        row += more;
      }
      if (!record_fits(i)) return false;
    }
    return true;
  }

  // Every row of a block as long as the block's first.
  bool same_width(std::size_t i, std::size_t width, std::size_t first) {
    return width == first ||
           fail("line " + std::to_string(number()) + ": " +
                record_label(i, r_.recs.name(i)) + " has " +
                std::to_string(width) +
                " columns in this block, but the block's first record has " +
                std::to_string(first) + " (a ragged block)");
  }

  bool read_interleaved(bool strict) {
    std::size_t first = 0;
    for (std::size_t i = 0; i < nseq_; ++i) {
      if (!start_record(i, strict)) return false;
      const std::size_t width = r_.recs.row(i).size();
      if (i == 0) first = width;
      if (!same_width(i, width, first)) return false;
    }
    // Later blocks: one line a record, in the same order, without names.
    for (std::size_t i = 0; next_line(); i = (i + 1) % nseq_) {
      std::string& row = r_.recs.row(i);
      if (row.size() >= ncol_)
        return fail(record_label(i, r_.recs.name(i)) + " has more than the " +
                    std::to_string(ncol_) + " columns the first line declares");
      const std::size_t before = row.size();
      if (!add(i, line_, &row)) return false;
      if (i == 0) first = row.size() - before;
      if (!same_width(i, row.size() - before, first)) return false;
    }
    for (std::size_t i = 0; i < nseq_; ++i)
      if (!record_fits(i)) return false;
    return true;
  }

  const stored_lines& lines_;
  const filter_table& table_;
  std::size_t nseq_, ncol_;
  reading r_;
  std::unordered_map<std::string, std::size_t> names_;
  std::size_t at_ = 0;
  std::string_view line_;
};

}  // namespace

bool looks_like_phylip(std::string_view first_line, std::string_view) {
  std::string_view rest = first_line;
  std::size_t a = 0, b = 0;
  // No columns is a header too (colsieve writes one for a complement where
  // nothing was dropped): reading it says the alignment has none.
  return positive_number(take_word(&rest), &a) &&
         whole_number(take_word(&rest), &b) && trim(rest).empty();
}

loaded_input read_phylip(byte_source* src, const read_context& ctx) {
  line_reader reader(src);
  std::string_view line;
  while (reader.next(&line, 256) && trim(line).empty()) {
  }
  std::string_view counts = line;
  std::size_t nseq = 0, ncol = 0;
  positive_number(take_word(&counts), &nseq);
  whole_number(take_word(&counts), &ncol);
  const std::string fits = "Error: " + ctx.where +
                           " does not fit its PHYLIP header (" +
                           counted(nseq, "sequence") + " of " +
                           counted(ncol, "column") + ") in any layout: ";
  if (ncol > ctx.limit)
    throw fatal_error("ERROR: sequence too long.\nThe PHYLIP header of " +
                      ctx.where + " declares " + std::to_string(ncol) +
                      " columns, more than the limit of " +
                      std::to_string(ctx.limit) +
                      "; --max-columns N sets another, --max-columns 0 "
                      "lifts it.");

  const filter_table table = full_row_table(kGaps, ctx.keep_letters);
  stored_lines lines;
  store_lines(reader, table, nseq, ncol, fits, &lines);

  layout_reader layouts(lines, table, nseq, ncol);
  const auto take = [&ctx](reading& r) {
    if (r.dot_after_first && ctx.warn)
      ctx.warn(
          "Warning: '.' in rows after the first was read as a gap; some "
          "programs read it in PHYLIP as \"same as the first sequence\"");
    return r.recs.take();
  };
  reading furthest;                  // of the readings that failed
  std::optional<reading> repeating;  // the first fit whose names repeat
  bool tried = false;
  for (const bool strict : {false, true})
    for (const bool interleaved : {false, true}) {
      reading r = layouts.read(strict, interleaved);
      if (r.fits && r.duplicate.empty()) return take(r);
      if (r.fits && !repeating) {
        repeating = std::move(r);
        continue;
      }
      // A character that is neither residue nor gap, in the plainest
      // reading, is what is wrong; else the reading that got furthest says
      // best what is.
      if (!r.fits && (!tried || r.reached > furthest.reached) &&
          !furthest.bad_byte) {
        furthest = std::move(r);
        furthest.recs = record_set();  // only its failure is needed
      }
      tried = true;
    }
  // Names that repeat (strict names of two species cut to the same 10
  // characters) are data all the same: only the output formats that need
  // names that differ refuse them.
  if (repeating) {
    if (ctx.warn)
      ctx.warn("Warning: names repeat: " + repeating->duplicate +
               "; output in the tree formats (-f phylip-relaxed, "
               "phylip-strict, paml, nexus, clustal) or with --safe-names "
               "refuses them");
    return take(*repeating);
  }
  if (furthest.bad_byte)
    throw fatal_error("Error: " + ctx.where + ", " + furthest.failure);
  throw fatal_error(fits + furthest.failure);
}
