// Helpers shared by the unit tests and the fuzz targets.
#ifndef COLSIEVE_TESTS_TEST_SUPPORT_H
#define COLSIEVE_TESTS_TEST_SUPPORT_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/byte_stream.h"
#include "core/alignment.h"
#include "core/parallel.h"
#include "input/fasta_seq.h"
#include "input/read_input.h"

// Input from memory, as a file or a pipe would hand it out: in pieces of
// the given sizes, used in turn (one byte a read with {1}); by default
// whole. The one stand-in for input in the tests and the fuzzers.
class string_source : public byte_source {
 public:
  explicit string_source(std::string text, std::vector<std::size_t> pieces = {})
      : text_(std::move(text)), pieces_(std::move(pieces)) {}
  // Pieces of 1 to `most` bytes, drawn from seed: random short reads.
  static std::vector<std::size_t> random_pieces(unsigned seed,
                                                std::size_t most) {
    std::mt19937 gen(seed);
    std::vector<std::size_t> p(97);
    for (std::size_t& n : p) n = 1 + gen() % most;
    return p;
  }
  bool next(const char** data, std::size_t* size) override {
    if (at_ == text_.size()) return false;
    std::size_t n = text_.size() - at_;
    if (!pieces_.empty()) n = std::min(n, pieces_[turn_++ % pieces_.size()]);
    // A copy of its own, so that a reader that keeps a pointer past the
    // next call reads freed memory under the sanitizers.
    piece_.assign(text_, at_, n);
    at_ += n;
    *data = piece_.data();
    *size = n;
    return true;
  }

 private:
  std::string text_, piece_;
  std::vector<std::size_t> pieces_;
  std::size_t at_ = 0, turn_ = 0;
};

// Everything written so far to fp, a file opened with std::tmpfile(), which
// is then closed.
inline std::string written_text(std::FILE* fp) {
  std::fflush(fp);
  std::string text(static_cast<std::size_t>(std::ftell(fp)), '\0');
  std::rewind(fp);
  text.resize(std::fread(text.data(), 1, text.size(), fp));
  std::fclose(fp);
  return text;
}

// The record reader's rules, written as plainly as possible for comparison
// with the real reader. Returns false where the reader must refuse the
// input: no header, or a record over MAX_SEQLEN residues.
inline bool model_read(const std::string& text, int flag,
                       std::vector<fasta_seq>* out) {
  const auto kept = [flag](unsigned char c) {
    if (c >= 'A' && c <= 'Z') return true;
    if (flag == 0) return c == '-';
    if (flag == 2) return c == '-' || c == '.' || (c >= 'a' && c <= 'z');
    return c >= 'a' && c <= 'z';
  };
  const auto stored = [flag](unsigned char c) {
    const bool upper = flag != 0 && flag != 2 && c >= 'a';
    return static_cast<char>(upper ? c - 'a' + 'A' : c);
  };
  const auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' ||
           c == '\f';
  };
  if (!text.empty() && text[0] != '>') return false;
  std::size_t i = 0;
  while (i < text.size()) {
    fasta_seq rec;
    // The header ends at the first line end, "\n" or "\r".
    std::size_t nl = text.find_first_of("\n\r", ++i);
    if (nl == std::string::npos) nl = text.size();
    rec.comment = text.substr(i, nl - i);
    // "\r\n" is one line end.
    const std::size_t body =
        nl + 1 < text.size() && text[nl] == '\r' && text[nl + 1] == '\n'
            ? nl + 1
            : nl;
    for (i = nl; i < text.size() && text[i] != '>'; ++i) {
    }
    // PIR: a type code and ';' in the header, and a '*' after the first
    // line as the last character that is not blank. The first line is
    // then a description.
    std::string first, rest;
    const std::size_t first_end = text.find_first_of("\n\r", body + 1);
    bool pir = false;
    const std::string code = rec.comment.substr(0, 3);
    for (const char* c :
         {"P1;", "F1;", "DL;", "DC;", "RL;", "RC;", "N3;", "N1;", "XX;"})
      pir = pir || code == c;
    std::size_t last = i;
    while (last > body && blank(text[last - 1])) --last;
    pir = pir && first_end != std::string::npos && first_end < i &&
          last > first_end + 1 && text[last - 1] == '*';
    const std::size_t split = pir ? first_end : i;
    for (std::size_t k = body; k < i; ++k) {
      const auto c = static_cast<unsigned char>(text[k]);
      if (kept(c)) (k < split ? first : rest) += stored(c);
    }
    if (pir) {
      if (first.size() > MAX_SEQLEN || rest.size() > MAX_SEQLEN) return false;
      rec.seq = rest;
    } else {
      if (first.size() > MAX_SEQLEN) return false;
      rec.seq = first;
    }
    out->push_back(rec);
  }
  return true;
}

