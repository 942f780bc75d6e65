// The alignment table.
#include "core/alignment.h"

#include <cstring>

std::size_t alignment::append(std::string name, std::string_view marked,
                              std::size_t used) {
  residues.reserve(used + marked.size());
  if (!marked.empty())
    std::memcpy(residues.data() + used, marked.data(), marked.size());
  names.push_back(std::move(name));
  offsets.push_back(used);
  return used + marked.size();
}

void alignment::mask_codons(
    const std::vector<std::pair<std::size_t, std::size_t>>& codons) {
  if (source) {
    source->mask_codons(codons);
    return;
  }
  for (const auto& [i, codon] : codons)
    std::memset(residues.data() + offsets[i] + 3 * codon, UNALIGNED, 3);
}

alignment make_alignment(const std::vector<std::string>& names,
                         const std::vector<std::string>& rows) {
  alignment aln;
  std::size_t used = 0;
  for (std::size_t i = 0; i < rows.size(); ++i)
    used = aln.append(names[i], rows[i], used);
  aln.lseq = rows.empty() ? 0 : rows[0].size();
  return aln;
}
