// The run's part in joining its trimmed alignments (--concat): what each
// input's run keeps for the join, and the whole run's join and its
// outputs (the supermatrix, --partitions, --taxa-table).
#ifndef COLSIEVE_RUN_JOIN_H
#define COLSIEVE_RUN_JOIN_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "core/parallel.h"
#include "output/side_files.h"
#include "output/supermatrix.h"
#include "run/pipeline.h"
#include "run/settings.h"

// True when the run joins its alignments.
inline bool joins(const run_settings& set) {
  return set.outputs.concat.has_value();
}

// The name of an input's gene in the partitions: --partition-name (default
// {stem}) filled in for it, as a plain word.
std::string gene_name(const run_settings& set, const std::string& input);

// What the join keeps of an input's run, taken after trimming and before
// its outputs are written, so that a record without a taxon fails the
// input. nullopt, with a warning, when --min-taxa leaves the gene out or
// it kept no column. Throws fatal_error as taxa_of does.
std::optional<join_gene> gene_for_join(const run_settings& set,
                                       const std::string& input,
                                       const loaded& l, const trimmed& r,
                                       const warn_fn& warn);

// The supermatrix of the genes, in their order. Warns when it joins
// nucleotides and protein, and when no taxon is in two genes. Throws
// fatal_error when there is no gene to join, and when it would have more
// columns than --max-columns allows.
std::unique_ptr<supermatrix> join_genes(const run_settings& set,
                                        std::vector<join_gene> genes,
                                        const warn_fn& warn);

// Sets the writers of the join's outputs that set names (the supermatrix,
// its partitions, its taxa table) in contents, writing through pool; m
// must outlive them.
void join_contents(const run_settings& set, const supermatrix& m,
                   output_contents& contents, thread_pool& pool);

#endif  // COLSIEVE_RUN_JOIN_H
