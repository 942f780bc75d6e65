// Taxon names for the join: which taxon each record of a gene is, by its
// whole name, by a field of it (--taxon-field SEP:N) or by the first group
// of a regular expression (--taxon-regex RE), for names that carry a gene
// or sequence id besides the taxon.
#ifndef COLSIEVE_RUN_TAXA_H
#define COLSIEVE_RUN_TAXA_H

#include <cstddef>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "core/alignment.h"
#include "output/formats.h"

struct taxon_rule {
  enum class kind { name, field, regex };
  kind how = kind::name;
  std::string given;      // the option and its argument, for messages
  std::string separator;  // field: what the name is split at
  std::size_t field = 0;  // field: which one, from 1
  std::shared_ptr<const std::regex> pattern;  // regex: group 1 is the taxon
};

// Each throws fatal_error for an argument it does not take: "SEP:N" with
// SEP not empty and N from 1; a regular expression (ECMAScript) with a
// group.
taxon_rule taxon_field_value(const std::string& text);
taxon_rule taxon_regex_value(const std::string& text);

// The taxa of aln's records, one a record. By default each is the name the
// output format writes (written, from output_names; not read otherwise);
// by a field or a regular expression, the part of the record's name text
// it finds, as format f writes a name (name_in_format). Throws fatal_error
// naming the record whose name gives no taxon, and naming the gene, the taxon
// and both records when one taxon is two records.
std::vector<std::string> taxa_of(const alignment& aln,
                                 std::vector<std::string> written,
                                 const taxon_rule& rule, out_format f,
                                 bool safe_names, const std::string& gene);

#endif  // COLSIEVE_RUN_TAXA_H
