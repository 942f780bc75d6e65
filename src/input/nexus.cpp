#include "input/nexus.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "error.h"
#include "input/text_lines.h"

namespace {

struct token {
  std::string text;
  bool quoted = false;
  std::size_t line = 0;
};

bool is_word(const token& t, const char* word) {
  if (t.quoted || t.text.size() != std::strlen(word)) return false;
  for (std::size_t i = 0; i < t.text.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(t.text[i])) != word[i])
      return false;
  return true;
}

// Splits NEXUS text into words, quoted names, ';' and '='; drops comments.
std::vector<token> tokenize(byte_source* src) {
  std::vector<token> out;
  line_reader lines(src);
  std::string_view line;
  int depth = 0;        // comment nesting
  bool quoted = false;  // inside 'a quoted name'
  token word;
  const auto end_word = [&] {
    if (!word.text.empty() || word.quoted) out.push_back(word);
    word = token{};
  };
  while (lines.next(&line)) {
    for (std::size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      if (depth > 0) {
        depth += c == '[' ? 1 : c == ']' ? -1 : 0;
        continue;
      }
      if (quoted) {
        if (c != '\'') {
          word.text += c;
        } else if (i + 1 < line.size() && line[i + 1] == '\'') {
          word.text += '\'';
          ++i;
        } else {
          quoted = false;
          end_word();
        }
        continue;
      }
      if (c == '[') {
        end_word();
        depth = 1;
      } else if (c == '\'') {
        end_word();
        quoted = true;
        word.quoted = true;
        word.line = lines.number();
      } else if (c == ';' || c == '=') {
        end_word();
        out.push_back(token{std::string(1, c), false, lines.number()});
      } else if (is_blank_char(c)) {
        end_word();
      } else {
        if (word.text.empty()) word.line = lines.number();
        word.text += c;
      }
    }
    if (quoted)
      word.text += ' ';  // a quoted name that goes on
    else
      end_word();
  }
  end_word();
  return out;
}

// What the DATA block says and holds.
struct data_block {
  std::size_t ntax = 0, nchar = 0;  // 0: not given
  char gap = 0, missing = 0, matchchar = 0;
  bool interleave = false;
  std::vector<token> matrix;
  bool found = false;
};

char single_char(const token& t) { return t.text.size() == 1 ? t.text[0] : 0; }

// The command's key=value pairs and flags, from pos up to its ';'.
void read_command(const std::vector<token>& t, std::size_t* pos, data_block* d,
                  bool dimensions, bool format) {
  while (*pos < t.size() && !(t[*pos].text == ";" && !t[*pos].quoted)) {
    const token& key = t[*pos];
    const bool has_value =
        *pos + 2 < t.size() && t[*pos + 1].text == "=" && !t[*pos + 1].quoted;
    const token* value = has_value ? &t[*pos + 2] : nullptr;
    if (dimensions && value != nullptr) {
      const std::size_t v = std::strtoull(value->text.c_str(), nullptr, 10);
      if (is_word(key, "NTAX")) d->ntax = v;
      if (is_word(key, "NCHAR")) d->nchar = v;
    }
    if (format) {
      if (is_word(key, "INTERLEAVE"))
        d->interleave = value == nullptr || !is_word(*value, "NO");
      if (value != nullptr && is_word(key, "GAP")) d->gap = single_char(*value);
      if (value != nullptr && is_word(key, "MISSING"))
        d->missing = single_char(*value);
      if (value != nullptr && is_word(key, "MATCHCHAR"))
        d->matchchar = single_char(*value);
    }
    *pos += has_value ? 3 : 1;
  }
  if (*pos < t.size()) ++*pos;  // the ';'
}

constexpr char kMatch = '\x01';  // stands for the first taxon's residue

class matrix_reader {
 public:
  matrix_reader(const data_block& d, std::string where)
      : d_(d), where_(std::move(where)) {}

