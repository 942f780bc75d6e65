#include "run/join.h"

#include <utility>

#include "output/buffer.h"
#include "output/formats.h"
#include "run/naming.h"
#include "run/taxa.h"

std::string gene_name(const run_settings& set, const std::string& input) {
  return partition_word(
      expand_template(set.partition_name.value_or("{stem}"), input,
                      out_format_row_of(set.format).extension));
}

std::optional<join_gene> gene_for_join(const run_settings& set,
                                       const std::string& input,
                                       const loaded& l, const trimmed& r,
                                       const warn_fn& warn) {
  const alignment& aln = written_alignment(l, r);
  const std::string name = gene_name(set, input);
  const std::size_t least = set.min_taxa.value_or(0);
  if (aln.nseq() < least) {
    warn("Warning: not joined: " + std::to_string(aln.nseq()) +
         (aln.nseq() == 1 ? " taxon" : " taxa") + ", fewer than --min-taxa " +
         std::to_string(least));
    return std::nullopt;
  }
  if (r.kept.n_gt_target == 0) {
    warn("Warning: not joined: no column was kept");
    return std::nullopt;
  }
  // By default the taxa are the names the gene's own output gets (any
  // warning about them is that output's).
  const taxon_rule rule = set.taxa.value_or(taxon_rule());
  std::vector<std::string> written =
      rule.how == taxon_rule::kind::name
          ? output_names(aln, set.format, set.safe_names,
                         [](const std::string&) {})
          : std::vector<std::string>();
  std::vector<std::string> taxa =
      taxa_of(aln, std::move(written), rule, set.format, set.safe_names, name);
  return make_join_gene(name, std::move(taxa), aln, r.kept,
                        set.codon || set.cds.has_value());
}

std::unique_ptr<supermatrix> join_genes(const run_settings& set,
                                        std::vector<join_gene> genes,
                                        const warn_fn& warn) {
  if (genes.empty())
    throw fatal_error("Error: no alignment to join into " +
                      *set.outputs.concat +
                      ": every input failed, kept no column or has fewer "
                      "taxa than --min-taxa");
  std::size_t records = 0;
  for (const join_gene& g : genes) records += g.taxa.size();
  const std::size_t n = genes.size();
  auto m = std::make_unique<supermatrix>(std::move(genes),
                                         set.missing_char.value_or('-'));
  // Names that carry a gene or sequence id make every record a taxon of
  // its own, and the supermatrix as large as it can get.
  if (n > 1 && m->taxa() == records)
    warn("Warning: no taxon is in more than one of the " + std::to_string(n) +
         " alignments joined: if the names carry a gene or sequence id, "
         "--taxon-field or --taxon-regex names the taxa");
  const std::size_t limit =
      set.max_columns == 0 ? MAX_WIDTH : std::min(set.max_columns, MAX_WIDTH);
  if (m->columns() > limit)
    throw fatal_error(
        "ERROR: sequence too long.\nThe supermatrix (--concat " +
        *set.outputs.concat + ") would have " + std::to_string(m->columns()) +
        " columns, more than " + std::to_string(limit) +
        (limit >= MAX_WIDTH
             ? ", the most colsieve takes."
             : ", the limit; --max-columns N sets another, --max-columns 0 "
               "lifts it."));
  if (m->mixed())
    warn(
        "Warning: the supermatrix joins nucleotide and protein alignments; "
        "each partition is typed by its own (DNA or " +
        std::string(kProteinModel) +
        "), and a format that names one type for the whole matrix (NEXUS) "
        "names protein");
  return m;
}

void join_contents(const run_settings& set, const supermatrix& m,
                   output_contents& contents, thread_pool& pool) {
  const out_format f = set.format;
  contents.concat =
      buffered([&m, f, &pool](output_buffer& out) { m.write(out, f, pool); });
  const partition_style style =
      set.partitions_format.value_or(partition_style::raxml);
  const partition_split split =
      set.partition_by.value_or(partition_split::gene);
  contents.partitions = buffered([&m, style, split](output_buffer& out) {
    m.write_partitions(out, style, split);
  });
  contents.taxa_table =
      buffered([&m](output_buffer& out) { m.write_taxa_table(out); });
}
