#include "input/nexus.h"

#include <cctype>
#include <cstring>
#include <optional>

#include "base/error.h"
#include "input/text_lines.h"

namespace {

constexpr std::size_t kChunk = 64 << 10;  // a matrix word taken at a time
constexpr std::size_t kShort = 256;       // most of a word kept elsewhere

// Where a word ends.
constexpr byte_set kWordEnd =
    kBlank | kLineEnd | byte_set{'[', ']', '\'', ';', '='};
constexpr byte_set kInComment{'[', ']', '\n', '\r'};
constexpr byte_set kInQuote{'\'', '\n', '\r'};
constexpr byte_set kInCommand{';', '\'', '[', '\n', '\r'};

struct token {
  std::string text;
  bool quoted = false;
  bool more = false;  // a word cut at the piece size: it goes on
  std::size_t line = 0;
  bool is(const char* word) const {
    if (quoted || text.size() != std::strlen(word)) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
      if (std::toupper(static_cast<unsigned char>(text[i])) != word[i])
        return false;
    return true;
  }
  bool punct(char c) const {
    return !quoted && text.size() == 1 && text[0] == c;
  }
};

// NEXUS text as words, quoted names, ';' and '=', comments dropped; nothing
// is kept beyond what the caller asks for.
class tokenizer {
 public:
  tokenizer(byte_source* src, const std::string& where)
      : in_(src), where_(where) {}

  // Reads the next token into *t, keeping at most `max` bytes of a word:
  // with `pieces`, a longer word comes in pieces (t->more says another
  // follows), else the rest of it is passed over. Returns false at the end
  // of input. Throws fatal_error for a comment or quote never closed.
  bool next(token* t, std::size_t max, bool pieces) {
    t->text.clear();
    t->quoted = false;
    if (!t->more || !pieces) {
      t->more = false;
      if (!skip_space()) return false;
    }
    t->more = false;
    t->line = line_;
    const int c = in_.peek();
    if (c == ';' || c == '=') {
      t->text.assign(1, static_cast<char>(in_.get()));
      return true;
    }
    if (c == ']') fail(line_, "a ']' closes a comment that was never opened");
    if (c == '\'') {
      in_.skip(1);
      read_quoted(t);
      return true;
    }
    const int stop = in_.get_until(kWordEnd, &t->text, max);
    if (stop == byte_stream::kFull) {
      if (pieces)
        t->more = true;
      else
        in_.get_until(kWordEnd, nullptr);
    }
    return true;
  }

  // Passes over the rest of a command, through its ';', unstored (comments
  // and quoted text may hold a ';'). Returns false at the end of input.
  bool skip_command() {
    for (;;) {
      const int c = in_.get_until(kInCommand, nullptr);
      if (c == byte_stream::kEnd) return false;
      if (in_.take_line_end()) {
        ++line_;
      } else if (c == '[') {
        skip_comment();
      } else if (c == '\'') {
        in_.skip(1);
        read_quoted(nullptr);
      } else {
        in_.skip(1);  // the ';'
        return true;
      }
    }
  }

  std::size_t line() const { return line_; }
  [[noreturn]] void fail(std::size_t line, const std::string& what) const {
    throw fatal_error("Error: " + where_ + ", line " + std::to_string(line) +
                      ": " + what);
  }

 private:
  // Passes over blanks, line ends and comments; false at the end of input.
  bool skip_space() {
    for (;;) {
      const int c = in_.peek();
      if (c == byte_stream::kEnd) return false;
      if (in_.take_line_end()) {
        ++line_;
      } else if (c == '[') {
        skip_comment();
      } else if (kBlank.has(static_cast<unsigned char>(c))) {
        in_.get_until(~kBlank, nullptr);
      } else {
        return true;
      }
    }
  }

  // A comment, nested ones included.
  void skip_comment() {
    const std::size_t start = line_;
    std::size_t depth = 0;
    do {
      const int c = in_.get_until(kInComment, nullptr);
      if (c == byte_stream::kEnd)
        fail(start, "a comment '[' that starts here is never closed");
      if (in_.take_line_end()) {
        ++line_;
        continue;
      }
      in_.skip(1);
      depth += c == '[' ? 1 : 0;
      depth -= c == ']' ? 1 : 0;
    } while (depth > 0);
  }