  // Appends the residues of a matrix word to row; throws on a character
  // that is neither residue, gap nor match.
  void add(const token& t, const std::string& name, std::string* row) const {
    const std::string& w = t.text;
    for (std::size_t i = 0; i < w.size(); ++i) {
      const char c = w[i];
      if (c == '{' || c == '(') {
        // A set of possible states is one unknown residue.
        const std::size_t close = w.find(c == '{' ? '}' : ')', i);
        if (close == std::string::npos) bad(t, name, c);
        row->push_back('X');
        i = close;
      } else if (d_.matchchar != 0 && c == d_.matchchar) {
        row->push_back(kMatch);
      } else if (c == d_.gap || c == d_.missing ||
                 std::strchr("-._~?", c) != nullptr) {
        row->push_back('-');  // MISSING=N or =X too: a gap
      } else if (std::isalpha(static_cast<unsigned char>(c))) {
        row->push_back(
            static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
      } else {
        bad(t, name, c);
      }
    }
  }

  [[noreturn]] void bad(const token& t, const std::string& name, char c) const {
    throw fatal_error(
        "Error: " + where_ + ", " +
        bad_character(t.line, name, static_cast<unsigned char>(c)));
  }

  // Each taxon's name, then its residues up to NCHAR.
  bool sequential(record_set* recs, std::string* why) const {
    const std::vector<token>& m = d_.matrix;
    for (std::size_t p = 0; p < m.size();) {
      const std::size_t k = recs->add(m[p].text);
      std::string& row = recs->row(k);
      for (++p; p < m.size() && row.size() < d_.nchar; ++p)
        add(m[p], recs->name(k), &row);
      if (row.size() != d_.nchar) {
        *why = taxon(k, recs->name(k)) + " has " + std::to_string(row.size()) +
               " characters, but NCHAR says " + std::to_string(d_.nchar);
        return false;
      }
    }
    return true;
  }

  // Line by line: a name, then residues; names come back in every block.
  void interleaved(record_set* recs) const {
    const std::vector<token>& m = d_.matrix;
    for (std::size_t p = 0; p < m.size();) {
      const std::size_t line = m[p].line;
      const std::size_t k = recs->find_or_add(m[p].text);
      for (++p; p < m.size() && m[p].line == line; ++p)
        add(m[p], recs->name(k), &recs->row(k));
    }
  }

  static std::string taxon(std::size_t k, const std::string& name) {
    return "taxon " + std::to_string(k + 1) + " (" + shown(name) + ")";
  }

 private:
  const data_block& d_;
  std::string where_;
};

}  // namespace

bool looks_like_nexus(std::string_view first_line) {
  std::string_view rest = first_line;
  const std::string_view word = take_word(&rest);
  if (word.size() != 6) return false;
  for (std::size_t i = 0; i < 6; ++i)
    if (std::toupper(static_cast<unsigned char>(word[i])) != "#NEXUS"[i])
      return false;
  return true;
}

loaded_input read_nexus(byte_source* src, const std::string& input_name) {
  const std::string where = input_label(input_name);
  const std::vector<token> t = tokenize(src);
  data_block d;
  std::size_t taxa_ntax = 0;
  for (std::size_t p = 1; p < t.size();) {
    if (!is_word(t[p++], "BEGIN") || p >= t.size()) continue;
    const bool data = is_word(t[p], "DATA") || is_word(t[p], "CHARACTERS");
    const bool taxa = is_word(t[p], "TAXA");
    p += 2;  // the name and its ';'
    while (p < t.size() && !is_word(t[p], "END") &&
           !is_word(t[p], "ENDBLOCK")) {
      const token& command = t[p++];
      if (data && is_word(command, "MATRIX")) {
        d.found = true;
        while (p < t.size() && !(t[p].text == ";" && !t[p].quoted))
          d.matrix.push_back(t[p++]);
        ++p;
      } else if (taxa && is_word(command, "DIMENSIONS")) {
        data_block tmp;
        read_command(t, &p, &tmp, true, false);
        taxa_ntax = tmp.ntax;
      } else {
        read_command(t, &p, &d, data && is_word(command, "DIMENSIONS"),
                     data && is_word(command, "FORMAT"));
      }
    }
    if (data && d.found) break;
  }
  if (!d.found)
    throw fatal_error("Error: " + where +
                      " has no DATA or CHARACTERS block with a MATRIX");
  if (d.ntax == 0) d.ntax = taxa_ntax;

  const matrix_reader reader(d, where);
  record_set recs;
  std::string why;
  bool read = false;
  if (!d.interleave && d.nchar > 0) {
    read = reader.sequential(&recs, &why);
    if (!read) recs = record_set();
  }
  if (!read) {
    // Interleaved, or a sequential matrix that does not add up: line by
    // line, where names may come back.
    reader.interleaved(&recs);
    for (std::size_t k = 0; k < recs.size() && d.nchar > 0; ++k)
      if (recs.row(k).size() != d.nchar)
        throw fatal_error(
            "Error: " + where + ": " +
            (why.empty()
                 ? matrix_reader::taxon(k, recs.name(k)) + " has " +
                       std::to_string(recs.row(k).size()) +
                       " characters, but NCHAR says " + std::to_string(d.nchar)
                 : why));
  }
  if (d.ntax > 0 && recs.size() != d.ntax)
    throw fatal_error("Error: " + where + ": the matrix holds " +
                      std::to_string(recs.size()) + " taxa, but NTAX says " +
                      std::to_string(d.ntax));
  // A match character stands for the first taxon's residue there.
  for (std::size_t k = 0; k < recs.size(); ++k) {
    std::string& row = recs.row(k);
    for (std::size_t j = 0; j < row.size(); ++j)
      if (row[j] == kMatch)
        row[j] = k > 0 && j < recs.row(0).size() && recs.row(0)[j] != kMatch
                     ? recs.row(0)[j]
                     : '-';
  }
  return recs.take("NEXUS");
}
