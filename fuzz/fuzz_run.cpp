// libFuzzer target: a whole run in memory. The first two bytes choose the
// settings and the read block; the rest is the input. Weights and scores are
// checked bit for bit against the plain column-by-column method, and the
// selection against its stopping rule.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/weights.h"
#include "output/column_map.h"
#include "output/report.h"
#include "output/writer.h"

namespace {

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void check_weights(const alignment& aln, const weighting& w, double cst,
                   double maxcst) {
  const std::size_t nseq = aln.nseq(), lseq = aln.lseq;
  std::vector<double> wt(nseq, 0.0);
  double cons = 0;
  for (std::size_t j = 0; j < lseq; ++j) {
    int count[27] = {};
    for (const auto& s : aln.seq) ++count[s->seq[j] - 'A'];
    int total = 0, high = 0;
    for (int c : count) {
      total += c > 0;
      high = c > high ? c : high;
    }
    for (std::size_t i = 0; i < nseq; ++i)
      wt[i] += (1.0 / total) / count[aln.seq[i]->seq[j] - 'A'];
    cons += static_cast<double>(high) / static_cast<double>(nseq);
  }
  cons /= static_cast<double>(lseq);
  if (cst <= 0) {
    cst = std::pow(static_cast<double>(nseq), 1.0 - cons);
    if (cst > maxcst) cst = maxcst;
  }
  for (std::size_t i = 0; i < nseq; ++i)
    if (!same(wt[i], w.wt[i])) std::abort();
  if (!same(cons, w.cons) || !same(cst, w.cst)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 3) return 0;
  const unsigned opts = data[0];
  const std::size_t block = 1 + data[1] % 64;
  static const double kTargets[] = {0.85, 0.0, 2.0, -1.7e308};
  static const double kScales[] = {1.0, 0.0, 1.7e308, 2.5};
  static const double kCaps[] = {1000000.0, 1.5, -1.0, -1e300};
  const int remove_cols = opts & 1, phylip = (opts >> 1) & 1,
            henikoff = (opts >> 2) & 1;
  const double target = kTargets[(opts >> 3) & 3];
  const double cst = kScales[(opts >> 5) & 3];
  const double maxcst = kCaps[(opts >> 6) & 3];

  std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data + 2), size - 2, "r");
  if (in == nullptr) std::abort();
  char* out_text = nullptr;
  std::size_t out_size = 0;
  std::FILE* out = open_memstream(&out_text, &out_size);
  try {
    fasta_stream fs(in, block);
    const alignment aln = load_alignment(&fs);
    const weighting w = weigh_sequences(aln, cst, maxcst);
    if (aln.nseq() * static_cast<std::size_t>(aln.lseq) <= 20000)
      check_weights(aln, w, cst, maxcst);
    const std::vector<double> score =
        column_scores(aln, w.wt, henikoff ? 1.0 : w.cst, w.total_wt);
    const selection sel = select_columns(score, target);
    // The final pass stops the loop; the one before it did not.
    const int need = aln.lseq < 40 ? aln.lseq : 40;
    if (sel.n_gt_target < need) std::abort();
    {
      output_buffer ob(out, "memory");
      trimmed_writer writer(sel.is_selected, remove_cols, phylip);
      for (const auto& rec : aln.seq) writer.write(ob, *rec);
      write_column_map(ob, score, sel);
      ob.flush();
    }
    // The side files' content: the report is bounded and every number in
    // it is finite.
    char* page = nullptr;
    std::size_t page_size = 0;
    std::FILE* page_fp = open_memstream(&page, &page_size);
    {
      output_buffer ob(page_fp, "report");
      write_report(ob, {"fuzz", aln, w.wt, score, sel, w.cst, target});
      ob.flush();
    }
    std::fclose(page_fp);
    const std::string text(page, page_size);
    std::free(page);
    if (text.size() > REPORT_MAX_BYTES) std::abort();
    for (const char* bad : {"=\"nan", "=\"-nan", "=\"inf", "=\"-inf"})
      if (text.find(bad) != std::string::npos) std::abort();
    // A destination that fills up part-way reports it, naming itself.
    char small[16];  // less than the map's header line
    std::FILE* full = fmemopen(small, sizeof small, "w");
    bool refused = false;
    try {
      output_buffer ob(full, "column map full.tsv", 16);
      write_column_map(ob, score, sel);
      ob.flush();
    } catch (const fatal_error& e) {
      refused = std::string(e.what()).find("full.tsv") != std::string::npos;
    }
    std::fclose(full);
    if (!refused) std::abort();
  } catch (const fatal_error&) {  // fasta_error included
  }
  std::fclose(out);
  std::free(out_text);
  std::fclose(in);
  return 0;
}
