#include "run/settings.h"

#include "base/error.h"
#include "core/genetic_code.h"
#include "run/naming.h"
#include "run/setting_values.h"

namespace {

std::string named(const char* name) { return name; }

// The join's settings, which only the command line has, named by their
// options.
void check_join_settings(const run_settings& set) {
  const std::pair<bool, const char*> company[] = {
      {set.outputs.partitions.has_value(), "--partitions"},
      {set.outputs.taxa_table.has_value(), "--taxa-table"},
      {set.taxa.has_value(),
       set.taxa && set.taxa->how == taxon_rule::kind::regex ? "--taxon-regex"
                                                            : "--taxon-field"},
      {set.missing_char.has_value(), "--missing-char"},
      {set.min_taxa.has_value(), "--min-taxa"},
      {set.partitions_format.has_value(), "--partitions-format"},
      {set.partition_by.has_value(), "--partition-by"},
      {set.partition_name.has_value(), "--partition-name"}};
  for (const auto& [given, option] : company)
    if (given && !set.outputs.concat)
      throw fatal_error(std::string("Error: ") + option +
                        " goes with --concat, the supermatrix of the "
                        "trimmed alignments");
  for (const auto& [given, option] :
       {std::pair{set.partitions_format.has_value(), "--partitions-format"},
        {set.partition_by.has_value(), "--partition-by"},
        {set.partition_name.has_value(), "--partition-name"}})
    if (given && !set.outputs.partitions)
      throw fatal_error(std::string("Error: ") + option +
                        " goes with --partitions, the file of partitions it "
                        "shapes");
  if (set.partition_by == partition_split::codon && !set.codon && !set.cds)
    throw fatal_error(
        "Error: --partition-by codon needs --codon or --cds: the codon "
        "positions are counted from each alignment's first column, which "
        "they make the first of a codon");
  if (set.partition_name && set.out_dir &&
      !names_each_input(*set.partition_name))
    throw fatal_error(
        "Error: with --out-dir, --partition-name takes a name template with "
        "{stem} in it, one name for each input (for example "
        "--partition-name {stem})");
}

}  // namespace

void check_settings(const run_settings& set, const setting_names& names) {
  if (set.cds && (set.codon || set.mask_stops != stop_mask::none))
    throw fatal_error("Error: " + named(names.codon) + " and " +
                      names.mask_stops + " do not go with " + names.cds +
                      ": the protein's columns make whole codons, and its "
                      "letters mark the stops");
  if (set.genetic_code != 0 && !set.cds)
    throw fatal_error("Error: " + named(names.genetic_code) + " goes with " +
                      names.cds + ", whose codons it checks");
  if (set.genetic_code != 0 && genetic_code::find(set.genetic_code) == nullptr)
    throw unknown_genetic_code(names.genetic_code,
                               std::to_string(set.genetic_code));
  if (set.out_dir && set.cds && !names_each_input(*set.cds))
    throw fatal_error("Error: with --out-dir, " + named(names.cds) +
                      " takes a name template with {stem} in it, one file "
                      "for each input (for example " +
                      names.cds + " cds/{stem}.fna)");
  if (set.out_dir && set.outputs.alignment)
    throw fatal_error(
        "Error: -o does not go with --out-dir, which writes each alignment "
        "into its folder, named by --out-name: leave out -o (or leave out "
        "--out-dir to write one alignment to -o's file)");
  if (set.out_name && !set.out_dir)
    throw fatal_error(
        "Error: --out-name goes with --out-dir, whose outputs it names; to "
        "name the one output, give -o FILE");
  check_join_settings(set);
  if (set.mask_stops != stop_mask::none && !set.codon)
    throw fatal_error("Error: " + named(names.mask_stops) + " needs " +
                      names.codon +
                      ": stop codons are found in the reading frame that " +
                      names.codon + " sets");
}

input_options input_options_of(const run_settings& set) {
  input_options opts;
  opts.fold_case = set.fold_case != 0;
  opts.max_columns = set.max_columns;
  opts.stream = set.streaming;
  opts.keep_letters = set.cds.has_value();
  return opts;
}

trim_options trim_options_of(const run_settings& set) {
  trim_options opts;
  opts.target_wt = set.target_wt;
  opts.cst = set.cst;
  opts.maxcst = set.maxcst;
  opts.henikoff = set.henikoff != 0;
  opts.codon = set.codon;
  opts.stops = set.mask_stops;
  opts.ends_only = set.ends_only;
  return opts;
}
