#include "input/mega.h"

#include <cctype>
#include <optional>
#include <vector>

#include "base/error.h"
#include "input/text_lines.h"

namespace {

constexpr std::size_t kChunk = 64 << 10;  // residue text taken at a time
constexpr std::size_t kCommand = 4096;    // of a command, kept

// Where text outside comments stops: a comment's brackets, and the line's
// end, a name's end or a command's end.
constexpr byte_set kBrackets{'[', ']'};
constexpr byte_set kInComment = kBrackets | kLineEnd;
constexpr byte_set kNameEnd = kBrackets | kBlankOrEnd;
constexpr byte_set kCommandEnd = kInComment | byte_set{';'};

bool same_word(std::string_view a, std::string_view upper) {
  if (a.size() != upper.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != upper[i])
      return false;
  return true;
}

// The lines of a MEGA file with its [comments] left out: a comment may
// span lines and hold comments of its own.
class mega_lines {
 public:
  mega_lines(byte_source* src, const std::string& where)
      : lines_(src), where_(where) {}

  [[noreturn]] void fail(std::size_t line, const std::string& what) const {
    throw fatal_error("Error: " + where_ + ", line " + std::to_string(line) +
                      ": " + what);
  }

  // Starts the next line; false at the end of input. Throws fatal_error for
  // a comment never closed.
  bool start() {
    if (lines_.start()) return true;
    if (depth_ > 0)
      fail(comment_line_, "a comment '[' that starts here is never closed");
    return false;
  }
  std::size_t number() const { return lines_.number(); }

  // The line's next byte outside comments, left unread, or -1 at its end.
  int peek() {
    for (;;) {
      if (!pass_comment()) return -1;
      const int c = lines_.peek();
      if (c == '[') {
        open_comment();
        continue;
      }
      if (c == ']') stray_bracket();
      return c;
    }
  }
  void skip_blanks() {
    while (pass_comment()) {
      lines_.skip_blanks();
      if (lines_.peek() != '[') return;
      open_comment();
    }
  }
  // As line_reader::take, comments passed over; stops must hold the
  // brackets (kInComment, kNameEnd, kCommandEnd).
  int take(const byte_set& stops, std::string* out,
           std::size_t max = line_reader::npos) {
    const std::size_t before = out != nullptr ? out->size() : 0;
    for (;;) {
      if (!pass_comment()) return -1;
      std::size_t room = line_reader::npos;
      if (out != nullptr && max != line_reader::npos) {
        room = max - (out->size() - before);
        if (room == 0) return byte_stream::kFull;
      }
      const int stop = lines_.take(stops, out, room);
      if (stop == '[') {
        open_comment();
        continue;
      }
      if (stop == ']') stray_bracket();
      return stop;
    }
  }
  // Takes the next byte, which must be on the line.
  void skip_one() { lines_.take(kLineEnd, nullptr, 1); }
  // Passes over the rest of the line (a comment opened there included).
  void finish() {
    take(kInComment, nullptr);
    lines_.finish();
  }

 private:
  // Passes over the rest of an open comment; false when the line ends in it.
  bool pass_comment() {
    while (depth_ > 0) {
      const int c = lines_.take(kInComment, nullptr);
      if (c < 0) return false;
      skip_one();
      if (c == '[') {
        ++depth_;
      } else {
        --depth_;
      }
    }
    return true;
  }
  void open_comment() {
    skip_one();
    depth_ = 1;
    comment_line_ = number();
  }
  [[noreturn]] void stray_bracket() {
    fail(number(), "a ']' closes a comment that was never opened");
  }

  line_reader lines_;
  const std::string& where_;
  std::size_t depth_ = 0;
  std::size_t comment_line_ = 0;
};

// The words of a command, '=' one of its own: "Indel = -" and "Indel=-"
// alike.
std::vector<std::string_view> command_words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    if (is_blank_char(text[i])) {
      ++i;
    } else if (text[i] == '=') {
      words.push_back(text.substr(i++, 1));
    } else {
      const std::size_t j = i;
      while (i < text.size() && !is_blank_char(text[i]) && text[i] != '=') ++i;
      words.push_back(text.substr(j, i - j));
    }
  }
  return words;
}

class mega_reader {
 public:
  mega_reader(byte_source* src, const read_context& ctx)
      : in_(src, ctx.where),
        ctx_(ctx),
        table_(full_row_table("-._~?", ctx.keep_letters)) {}

  loaded_input read() {
    bool header = true;
    while (in_.start()) {
      if (header) {  // "#MEGA"
        header = false;
        in_.finish();
        continue;
      }
      statements();
      in_.finish();
    }
    if (in_command_)
      in_.fail(command_line_,
               "the command that starts here has no ';' (a file cut short?)");
    if (!rows_) return {};
    if (row_open_) rows_->end_row();
    loaded_input in = rows_->take(in_.number());
    if (identical_ != 0) resolve_match_marks(&in);
    if (dot_after_first_ && ctx_.warn)
      ctx_.warn(
          "Warning: '.' in rows after the first was read as a gap; MEGA files "
          "often use it for \"same as the first sequence\", but this one "
          "declares no Identical= character");
    return in;
  }

