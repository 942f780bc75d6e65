// The supermatrix: its rows made on demand from the genes' kept columns, so
// that every output format's writer streams it as it streams a large file
// read in place; its partitions and its taxa table.
#include "output/supermatrix.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "base/error.h"
#include "base/text.h"
#include "core/rows.h"

namespace {

// Runs of kept columns: [begin, end) each.
std::vector<std::pair<std::size_t, std::size_t>> runs_of(
    const std::vector<unsigned char>& kept, std::size_t n) {
  std::vector<std::pair<std::size_t, std::size_t>> runs;
  for (std::size_t j = 0; j < n;) {
    while (j < n && kept[j] == 0) ++j;
    const std::size_t b = j;
    while (j < n && kept[j] != 0) ++j;
    if (j > b) runs.emplace_back(b, j);
  }
  return runs;
}

// A row's gaps, N, and characters other than gaps, A, C, G, T and N.
struct row_counts {
  std::size_t gaps = 0, ns = 0, odd = 0;
};

// Counted in bytes, 255 characters at a time, as sums of comparisons, which
// the compiler turns into vector instructions.
row_counts count_row(const unsigned char* p, std::size_t n) {
  row_counts c;
  for (std::size_t at = 0; at < n; at += 255) {
    const std::size_t m = std::min<std::size_t>(255, n - at);
    const unsigned char* q = p + at;
    unsigned char gaps = 0, ns = 0, plain = 0;
    for (std::size_t j = 0; j < m; ++j) {
      const unsigned char x = q[j];
      gaps += x == UNALIGNED;
      ns += x == 'N';
      plain += (x == 'A') + (x == 'C') + (x == 'G') + (x == 'T');
    }
    c.gaps += gaps;
    c.ns += ns;
    c.odd += m - gaps - ns - plain;
  }
  return c;
}

}  // namespace

join_gene make_join_gene(std::string name, std::vector<std::string> taxa,
                         const alignment& aln, const selection& kept,
                         bool codons) {
  join_gene g;
  g.name = std::move(name);
  g.taxa = std::move(taxa);
  g.codons = codons;
  g.width = static_cast<std::size_t>(kept.n_gt_target);
  const auto runs = runs_of(kept.is_selected, aln.lseq);
  // Runs of a few columns each cost more as copies than column by column.
  const bool short_runs = runs.size() * 16 > g.width;
  // Left uninitialised: every byte is copied into.
  g.cells.reset(new char[aln.nseq() * g.width]);
  std::vector<char> row(aln.in_memory() ? 0 : aln.lseq);
  // Each row's gaps and N, counted while the row is at hand (missing data
  // as the summary counts it is gaps, and N in nucleotides; 'X' is a gap
  // already), and the letters other than A, C, G, T and N: with none, the
  // gene is DNA (or has no letter) without a look at each letter's kind.
  std::vector<std::uint32_t> ns(aln.nseq());
  g.missing.resize(aln.nseq());
  std::size_t odd = 0;
  for (std::size_t i = 0; i < aln.nseq(); ++i) {
    const char* r = aln.segment(i, 0, aln.lseq, row.data());
    char* const first = g.cells.get() + i * g.width;
    if (short_runs) {
      // Column by column, without a branch: each column is written, and
      // the next one goes over it unless it was kept.
      std::size_t k = 0;
      for (std::size_t j = 0; j < aln.lseq && k < g.width; ++j) {
        first[k] = r[j];
        k += kept.is_selected[j] != 0;
      }
    } else {
      char* out = first;
      for (const auto& [b, e] : runs) {
        std::memcpy(out, r + b, e - b);
        out += e - b;
      }
    }
    const row_counts c =
        count_row(reinterpret_cast<const unsigned char*>(first), g.width);
    g.missing[i] = static_cast<std::uint32_t>(c.gaps);
    ns[i] = static_cast<std::uint32_t>(c.ns);
    odd += c.odd;
  }
  std::size_t letters = 0;
  for (std::size_t i = 0; i < aln.nseq(); ++i)
    letters += g.width - g.missing[i];
  if (odd == 0) {
    g.kind = letters == 0 ? alphabet::protein : alphabet::dna;
  } else {
    // The rule of alphabet_tally, row by row until it is settled.
    alphabet_tally tally;
    for (std::size_t i = 0; i < aln.nseq() && !tally.settled(); ++i)
      tally.add({g.cells.get() + i * g.width, g.width});
    g.kind = tally.guess();
  }
  // As written_alphabet names it: kept columns of a nucleotide alignment
  // that look like protein (none kept, or many ambiguity codes) are
  // nucleotides. A protein alignment settles in its first row.
  if (g.kind == alphabet::protein)
    g.kind = guess_alphabet(aln, std::vector<unsigned char>(aln.lseq, 1));
  if (g.kind != alphabet::protein)
    for (std::size_t i = 0; i < aln.nseq(); ++i) g.missing[i] += ns[i];
  return g;
}

