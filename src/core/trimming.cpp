#include "core/trimming.h"

#include <algorithm>
#include <memory>
#include <string>

namespace {

bool is_stop(const char* c) {
  const auto t = [](char x) { return x == 'U' ? 'T' : x; };
  const char a = t(c[0]), b = t(c[1]), d = t(c[2]);
  return a == 'T' &&
         ((b == 'A' && (d == 'A' || d == 'G')) || (b == 'G' && d == 'A'));
}

bool all_gaps(const char* c) {
  return c[0] == UNALIGNED && c[1] == UNALIGNED && c[2] == UNALIGNED;
}

}  // namespace

stop_counts mask_stop_codons(alignment& aln, stop_mask which) {
  stop_counts n;
  if (which == stop_mask::none) return n;
  const bool terminal = which != stop_mask::internal;
  const bool internal = which != stop_mask::terminal;
  const std::size_t codons = aln.lseq / 3;
  const std::unique_ptr<char[]> buf(new char[aln.lseq]);
  std::vector<std::pair<std::size_t, std::size_t>> masked;
  for (std::size_t i = 0; i < aln.nseq(); ++i) {
    const char* row = aln.segment(i, 0, aln.lseq, buf.get());
    std::size_t last = codons;  // the row's last codon that is not all gaps
    while (last > 0 && all_gaps(row + 3 * (last - 1))) --last;
    for (std::size_t k = 0; k < codons; ++k) {
      if (!is_stop(row + 3 * k)) continue;  // a gap is never T, A or G
      const bool is_terminal = k + 1 == last;
      if (is_terminal ? !terminal : !internal) continue;
      ++(is_terminal ? n.terminal : n.internal);
      masked.emplace_back(i, k);
      // Classes counted already: the codon's residues become gaps.
      for (std::size_t c = 3 * k; c < 3 * k + 3 && !aln.class_counts.empty();
           ++c) {
        --aln.class_counts[c * 27 + static_cast<std::size_t>(row[c] - 'A')];
        ++aln.class_counts[c * 27 + 26];
      }
    }
  }
  aln.mask_codons(masked);
  return n;
}

void keep_whole_codons(std::vector<unsigned char>& kept) {
  for (std::size_t j = 0; j + 2 < kept.size(); j += 3) {
    const unsigned char whole = kept[j] & kept[j + 1] & kept[j + 2];
    kept[j] = kept[j + 1] = kept[j + 2] = whole;
  }
}

void drop_ends_only(std::vector<unsigned char>& kept) {
  const auto first = std::find(kept.begin(), kept.end(), 1);
  if (first == kept.end()) return;  // all dropped: one run, at both ends
  const auto last = std::find(kept.rbegin(), kept.rend(), 1).base();
  std::fill(first, last, 1);
}

selection with_mask(const selection& sel, std::vector<unsigned char> mask) {
  selection s = sel;
  s.n_gt_target = static_cast<int>(std::count(mask.begin(), mask.end(), 1));
  s.is_selected = std::move(mask);
  return s;
}

selection complement_of(const selection& kept) {
  std::vector<unsigned char> mask(kept.is_selected.size());
  for (std::size_t j = 0; j < mask.size(); ++j) mask[j] = !kept.is_selected[j];
  return with_mask(kept, std::move(mask));
}

trimming trim(alignment& aln, const trim_options& opts, thread_pool& pool,
              const warn_fn& warn) {
  const std::size_t lseq = aln.lseq;
  if (opts.codon && lseq % 3 != 0)
    throw fatal_error(
        "Error: --codon needs whole codons, but the alignment "
        "has " +
        std::to_string(lseq) + " columns (" + std::to_string(lseq / 3) +
        " codons and " + std::to_string(lseq % 3) + " more).");
  trimming t;
  t.masked = mask_stop_codons(aln, opts.stops);
  t.w = weigh_sequences(aln, opts.cst, opts.maxcst, pool);
  // -H: every pass scales by 1.0, whatever -c or the automatic rule said.
  t.cst = opts.henikoff ? 1.0 : t.w.cst;
  t.score = column_scores(aln, t.w.wt, t.cst, t.w.total_wt, pool);
  t.sel = select_columns(t.score, opts.target_wt);
  t.rules = opts.codon || opts.ends_only;
  std::vector<unsigned char> mask = t.sel.is_selected;
  if (opts.codon) keep_whole_codons(mask);
  if (opts.ends_only) drop_ends_only(mask);
  t.kept = with_mask(t.sel, std::move(mask));
  // The 40-column floor is the selection's: whole codons may keep fewer.
  const std::size_t floor = std::min<std::size_t>(40, lseq);
  const auto kept = static_cast<std::size_t>(t.kept.n_gt_target);
  if (opts.codon && kept < floor && warn)
    warn("Warning: --codon keeps " + std::to_string(kept) + " of " +
         std::to_string(lseq) +
         " columns: only codons whose three columns are all selected are "
         "kept");
  return t;
}