// Row i of aln whole, gaps marked, from the table or read again from its
// file.
inline std::string row_text(const alignment& aln, std::size_t i) {
  std::string row(aln.lseq, '\0');
  const char* got = aln.segment(i, 0, aln.lseq, row.data());
  if (got != row.data()) row.assign(got, aln.lseq);
  return row;
}

// The rows of a table (or of a file read again) as text, gaps shown as '-'.
inline std::vector<std::string> rows_of(const alignment& aln) {
  std::vector<std::string> rows;
  for (std::size_t i = 0; i < aln.nseq(); ++i) {
    std::string r = row_text(aln, i);
    for (char& c : r)
      if (c == UNALIGNED) c = '-';
    rows.push_back(r);
  }
  return rows;
}

// What read_alignment makes of text handed out in the given pieces, and
// the warnings it gave.
struct read_outcome {
  alignment aln;
  std::vector<std::string> warnings;
};
inline read_outcome read_text(const std::string& text,
                              const input_options& opts = {},
                              std::vector<std::size_t> pieces = {}) {
  read_outcome out;
  thread_pool pool(1);
  out.aln = read_alignment(
      std::make_unique<string_source>(text, std::move(pieces)), "in", opts,
      pool, [&](const std::string& w) { out.warnings.push_back(w); });
  return out;
}

// An alignment from gap-marked residue strings ('[' is a gap).
inline alignment make_table(const std::vector<std::string>& rows) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < rows.size(); ++i)
    names.push_back(std::to_string(i));
  return make_alignment(names, rows);
}

// Random alignment with uneven gap density, so that sums are inexact.
inline alignment random_alignment(std::size_t nseq, std::size_t lseq,
                                  unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::string> rows(nseq, std::string(lseq, 'A'));
  for (std::size_t j = 0; j < lseq; ++j) {
    const int classes = 1 + gen() % 8;
    const unsigned gap_percent = gen() % 100;
    for (std::size_t i = 0; i < nseq; ++i)
      rows[i][j] = gen() % 100 < gap_percent
                       ? UNALIGNED
                       : static_cast<char>('A' + gen() % classes);
  }
  return make_table(rows);
}

// Sequence weights by the plain column-by-column method, written
// independently of the tiled, row-major code in core/weights: the one model
// the unit tests and the fuzzers check it against, bit for bit.
struct reference_weights {
  std::vector<double> wt;
  double cons = 0, cst = 0, total_wt = 0;
};

inline reference_weights reference_weigh(const alignment& aln, double cst,
                                         double maxcst) {
  reference_weights r;
  const std::size_t nseq = aln.nseq(), lseq = aln.lseq;
  r.wt.assign(nseq, 0.0);
  int lalign = 0;
  for (std::size_t j = 0; j < lseq; ++j) {
    int count[27] = {};
    for (std::size_t i = 0; i < nseq; ++i) ++count[aln.row(i)[j] - 'A'];
    int total = 0, high = 0, nalignedseq = 0;
    for (int c : count) total += c > 0;
    for (std::size_t i = 0; i < nseq; ++i) {
      r.wt[i] += (1.0 / total) / count[aln.row(i)[j] - 'A'];
      ++nalignedseq;
    }
    for (int c : count) high = std::max(high, c);
    if (nalignedseq > 0) {
      r.cons += static_cast<double>(high) / nalignedseq;
      ++lalign;
    }
  }
  r.cons /= lalign;
  if (cst <= 0) {
    cst = std::pow(static_cast<double>(nseq), 1.0 - r.cons);
    if (cst > maxcst) cst = maxcst;
  }
  r.cst = cst;
  for (double w : r.wt) r.total_wt += w;
  return r;
}

// Column scores by the same plain method: (scale * sum) / total_wt, sum
// adding the weights of the rows with a residue in the column, in order.
inline std::vector<double> reference_scores(const alignment& aln,
                                            const std::vector<double>& wt,
                                            double scale, double total_wt) {
  std::vector<double> score;
  for (std::size_t j = 0; j < aln.lseq; ++j) {
    double sum = 0;
    for (std::size_t i = 0; i < aln.nseq(); ++i)
      if (aln.row(i)[j] != UNALIGNED) sum += wt[i];
    score.push_back((scale * sum) / total_wt);
  }
  return score;
}

#endif  // COLSIEVE_TESTS_TEST_SUPPORT_H