std::string partition_word(const std::string& text) {
  std::string word = text.empty() ? "_" : text;
  for (char& c : word) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || c == '_' || c == '.';
    if (!plain) c = '_';
  }
  return word;
}

// The rows of the supermatrix as a writer reads rows of a file: each made
// when it is asked for, from the genes.
class supermatrix::rows : public row_source {
 public:
  explicit rows(const supermatrix& m) : m_(m) {}

  const char* read(std::size_t i, std::size_t c0, std::size_t c1,
                   char* buf) const override {
    return m_.segment(i, c0, c1, buf);
  }

  // The writers read rows only; the core never masks these, and they never
  // change.
  void mask_codons(
      const std::vector<std::pair<std::size_t, std::size_t>>&) override {}
  void check_unchanged() const override {}

 private:
  const supermatrix& m_;
};

supermatrix::supermatrix(std::vector<join_gene> genes, char missing)
    : genes_(std::move(genes)), missing_(missing) {
  std::unordered_map<std::string, std::uint32_t> index;
  rows_of_.resize(genes_.size());
  starts_.reserve(genes_.size() + 1);
  for (std::size_t k = 0; k < genes_.size(); ++k) {
    const join_gene& g = genes_[k];
    starts_.push_back(columns_);
    columns_ += g.width;
    auto& by_taxon = rows_of_[k];
    by_taxon.reserve(g.taxa.size());
    for (std::size_t i = 0; i < g.taxa.size(); ++i) {
      const auto [it, fresh] =
          index.emplace(g.taxa[i], static_cast<std::uint32_t>(taxa_.size()));
      if (fresh) taxa_.push_back(g.taxa[i]);
      by_taxon.emplace_back(it->second, static_cast<std::uint32_t>(i));
    }
    std::sort(by_taxon.begin(), by_taxon.end());
  }
  starts_.push_back(columns_);
}

supermatrix::~supermatrix() = default;

const char* supermatrix::segment(std::size_t t, std::size_t c0, std::size_t c1,
                                 char* buf) const {
  const auto taxon = static_cast<std::uint32_t>(t);
  const char fill = missing_ == '-' ? static_cast<char>(UNALIGNED) : missing_;
  // The gene that holds column c0, then the ones after it.
  std::size_t k = static_cast<std::size_t>(
      std::upper_bound(starts_.begin(), starts_.end() - 1, c0) -
      starts_.begin() - 1);
  char* out = buf;
  for (std::size_t c = c0; c < c1; ++k) {
    const std::size_t from = c - starts_[k],
                      n = std::min(c1, starts_[k + 1]) - c;
    const auto& by_taxon = rows_of_[k];
    const auto at = std::lower_bound(by_taxon.begin(), by_taxon.end(),
                                     std::pair{taxon, std::uint32_t{0}});
    if (at != by_taxon.end() && at->first == taxon) {
      const join_gene& g = genes_[k];
      std::memcpy(out, g.cells.get() + at->second * g.width + from, n);
    } else {
      std::memset(out, fill, n);
    }
    out += n;
    c += n;
  }
  return buf;
}

