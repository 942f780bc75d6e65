#include "input/fasta_seq.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

bool is_blank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' ||
         c == '\f';
}

// Dropped bytes that say nothing: blanks, line ends and digits (position
// numbers in some files).
bool silent_drop(unsigned char c) {
  return is_blank(c) || (c >= '0' && c <= '9');
}

// State of one record's residue loop.
struct residue_state {
  std::size_t n = 0;      // residues stored
  std::size_t limit = 0;  // most residues allowed
  bool too_long = false;
  // PIR: residues of the first line (a description, if the record turns
  // out to be PIR) and the bytes dropped from it; where a trailing '*'
  // stood.
  bool pir = false;
  bool first_line_done = false;
  std::size_t first_n = 0;
  std::unique_ptr<drop_counts> first_drops;
  bool star = false;
  std::size_t star_n = 0;
  // The layout of the residue lines: even while every line holds `width`
  // residues (a last one fewer) and nothing else, with one kind of line
  // end.
  bool even = true;
  std::size_t line_start = 0;  // residues before the current line
  std::size_t width = 0;       // of the first line; 0 until it ends
  unsigned line_end = 0;       // 1 for "\n", 2 for "\r\n"; 0 until seen
  bool tail = false;           // a shorter line was seen: no residues after
  bool cr = false;             // a '\r' waits for its '\n'
  std::size_t cr_n = 0;

  // A line ended at residue n, by "\n" after cr or not.
  void end_line(std::size_t n) {
    const unsigned here = cr && cr_n == n ? 2 : 1;
    if (cr && cr_n != n) even = false;  // a lone '\r' inside the line
    cr = false;
    if (line_end == 0) line_end = here;
    if (here != line_end) even = false;
    const std::size_t len = n - line_start;
    if (len == 0) {
      if (n == 0) even = false;  // blank lines before the residues
      tail = true;
    } else if (tail || (width != 0 && len > width)) {
      even = false;
    } else if (width == 0) {
      width = len;
    } else if (len < width) {
      tail = true;
    }
    line_start = n;
  }
};

// Filters the residues of [*p, e) into out until a '>' (left unread) or e.
// out has room for the block's bytes plus 16. Sets *p to where it stopped.
void filter_residues(const unsigned char** p, const unsigned char* e, char* out,
                     const fasta_rules& rules, residue_state* st,
                     drop_counts* drops) {
  const unsigned char* q = *p;
  std::size_t n = st->n;
  // A copy of the kernel the compiler keeps in registers: stores through
  // out cannot reach it.
  const filter16 fast = rules.fast;
  while (q < e) {
    // Sixteen bytes at a time while all are kept; the store may run past
    // the kept bytes, into room the caller made.
    while (e - q >= 16 && n + 16 <= st->limit) {
      const unsigned mask = fast(q, reinterpret_cast<unsigned char*>(out) + n);
      if (mask == 0xFFFF) {
        q += 16;
        n += 16;
        continue;
      }
      const unsigned k = static_cast<unsigned>(__builtin_ctz(~mask));
      q += k;
      n += k;
      break;
    }
    if (q == e) break;
    // One byte the fast path did not take: a line end, a '>', a character
    // to drop, or any byte near the end of the block or the limit.
    const unsigned char c = *q;
    if (c == '>') break;  // '>' ends the record even in mid-line
    const unsigned char v = rules.table[c];
    if (v != 0) {
      if (n == st->limit) {
        st->too_long = true;
        break;
      }
      out[n++] = static_cast<char>(v);
    } else {
      if (c == '\n') {
        st->end_line(n);
      } else if (c == '\r') {
        if (st->cr) st->even = false;
        st->cr = true;
        st->cr_n = n;
      } else {
        st->even = false;  // a character the residues leave out
      }
      if (!silent_drop(c)) {
        if (st->pir && !st->first_line_done)
          ++(*st->first_drops)[c];
        else if (drops != nullptr)
          ++(*drops)[c];
      }
      if (st->pir) {
        if ((c == '\n' || c == '\r') && !st->first_line_done) {
          st->first_line_done = true;
          st->first_n = n;
          // The description does not count towards the limit.
          st->limit += n;
        }
        // The terminator ends the residue lines, after the description.
        if (c == '*' && st->first_line_done) {
          st->star = true;
          st->star_n = n;
        } else if (!is_blank(c)) {
          st->star = false;
        }
      }
    }
    ++q;
  }
  *p = q;
  st->n = n;
}

// Reads the rest of the header line into *comment and takes its line end.
// A long header is taken in pieces and put together once at its full
// length, piece by piece: a string grown as it is read would hold two
// copies of it at once, each time it doubles.
void read_header(byte_stream* fp, std::string* comment) {
  constexpr std::size_t kPiece = std::size_t{1} << 20;
  int stop = fp->get_until(kLineEnd, comment, kPiece);
  if (stop == byte_stream::kFull) {
    std::vector<std::string> pieces;
    pieces.push_back(std::move(*comment));
    while (stop == byte_stream::kFull) {
      pieces.emplace_back();
      stop = fp->get_until(kLineEnd, &pieces.back(), kPiece);
    }
    std::size_t total = 0;
    for (const std::string& p : pieces) total += p.size();
    std::string whole;
    whole.reserve(total);  // not touched until written: each piece goes
    for (std::string& p : pieces) {
      whole += p;
      std::string().swap(p);
    }
    *comment = std::move(whole);
  }
  if (stop != byte_stream::kEnd) fp->take_line_end();
}