  // A quoted name ('it''s'), into *t unless t is null; a line end within
  // it reads as a blank.
  void read_quoted(token* t) {
    const std::size_t start = line_;
    std::string* text = t == nullptr ? nullptr : &t->text;
    if (t != nullptr) t->quoted = true;
    for (;;) {
      const int c = in_.get_until(kInQuote, text);
      if (c == byte_stream::kEnd)
        fail(start, "a quoted name that starts here is never closed");
      if (in_.take_line_end()) {
        ++line_;
        if (text != nullptr) *text += ' ';
        continue;
      }
      in_.skip(1);
      if (in_.peek() != '\'') return;
      in_.skip(1);  // '' stands for one quote
      if (text != nullptr) *text += '\'';
    }
  }

  byte_stream in_;
  const std::string& where_;
  std::size_t line_ = 1;
};

// What the DATA block says.
struct data_format {
  std::size_t ntax = 0, nchar = 0;  // 0: not given
  bool no_chars = false;            // NCHAR=0 given
  char gap = 0, missing = 0, matchchar = 0;
  bool interleave = false;
};

char single_char(const token& t) { return t.text.size() == 1 ? t.text[0] : 0; }

// A count given as KEY=value: a whole number, above 0 but where zero is
// allowed.
std::size_t count_of(const tokenizer& tok, const token& key, const token& value,
                     bool zero = false) {
  const bool digits =
      !value.text.empty() && value.text.size() <= 18 &&
      value.text.find_first_not_of("0123456789") == std::string::npos;
  const std::size_t v = digits ? std::stoull(value.text) : 0;
  if (!digits || (v == 0 && !zero))
    tok.fail(value.line, key.text + "=" + shown(value.text) +
                             " is not a count (a whole number above 0)");
  return v;
}

// The command's key=value pairs and flags, up to its ';', which is left in
// t. Returns false when the input ends first.
bool read_command(tokenizer& tok, token& t, data_format* d, bool dimensions,
                  bool format) {
  token key, eq, value;
  bool have = tok.next(&key, kShort, false);
  while (have && !key.punct(';')) {
    have = tok.next(&eq, kShort, false);
    const bool valued = have && eq.punct('=');
    if (valued && !tok.next(&value, kShort, false)) {
      have = false;
      break;
    }
    if (dimensions && valued) {
      if (key.is("NTAX")) d->ntax = count_of(tok, key, value);
      // NCHAR=0 (colsieve's complement where nothing was dropped) reads as
      // rows of no characters, which the alignment check then refuses.
      if (key.is("NCHAR")) {
        d->nchar = count_of(tok, key, value, true);
        d->no_chars = d->nchar == 0;
      }
    }
    if (format) {
      if (key.is("INTERLEAVE")) d->interleave = !valued || !value.is("NO");
      if (valued && key.is("GAP")) d->gap = single_char(value);
      if (valued && key.is("MISSING")) d->missing = single_char(value);
      if (valued && key.is("MATCHCHAR")) d->matchchar = single_char(value);
    }
    if (valued) {
      have = tok.next(&key, kShort, false);
    } else {
      std::swap(key, eq);
    }
  }
  t = key;
  return have;
}

// The cells of a matrix word: a set of states ({AG} or (AG)) is one
// unknown residue, 'X'. *open carries an unclosed set into the next piece.
std::string cells(std::string_view word, char* open) {
  std::string out;
  out.reserve(word.size());
  for (const char c : word) {
    if (*open != 0) {
      if (c == *open) *open = 0;
      continue;
    }
    if (c == '{' || c == '(') {
      *open = c == '{' ? '}' : ')';
      out += 'X';
    } else {
      out += c;
    }
  }
  return out;
}

// Reads the matrix both ways a NEXUS matrix may be laid out, as the words
// come: sequential (each taxon's name, then its characters up to NCHAR) and
// interleaved (a name and characters on each line, by blocks).
class matrix_reader {
 public:
  matrix_reader(tokenizer& tok, const data_format& d, const read_context& ctx,
                const filter_table& table)
      : tok_(tok),
        d_(d),
        ctx_(ctx),
        table_(table),
        sequential_(!d.interleave && d.nchar > 0),
        rows_(block_rows::key::name, ctx, table) {}