 private:
  // What a line holds: commands, a sequence's start, or more residues.
  void statements() {
    bool line_start = true;  // nothing read on this line yet
    for (;;) {
      if (in_command_) {
        line_start = false;
        std::string* keep = command_.size() < kCommand ? &command_ : nullptr;
        const int stop = in_.take(
            kCommandEnd, keep, kCommand - std::min(kCommand, command_.size()));
        if (stop == byte_stream::kFull) continue;
        if (stop < 0) {  // the command goes on on the next line
          if (keep != nullptr) command_ += ' ';
          return;
        }
        in_.skip_one();  // its ';'
        in_command_ = false;
        run_command();
        continue;
      }
      in_.skip_blanks();
      const int c = in_.peek();
      if (c < 0) {
        blank_before_ = blank_before_ || line_start;
        return;
      }
      line_start = false;
      if (c == '!') {
        in_.skip_one();
        command_.clear();
        in_command_ = true;
        command_line_ = in_.number();
        continue;
      }
      if (c == '#') {
        in_.skip_one();
        name_.clear();
        in_.take(kNameEnd, &name_);
        if (name_.empty())
          in_.fail(in_.number(), "a '#' with no name after it");
        begin_row();
      } else if (!row_open_) {
        return;  // text before the first sequence: a title or a comment
      }
      residues();
      return;
    }
  }

  void run_command() {
    const std::vector<std::string_view> words = command_words(command_);
    if (words.empty() || !same_word(words[0], "FORMAT")) return;
    if (rows_)
      in_.fail(command_line_,
               "a Format command after the first sequence (it must come "
               "before the sequences)");
    for (std::size_t i = 1; i + 2 < words.size(); ++i) {
      if (words[i + 1] != "=") continue;
      const std::string_view key = words[i], value = words[i + 2];
      if (same_word(key, "DATATYPE") && same_word(value, "DISTANCE"))
        throw fatal_error("Error: " + ctx_.where +
                          " holds a MEGA distance matrix (DataType=Distance), "
                          "not an alignment");
      if (value.size() != 1) continue;
      const auto c = static_cast<unsigned char>(value[0]);
      if (same_word(key, "IDENTICAL") || same_word(key, "MATCHCHAR")) {
        identical_ = value[0];
        table_[c] = kMatchMark;
      } else if (same_word(key, "INDEL") || same_word(key, "MISSING")) {
        table_[c] = UNALIGNED;
      }
    }
  }

  void begin_row() {
    const std::size_t line = in_.number();
    if (!rows_) rows_.emplace(block_rows::key::position, ctx_, table_);
    if (row_open_) rows_->end_row();
    // The first block ends where the first record's name comes again,
    // after a blank line or after the block's second row: writers cut
    // names, and a second row of that name is a record of its own.
    if (rows_->block_size() > 0) {
      if (first_block_) {
        if (name_ == rows_->name(0) &&
            (blank_before_ || rows_->block_size() >= 2)) {
          rows_->end_block(line);
          first_block_ = false;
        }
      } else if (rows_->block_size() == rows_->records()) {
        rows_->end_block(line);
      }
    }
    rows_->begin_row(name_, line);
    row_open_ = true;
    blank_before_ = false;
  }

  // The rest of the line, as residues of the row begun last. Characters
  // are checked here, where the line is known.
  void residues() {
    const std::size_t record = rows_->current();
    for (int stop = byte_stream::kFull; stop == byte_stream::kFull;) {
      text_.clear();
      stop = in_.take(kInComment, &text_, kChunk);
      for (const char ch : text_) {
        const auto c = static_cast<unsigned char>(ch);
        if (record == 0 && identical_ != 0 && ch == identical_)
          in_.fail(in_.number(),
                   "the first sequence (\"" + shown(rows_->name(0)) +
                       "\") holds the identical character '" +
                       std::string(1, identical_) +
                       "', which stands for the first sequence's own "
                       "character");
        if (table_[c] == 0 && !is_blank_char(ch))
          throw fatal_error(
              "Error: " + ctx_.where + ", " +
              bad_character(in_.number(), rows_->name(record), c));
        if (ch == '.' && record > 0 && identical_ == 0) dot_after_first_ = true;
      }
      rows_->add(text_);
    }
  }

  mega_lines in_;
  const read_context& ctx_;
  filter_table table_;
  char identical_ = 0;
  bool in_command_ = false;
  std::size_t command_line_ = 0;
  std::string command_, name_, text_;
  std::optional<block_rows> rows_;
  bool row_open_ = false;
  bool first_block_ = true;
  bool blank_before_ = false;  // a blank line since the last row began
  bool dot_after_first_ = false;
};

}  // namespace

bool looks_like_mega(std::string_view line, std::string_view) {
  std::string_view rest = line;
  return same_word(take_word(&rest), "#MEGA");
}

loaded_input read_mega(byte_source* src, const read_context& ctx) {
  return mega_reader(src, ctx).read();
}