bool supermatrix::mixed() const {
  bool dna = false, protein = false;
  for (const join_gene& g : genes_)
    (g.kind == alphabet::protein ? protein : dna) = true;
  return dna && protein;
}

void supermatrix::write(output_buffer& out, out_format f,
                        thread_pool& pool) const {
  alignment aln;
  aln.names = taxa_;
  aln.lseq = columns_;
  aln.source = std::make_shared<rows>(*this);
  selection all;
  all.is_selected.assign(columns_, 1);
  all.n_gt_target = static_cast<int>(columns_);
  write_alignment(out, aln, taxa_, all, f, 1, pool);
}

void supermatrix::write_partitions(output_buffer& out, partition_style style,
                                   partition_split split) const {
  // Each partition: its name and its columns, "1-300" or "1-300\3".
  std::vector<std::pair<std::string, std::string>> parts;
  std::vector<const char*> types;
  for (std::size_t k = 0; k < genes_.size(); ++k) {
    const join_gene& g = genes_[k];
    const std::size_t first = starts_[k] + 1, last = starts_[k + 1];
    const char* type = g.kind == alphabet::protein ? kProteinModel : "DNA";
    if (split == partition_split::codon && g.codons && g.width % 3 == 0) {
      for (std::size_t pos = 0; pos < 3; ++pos) {
        parts.emplace_back(
            g.name + "_pos" + std::to_string(pos + 1),
            std::to_string(first + pos) + "-" + std::to_string(last) + "\\3");
        types.push_back(type);
      }
    } else {
      parts.emplace_back(g.name,
                         std::to_string(first) + "-" + std::to_string(last));
      types.push_back(type);
    }
  }
  if (style == partition_style::raxml) {
    for (std::size_t k = 0; k < parts.size(); ++k)
      out.write(std::string(types[k]) + ", " + parts[k].first + " = " +
                parts[k].second + "\n");
    return;
  }
  std::string charsets;
  for (const auto& [name, cols] : parts)
    charsets += "  charset " + name + " = " + cols + ";\n";
  out.write(
      "#NEXUS\n"
      "[The partitions of a supermatrix that colsieve joined: IQ-TREE reads\n"
      " the sets block (-p), MrBayes the mrbayes block (execute this file\n"
      " after the matrix).]\n\n"
      "begin sets;\n" +
      charsets + "end;\n\nbegin mrbayes;\n" + charsets +
      "  partition colsieve = " + std::to_string(parts.size()) + ":");
  // The names, a few a line.
  std::size_t line = 80;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const std::string& name = parts[k].first;
    if (line + name.size() + 2 > 76) {
      out.write(std::string(k == 0 ? "\n    " : ",\n    "));
      line = 4;
    } else {
      out.write(std::string(", "));
      line += 2;
    }
    out.write(name);
    line += name.size();
  }
  out.write(std::string(";\n  set partition = colsieve;\nend;\n"));
}

void supermatrix::write_taxa_table(output_buffer& out) const {
  std::vector<std::size_t> genes(taxa_.size(), 0), cols(taxa_.size(), 0),
      missing(taxa_.size(), 0);
  for (std::size_t k = 0; k < genes_.size(); ++k)
    for (const auto& [taxon, row] : rows_of_[k]) {
      ++genes[taxon];
      cols[taxon] += genes_[k].width;
      missing[taxon] += genes_[k].missing[row];
    }
  out.write(std::string("taxon\tgenes\tcolumns\tmissing_percent\n"));
  for (std::size_t t = 0; t < taxa_.size(); ++t) {
    const std::size_t absent = missing[t] + (columns_ - cols[t]);
    const double pct = columns_ == 0 ? 0.0
                                     : 100.0 * static_cast<double>(absent) /
                                           static_cast<double>(columns_);
    out.write(table_cell(taxa_[t]) + "\t" + std::to_string(genes[t]) + "\t" +
              std::to_string(cols[t]) + "\t" + fixed_decimals(pct) + "\n");
  }
}