  // Reads up to the matrix's ';'. Returns the records of the reading that
  // fits.
  loaded_input read(std::size_t start) {
    token t;
    for (;;) {
      if (!tok_.next(&t, kChunk, true))
        tok_.fail(start,
                  "the MATRIX that starts here has no ';' (a file cut "
                  "short?)");
      if (!t.more && t.punct(';')) break;
      word(t);
    }
    interleaved([&] { end_line(); });
    if (seq_row_ != npos && seq_.row(seq_row_).size() != d_.nchar)
      seq_fail(taxon(seq_row_, seq_.name(seq_row_)) + " has " +
               std::to_string(seq_.row(seq_row_).size()) +
               " characters, but NCHAR says " + std::to_string(d_.nchar));
    if (sequential_) return seq_.take();
    if (inter_error_) std::rethrow_exception(inter_error_);
    loaded_input in = rows_.take(t.line);
    const bool counted = d_.nchar > 0 || d_.no_chars;
    for (std::size_t k = 0; k < in.lengths.size() && counted; ++k)
      if (in.lengths[k] != d_.nchar)
        throw fatal_error("Error: " + ctx_.where + ": " +
                          (why_.empty() ? taxon(k, in.aln.names[k]) + " has " +
                                              std::to_string(in.lengths[k]) +
                                              " characters, but NCHAR says " +
                                              std::to_string(d_.nchar)
                                        : why_));
    return in;
  }

  static std::string taxon(std::size_t k, const std::string& name) {
    return "taxon " + std::to_string(k + 1) + " (" + shown(name) + ")";
  }

 private:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  void word(const token& t) {
    if (sequential_) sequential_word(t);
    interleaved([&] {
      if (t.line != line_) end_line();
      interleaved_word(t);
    });
    line_ = t.line;
  }

  // A step of the interleaved reading: a failure there matters only if the
  // sequential reading fails too.
  template <class Step>
  void interleaved(const Step& step) {
    if (inter_error_) return;
    try {
      step();
    } catch (const fatal_error&) {
      inter_error_ = std::current_exception();
    }
  }

  // The first taxon's characters cannot stand for themselves.
  void check_match(std::size_t record, std::string_view text, std::size_t line,
                   const std::string& name) const {
    if (record == 0 && d_.matchchar != 0 &&
        text.find(d_.matchchar) != std::string_view::npos)
      tok_.fail(line, "the first taxon (\"" + shown(name) +
                          "\") holds the match character '" +
                          std::string(1, d_.matchchar) +
                          "', which stands for the first taxon's own "
                          "character");
  }

  void sequential_word(const token& t) {
    if (seq_name_more_ || seq_row_ == npos ||
        seq_.row(seq_row_).size() >= d_.nchar) {
      // A name, perhaps in pieces.
      if (!seq_name_more_ && seq_row_ != npos &&
          seq_.row(seq_row_).size() != d_.nchar) {
        seq_fail(taxon(seq_row_, seq_.name(seq_row_)) + " has " +
                 std::to_string(seq_.row(seq_row_).size()) +
                 " characters, but NCHAR says " + std::to_string(d_.nchar));
        return;
      }
      seq_name_ += t.text;
      seq_name_more_ = t.more;
      if (!t.more) {
        seq_row_ = seq_.add(std::move(seq_name_),
                            t.quoted ? name_form::quoted : name_form::plain);
        seq_name_.clear();
      }
      return;
    }
    const std::string c = cells(t.text, &seq_open_);
    check_match(seq_row_, c, t.line, seq_.name(seq_row_));
    std::string& row = seq_.row(seq_row_);
    const int bad = append_row(table_, c, &row);
    if (bad >= 0)
      throw fatal_error("Error: " + ctx_.where + ", " +
                        bad_character(t.line, seq_.name(seq_row_), bad));
    if (row.size() > ctx_.limit)
      record_too_long(seq_row_ + 1, seq_.name(seq_row_), ctx_.limit);
  }

  void seq_fail(std::string why) {
    why_ = std::move(why);
    sequential_ = false;
    seq_ = record_set();
    seq_row_ = npos;
  }

  void interleaved_word(const token& t) {
    if (!in_row_) {
      // The line's first word: the name, perhaps in pieces.
      inter_name_ += t.text;
      if (t.more) return;
      const std::size_t expected = d_.ntax > 0 ? d_.ntax : block_len_;
      if (expected > 0 && rows_.block_size() == expected) {
        rows_.end_block(t.line);
      } else if (expected == 0 && rows_.in_first_block(inter_name_)) {
        block_len_ = rows_.records();
        rows_.end_block(t.line);
      }
      rows_.begin_row(inter_name_, t.line,
                      t.quoted ? name_form::quoted : name_form::plain);
      inter_name_.clear();
      in_row_ = true;
      return;
    }
    const std::string c = cells(t.text, &inter_open_);
    check_match(rows_.current(), c, t.line, rows_.name(rows_.current()));
    rows_.add(c);
  }