// A sink over a string, for read_fasta_seq.
class string_sink : public residue_sink {
 public:
  explicit string_sink(std::string* s) : s_(s) {}
  char* reserve(std::size_t n) override {
    if (s_->size() < n) s_->resize(std::max(n, s_->size() * 2));
    return s_->data();
  }

 private:
  std::string* s_;
};

}  // namespace

residue_rule fasta_rule(int flag, char gap_mark) {
  using lower = residue_rule::lower_case;
  residue_rule r;
  r.gap_mark = gap_mark;
  switch (flag) {
    case 0:
      break;
    case 2:
      r.lower = lower::keep;
      r.kept = "-.";
      break;
    case FOLD_CASE:
      r.lower = lower::fold;
      r.gaps = "._~?";
      break;
    default:
      r.lower = lower::fold;
      r.kept = "";
  }
  return r;
}

fasta_rules::fasta_rules(int flag, char gap_mark, std::size_t max)
    : fasta_rules(fasta_rule(flag, gap_mark), max) {}

fasta_rules::fasta_rules(const residue_rule& rule, std::size_t max)
    : max_residues(max),
      table(make_filter_table(rule)),
      fast(rule),
      line(rule) {}

bool has_pir_code(std::string_view comment) {
  static const char* const kCodes[] = {"P1;", "F1;", "DL;", "DC;", "RL;",
                                       "RC;", "N3;", "N1;", "XX;"};
  for (const char* code : kCodes)
    if (comment.substr(0, 3) == code) return true;
  return false;
}

bool read_fasta_record(byte_stream* fp, const fasta_rules& rules,
                       std::string* comment, residue_sink* out,
                       fasta_record_info* info, drop_counts* drops) {
  if (!fp->fill()) return false;
  const char first = *fp->begin();
  fp->skip(1);
  if (first != '>') throw fatal_error("Error: no header in fasta file");

  comment->clear();
  read_header(fp, comment);
  info->start = fp->offset();
  residue_state st;
  st.limit = rules.max_residues;
  st.pir = has_pir_code(*comment);
  if (st.pir) st.first_drops = std::make_unique<drop_counts>();

  while (fp->fill()) {
    const auto* b = reinterpret_cast<const unsigned char*>(fp->begin());
    const auto* e = reinterpret_cast<const unsigned char*>(fp->end());
    // Room for every byte of the block, and for the fast path's overrun.
    char* dst = out->reserve(st.n + static_cast<std::size_t>(e - b) + 16);
    const unsigned char* q = b;
    filter_residues(&q, e, dst, rules, &st, drops);
    fp->skip(static_cast<std::size_t>(q - b));
    if (st.too_long) break;
    if (q != e) break;  // stopped at the next record's '>'
  }

  std::size_t n = st.n;
  // A rule that keeps '*' keeps the terminator too, as the last residue.
  const bool kept_star = rules.table['*'] != 0;
  char* dst = kept_star ? out->reserve(n + 16) : nullptr;
  const bool ends_in_star = kept_star ? n > st.first_n && dst[n - 1] == '*'
                                      : st.star && st.star_n == n;
  info->pir = st.pir && ends_in_star && !st.too_long && st.first_line_done;
  if (info->pir) {
    // The first line was the description; the '*' ended the residues.
    dst = out->reserve(n + 16);
    if (kept_star) --n;
    std::memmove(dst, dst + st.first_n, n - st.first_n);
    n -= st.first_n;
    if (drops != nullptr && !kept_star) --(*drops)['*'];
  } else if (st.pir && drops != nullptr) {
    for (int c = 0; c < 256; ++c) (*drops)[c] += (*st.first_drops)[c];
  }
  info->residues = n;
  info->too_long = st.too_long || n > rules.max_residues;
  // The last line, if no line end closed it.
  const std::size_t last = n - st.line_start;
  if (last > 0 && (st.tail || (st.width != 0 && last > st.width)))
    st.even = false;
  if (st.cr && st.cr_n != n) st.even = false;
  info->even = st.even && !st.pir && !info->too_long;
  info->width = st.width != 0 ? st.width : last;
  info->line_end = st.line_end != 0 ? st.line_end : 1;
  return true;
}

int read_fasta_seq(byte_stream* fp, std::unique_ptr<fasta_seq>* seq, int flag) {
  auto rec = std::make_unique<fasta_seq>();
  string_sink sink(&rec->seq);
  const fasta_rules rules(flag);
  fasta_record_info info;
  if (!read_fasta_record(fp, rules, &rec->comment, &sink, &info)) return -1;
  if (info.too_long) throw fatal_error("ERROR: sequence too long.");
  rec->seq.resize(info.residues);
  *seq = std::move(rec);
  return 1;
}

void free_fasta_seq(std::unique_ptr<fasta_seq>* seq) { seq->reset(); }

void print_fasta_seq(std::FILE* fp, const fasta_seq& seq) {
  std::fputc('>', fp);
  std::fwrite(seq.comment.data(), 1, seq.comment.size(), fp);
  std::fprintf(fp, " sequence length = %d\n", seq.seqlen());
  const std::size_t len = seq.seq.size();
  for (std::size_t i = 0; i < len; i += 61) {
    std::fwrite(seq.seq.data() + i, 1, std::min<std::size_t>(61, len - i), fp);
    std::fputc('\n', fp);
  }
}
