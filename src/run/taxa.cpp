#include "run/taxa.h"

#include <unordered_map>
#include <utility>

#include "base/error.h"
#include "base/text.h"

namespace {

// The taxon the rule finds in text, or false.
bool find_taxon(const taxon_rule& rule, std::string_view text,
                std::string* taxon) {
  if (rule.how == taxon_rule::kind::field) {
    std::size_t at = 0;
    for (std::size_t k = 1; k < rule.field; ++k) {
      at = text.find(rule.separator, at);
      if (at == std::string_view::npos) return false;
      at += rule.separator.size();
    }
    const std::size_t end = text.find(rule.separator, at);
    *taxon = std::string(text.substr(
        at, end == std::string_view::npos ? std::string_view::npos : end - at));
    return !taxon->empty();
  }
  std::match_results<std::string_view::const_iterator> m;
  if (!std::regex_search(text.begin(), text.end(), m, *rule.pattern) ||
      !m[1].matched || m[1].length() == 0)
    return false;
  *taxon = m[1].str();
  return true;
}

}  // namespace

taxon_rule taxon_field_value(const std::string& text) {
  taxon_rule rule;
  rule.how = taxon_rule::kind::field;
  rule.given = "--taxon-field " + text;
  const std::size_t colon = text.rfind(':');
  const std::string number =
      colon == std::string::npos ? "" : text.substr(colon + 1);
  bool digits = !number.empty() && number.size() < 10;
  for (const char c : number) digits = digits && c >= '0' && c <= '9';
  if (colon == 0 || !digits || std::stoul(number) == 0)
    throw fatal_error(
        "Error: --taxon-field takes SEP:N, the separator and "
        "the number of the field from 1, such as '|:1' for "
        "Homo_sapiens|ENSG0001; not " +
        quoted(text));
  rule.separator = text.substr(0, colon);
  rule.field = std::stoul(number);
  return rule;
}

taxon_rule taxon_regex_value(const std::string& text) {
  taxon_rule rule;
  rule.how = taxon_rule::kind::regex;
  rule.given = "--taxon-regex " + text;
  try {
    rule.pattern = std::make_shared<const std::regex>(text);
  } catch (const std::regex_error& e) {
    throw fatal_error("Error: --taxon-regex " + quoted(text) +
                      " is not a regular expression: " + e.what());
  }
  if (rule.pattern->mark_count() == 0)
    throw fatal_error("Error: --taxon-regex " + quoted(text) +
                      " has no group: the taxon is what its first group "
                      "(in parentheses) matches, such as '^([^|]+)'");
  return rule;
}

std::vector<std::string> taxa_of(const alignment& aln,
                                 std::vector<std::string> written,
                                 const taxon_rule& rule, out_format f,
                                 bool safe_names, const std::string& gene) {
  std::vector<std::string> taxa;
  if (rule.how == taxon_rule::kind::name) {
    taxa = std::move(written);
  } else {
    taxa.reserve(aln.nseq());
    std::string taxon;
    for (std::size_t i = 0; i < aln.nseq(); ++i) {
      if (!find_taxon(rule, record_name_text(aln, i), &taxon))
        throw fatal_error("Error: " + record_label(i, aln.names[i]) +
                          " has no taxon name: " + rule.given +
                          (rule.how == taxon_rule::kind::field
                               ? " finds no such field in it"
                               : " does not match it"));
      taxa.push_back(name_in_format(taxon, f, safe_names));
    }
  }
  std::unordered_map<std::string_view, std::size_t> seen;
  for (std::size_t i = 0; i < taxa.size(); ++i) {
    const auto [it, fresh] = seen.emplace(taxa[i], i);
    if (!fresh)
      throw fatal_error(
          "Error: gene " + gene + " has the taxon " + quoted(taxa[i]) +
          " twice: " + record_label(it->second, aln.names[it->second]) +
          " and " + record_label(i, aln.names[i]) +
          "; a supermatrix takes one record a taxon from each "
          "alignment");
  }
  return taxa;
}
