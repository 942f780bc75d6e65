// colsieve: trims a multiple sequence alignment down to its well-aligned
// columns. The run has four phases, each over the same alignment table:
// loading, weighting (Henikoff & Henikoff position-based weights, a gap being
// a class of its own), column selection with a falling target, and writing.
#ifndef COLSIEVE_COLSIEVE_H
#define COLSIEVE_COLSIEVE_H

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fasta_seq.h"

// Gap marker: after loading, every '-' and 'X' of a residue string is this
// character, the one after 'Z', so that it minus 'A' is the gap class 26.
inline constexpr int UNALIGNED = 91;

// A failure that ends the run with status 1. what() is the message, without
// its line end; show_help asks for the help text after it.
struct fatal_error : std::runtime_error {
  explicit fatal_error(const std::string& message, bool help = false)
      : std::runtime_error(message), show_help(help) {}
  bool show_help;
};

// Run settings, as the options leave them.
struct run_settings {
  double target_wt = 0.85;
  double cst = 1.0;
  double maxcst = 1000000.0;
  int henikoff = 0;     // -H: every selection pass uses a scale of 1.0
  int normSeqs = 0;     // -N: accepted, no effect
  int remove_cols = 0;  // -r: leave unselected columns out
  int phylip = 0;       // -p: PHYLIP layout
  std::string in_name;  // -i as given; "-" is standard input
  std::optional<std::string> column_map;  // -l: where to write the column map
  std::optional<std::string> report;      // -w: where to write the report
};

// The alignment table: records in input order, all lseq residues long.
struct alignment {
  std::vector<std::unique_ptr<fasta_seq>> seq;
  int lseq = 0;
  std::size_t nseq() const { return seq.size(); }
};

// Reads every record of fp (filter mode 0), turns '-' and 'X' into
// UNALIGNED, and checks that all records have the same, non-zero length.
// Throws fatal_error (no records, lengths differ, no columns) or fasta_error.
alignment load_alignment(fasta_stream* fp);

// Result of the weighting phase.
struct weighting {
  std::vector<double> wt;  // one weight per sequence, in input order
  double cons = 0.0;       // mean share of a column's most common class
  double cst = 0.0;        // scale constant after the automatic rule
  double total_wt = 0.0;   // sum of wt, in order
};

// Henikoff & Henikoff weights with the gap marker as class 26. When cst is 0
// or less it becomes pow(nseq, 1 - cons), capped by maxcst.
// REQUIRES: aln comes from load_alignment.
weighting weigh_sequences(const alignment& aln, double cst, double maxcst);

// Score of every column: (cst * sum) / total_wt, where sum adds the weights
// of the sequences that have a residue there, in input order.
std::vector<double> column_scores(const alignment& aln,
                                  const std::vector<double>& wt, double cst,
                                  double total_wt);

// Most selection passes before a run is refused.
inline constexpr long MAX_PASSES = 1000000;

// Result of the selection passes.
struct selection {
  std::vector<int> is_selected;  // 1 for each column of the final pass
  int n_gt_target = 0;           // columns selected by the final pass
  double target_wt = 0.0;        // target of the final pass
  long passes = 0;
};

// Selects the columns that score above target_wt, lowering the target by
// 0.05 after each pass until at least 40 columns, or all, are selected.
// Throws fatal_error if that takes more than MAX_PASSES passes.
selection select_columns(const std::vector<double>& score, double target_wt);

// Buffered output to a C stream. Throws fatal_error, naming the output as
// `name`, when a write fails.
class output_buffer {
 public:
  explicit output_buffer(std::FILE* fp, std::string name,
                         std::size_t capacity = 1 << 20);
  output_buffer(const output_buffer&) = delete;
  output_buffer& operator=(const output_buffer&) = delete;

  void write(const char* p, std::size_t n);
  void write(const std::string& s) { write(s.data(), s.size()); }
  void put(char c) {
    if (len_ == buf_.size()) drain();
    buf_[len_++] = c;
  }
  // Room for n bytes at the end of the buffer; commit(k) then keeps the
  // first k of them (k <= n).
  char* reserve(std::size_t n);
  void commit(std::size_t k) { len_ += k; }
  // Writes out everything buffered and flushes the C stream.
  void flush();

 private:
  void drain();
  [[noreturn]] void fail() const;

  std::FILE* fp_;
  std::string name_;
  std::vector<char> buf_;
  std::size_t len_ = 0;
};

// Writes records after selection: selected columns in upper case with '-'
// for gaps; unselected ones in lower case with '.' for gaps, or left out
// when remove_cols is set. Default layout: ">name", then lines of 61
// characters; PHYLIP layout: name, a space and all characters on one line.
// Per-column tables are built once, so one writer serves a whole alignment.
class trimmed_writer {
 public:
  trimmed_writer(const std::vector<int>& is_selected, int remove_cols,
                 int phylip);
  // REQUIRES: seq.seqlen() <= is_selected.size().
  void write(output_buffer& fp, const fasta_seq& seq);

 private:
  struct run {
    std::size_t begin, end;  // columns [begin, end) written side by side
  };
  std::vector<run> runs_;
  std::vector<unsigned char> case_bit_;  // 0x20 where letters go lower case
  std::vector<unsigned char> gap_char_;  // '-' or '.'
  std::string line_;                     // the record's written characters
  int phylip_;
};

// Writes one record; see trimmed_writer.
void print_trimmed_align(output_buffer& fp, const std::vector<int>& is_selected,
                         int remove_cols, int phylip, const fasta_seq& seq);

// A file written under a temporary name beside its destination and renamed
// into place by commit(), so that a run that fails never leaves a partial
// file under the real name. An existing destination that is not a regular
// file (a pipe, a device) is written directly. Throws fatal_error, naming the
// file as `what`, when it cannot be created, written or renamed.
class staged_file {
 public:
  staged_file(std::string path, std::string what);
  ~staged_file();  // removes the temporary file unless committed
  staged_file(const staged_file&) = delete;
  staged_file& operator=(const staged_file&) = delete;

  std::FILE* get() const { return fp_; }
  void commit();

 private:
  [[noreturn]] void fail() const;

  std::string path_, what_, temp_;  // temp_ is empty when writing directly
  std::FILE* fp_ = nullptr;
};

// Writes the column map: a header row, then for each column its 1-based
// number, its score ("%f") and 1 if kept, else 0, separated by tabs.
void write_column_map(output_buffer& fp, const std::vector<double>& score,
                      const selection& sel);

// What the HTML report shows.
struct report_input {
  std::string input_name;
  const alignment& aln;
  const std::vector<double>& wt;
  const std::vector<double>& score;
  const selection& sel;
  double cst;           // the scale the scores used
  double start_target;  // the first pass's target
};

// The report shows at most this much of the alignment itself, so that the
// page stays light; the score profile always covers every column.
inline constexpr std::size_t REPORT_MAX_ROWS = 100;
inline constexpr std::size_t REPORT_MAX_COLUMNS = 2000;

// Writes the HTML report: one self-contained page (inline CSS and SVG, no
// script) with the run's figures, the score profile with the final target,
// and the alignment coloured by residue with trimmed columns dimmed.
void write_report(output_buffer& fp, const report_input& r);

// Writes the help text to fp.
void usage(std::FILE* fp);

// The whole run: options, loading, weighting, selection, writing, summary.
// Returns the exit status.
int colsieve_main(int argc, char** argv);

#endif  // COLSIEVE_COLSIEVE_H