  void end_line() {
    if (in_row_) rows_.end_row();
    in_row_ = false;
  }

  tokenizer& tok_;
  const data_format& d_;
  const read_context& ctx_;
  const filter_table& table_;
  std::string why_;  // why the sequential reading failed

  bool sequential_;
  record_set seq_;
  std::size_t seq_row_ = npos;
  bool seq_name_more_ = false;
  std::string seq_name_;
  char seq_open_ = 0;

  block_rows rows_;
  std::exception_ptr inter_error_;
  std::size_t line_ = 0;
  bool in_row_ = false;
  std::string inter_name_;
  std::size_t block_len_ = 0;
  char inter_open_ = 0;
};

}  // namespace

bool looks_like_nexus(std::string_view first_line, std::string_view) {
  std::string_view rest = first_line;
  const std::string_view word = take_word(&rest);
  if (word.size() != 6) return false;
  for (std::size_t i = 0; i < 6; ++i)
    if (std::toupper(static_cast<unsigned char>(word[i])) != "#NEXUS"[i])
      return false;
  return true;
}

loaded_input read_nexus(byte_source* src, const read_context& ctx) {
  tokenizer tok(src, ctx.where);
  data_format d;
  std::size_t taxa_ntax = 0;
  std::optional<loaded_input> in;
  token t;
  bool have = tok.next(&t, kShort, false);  // #NEXUS
  if (have) have = tok.next(&t, kShort, false);
  while (have && !in) {
    if (!t.is("BEGIN")) {
      have = tok.next(&t, kShort, false);
      continue;
    }
    const std::size_t begin_line = t.line;
    if (!tok.next(&t, kShort, false)) break;
    const bool data = t.is("DATA") || t.is("CHARACTERS");
    const bool taxa = t.is("TAXA");
    have = tok.next(&t, kShort, false);  // its ';'
    if (have && t.punct(';')) have = tok.next(&t, kShort, false);
    bool ended = false;
    while (have) {
      if (t.is("END") || t.is("ENDBLOCK")) {
        ended = true;
        have = tok.next(&t, kShort, false);
        break;
      }
      if (data && t.is("MATRIX")) {
        if (d.ntax == 0) d.ntax = taxa_ntax;
        filter_table table = full_row_table("-._~?", ctx.keep_letters);
        for (const char c : {d.gap, d.missing})
          if (c != 0) table[static_cast<unsigned char>(c)] = UNALIGNED;
        if (d.matchchar != 0)
          table[static_cast<unsigned char>(d.matchchar)] = kMatchMark;
        matrix_reader matrix(tok, d, ctx, table);
        in = matrix.read(t.line);  // through the matrix's ';'
        have = tok.next(&t, kShort, false);
        continue;
      } else if (taxa && t.is("DIMENSIONS")) {
        data_format tmp;
        have = read_command(tok, t, &tmp, true, false);
        taxa_ntax = tmp.ntax;
      } else if (data && (t.is("DIMENSIONS") || t.is("FORMAT"))) {
        have = read_command(tok, t, &d, t.is("DIMENSIONS"), t.is("FORMAT"));
      } else if (!t.punct(';') && !tok.skip_command()) {
        break;  // the rest of the command, passed over unstored
      } else {
        t.text.assign(1, ';');
        t.quoted = false;
      }
      if (have && t.punct(';')) have = tok.next(&t, kShort, false);
    }
    if (in && !ended)
      tok.fail(begin_line, "the block that starts here has no END");
  }
  if (!in)
    throw fatal_error("Error: " + ctx.where +
                      " has no DATA or CHARACTERS block with a MATRIX");
  if (d.ntax > 0 && in->lengths.size() != d.ntax)
    throw fatal_error("Error: " + ctx.where + ": the matrix holds " +
                      std::to_string(in->lengths.size()) +
                      " taxa, but NTAX says " + std::to_string(d.ntax));
  if (d.matchchar != 0) resolve_match_marks(&*in);
  return std::move(*in);
}
