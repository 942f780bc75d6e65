#include "core/back_translation.h"

#include <cctype>
#include <unordered_map>

#include "base/text.h"

namespace {

// For each protein record, the coding sequence it takes.
std::vector<std::size_t> match(const alignment& protein,
                               const sequence_set& cds, const warn_fn& warn) {
  std::unordered_map<std::string, std::vector<std::size_t>> by_name, by_word;
  for (std::size_t j = 0; j < cds.seqs.nseq(); ++j) {
    by_name[cds.seqs.names[j]].push_back(j);
    by_word[std::string(first_word(cds.seqs.names[j]))].push_back(j);
  }
  std::unordered_map<std::string, std::size_t> protein_words;
  for (const std::string& name : protein.names)
    ++protein_words[std::string(first_word(name))];

  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> taken_by(cds.seqs.nseq(), kNone), take;
  for (std::size_t i = 0; i < protein.nseq(); ++i) {
    const std::string& name = protein.names[i];
    const std::vector<std::size_t>* found = nullptr;
    const auto whole = by_name.find(name);
    if (whole != by_name.end()) {
      found = &whole->second;
    } else {
      const std::string word(first_word(name));
      const auto w = by_word.find(word);
      if (w != by_word.end() && protein_words[word] == 1) found = &w->second;
    }
    if (found == nullptr)
      throw fatal_error("Error: " + record_label(i, name) +
                        " has no coding sequence in " + cds.where +
                        ": none has its name, nor its first word alone");
    if (found->size() > 1)
      throw fatal_error("Error: " + record_label(i, name) + " matches " +
                        std::to_string(found->size()) +
                        " coding sequences in " + cds.where + " (records " +
                        std::to_string((*found)[0] + 1) + " and " +
                        std::to_string((*found)[1] + 1) + " there)");
    const std::size_t j = found->front();
    if (taken_by[j] != kNone)
      throw fatal_error(
          "Error: " + record_label(taken_by[j], protein.names[taken_by[j]]) +
          " and " + record_label(i, name) +
          " would both take coding sequence " + std::to_string(j + 1) + " (" +
          shown(cds.seqs.names[j]) + ") of " + cds.where);
    taken_by[j] = i;
    take.push_back(j);
  }
  const std::size_t extra = cds.seqs.nseq() - protein.nseq();
  if (extra > 0 && warn)
    warn("Warning: " + std::to_string(extra) +
         (extra == 1 ? " coding sequence of " : " coding sequences of ") +
         cds.where + (extra == 1 ? " belongs" : " belong") +
         " to no record of the alignment");
  return take;
}

bool takes_codon(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '*';
}

// Threads one record's coding sequence onto its columns in out (3 x lseq
// bytes). Returns the error message, or nothing.
std::string thread_row(std::size_t i, const std::string& name,
                       const std::string& letters, const filter_table& columns,
                       const char* cds, std::size_t n, const genetic_code& code,
                       char* out) {
  std::size_t residues = 0;
  char last = 0;
  for (const char c : letters)
    if (takes_codon(c)) {
      ++residues;
      last = c;
    }
  // 1 or 2 nucleotides after the last whole codon are left out: a stop
  // that the mRNA's poly(A) completes, as in many mitochondrial genes.
  const std::size_t whole = n - n % 3;
  // A stop codon after the last residue is allowed, and left out.
  const bool codon_after = whole == 3 * residues + 3 && last != '*';
  if (whole != 3 * residues && !codon_after)
    return "Error: CDS of " + record_label(i, name) + " has " +
           std::to_string(n) + " nucleotides; its protein has " +
           std::to_string(residues) + " residues, so " +
           std::to_string(3 * residues) + " (or " +
           std::to_string(3 * residues + 3) +
           " with a stop codon) were expected.";
  // Every codon is checked, so that the message can tell one codon that
  // disagrees from many.
  std::size_t k = 0, wrong = 0, bad_k = 0;
  const char* bad = nullptr;
  char bad_residue = 0;
  for (const char c : letters) {
    const unsigned char column = columns[static_cast<unsigned char>(c)];
    if (takes_codon(c)) {
      const char* codon = cds + 3 * k++;
      const char residue =
          static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      // A start codon of the table codes for M as the first codon.
      const bool fits = code.codes_for(codon, residue) ||
                        (k == 1 && residue == 'M' && code.may_start(codon));
      if (!fits && wrong++ == 0) {
        bad = codon;
        bad_k = k;
        bad_residue = residue;
      }
      if (column != 0) {
        out[0] = codon[0];
        out[1] = codon[1];
        out[2] = codon[2];
        out += 3;
      }
    } else if (column != 0) {
      out[0] = out[1] = out[2] = static_cast<char>(UNALIGNED);
      out += 3;
    }
  }
  const char* after = cds + 3 * residues;
  const bool after_wrong = codon_after && !code.is_stop(after);
  wrong += after_wrong;
  if (wrong == 0) return {};

  const std::string table = "table " + std::to_string(code.id());
  const auto codon_text = [&](const char* c) {
    return std::string(c, 3) + " (" + genetic_code::shown(code.readings(c)) +
           ")";
  };
  if (wrong == 1 && after_wrong)
    return "Error: CDS of " + record_label(i, name) + " ends in " +
           codon_text(after) + " after the codons of its " +
           std::to_string(residues) + " residues, and " +
           std::string(after, 3) + " is not a stop codon of " + table + " (" +
           code.stops() + ")";
  const std::string what = "Error: CDS of " + record_label(i, name) +
                           " does not code for its protein: codon " +
                           std::to_string(bad_k) + " is " + codon_text(bad) +
                           ", the protein has " + bad_residue;
  // Many codons that disagree (more than one) point to the wrong file or
  // code; a lone one is more likely a start, a stop or a changed base, and
  // is named by its rule.
  if (wrong > 1)
    return what + "; " + std::to_string(wrong) + " of " +
           std::to_string(residues + codon_after) +
           " codons disagree. Do the files match? (--genetic-code N selects "
           "another code)";
  if (bad_k == 1 && bad_residue == 'M')
    return what + ", and " + std::string(bad, 3) + " is not a start codon of " +
           table + " (" + code.starts() + ")";
  if (bad_residue == '*')
    return what + ", and " + std::string(bad, 3) + " is not a stop codon of " +
           table + " (" + code.stops() + ")";
  if (bad_residue == 'X') return what + ": X takes any codon but a stop";
  return what + " (the only codon that disagrees)";
}

}  // namespace

alignment thread_codons(const alignment& protein,
                        const protein_letters& letters, const sequence_set& cds,
                        const genetic_code& code, thread_pool& pool,
                        const warn_fn& warn) {
  const std::vector<std::size_t> take = match(protein, cds, warn);
  const std::size_t nseq = protein.nseq(), width = 3 * protein.lseq;
  alignment out;
  out.names = protein.names;
  out.forms = protein.forms;
  out.lseq = width;
  out.residues.reserve(nseq * width + 1);
  for (std::size_t i = 0; i < nseq; ++i) out.offsets.push_back(i * width);
  std::size_t work = 0;
  for (const std::size_t j : take) work += cds.lengths[j];
  // Each record's row is written by one thread; the first error in record
  // order is the one reported, whatever the threads.
  std::vector<std::string> errors(nseq);
  pool.for_ranges(nseq, work, [&](std::size_t b, std::size_t e) {
    for (std::size_t i = b; i < e; ++i) {
      const std::size_t j = take[i];
      errors[i] = thread_row(i, protein.names[i], letters.rows[i],
                             letters.columns, cds.seqs.row(j), cds.lengths[j],
                             code, out.residues.data() + out.offsets[i]);
      if (!errors[i].empty()) return;
    }
  });
  for (const std::string& e : errors)
    if (!e.empty()) throw fatal_error(e);
  std::size_t incomplete = 0;
  for (const std::size_t j : take) incomplete += cds.lengths[j] % 3 != 0;
  if (incomplete > 0 && warn)
    warn("Warning: " + std::to_string(incomplete) +
         (incomplete == 1 ? " coding sequence of " : " coding sequences of ") +
         cds.where + (incomplete == 1 ? " ends" : " end") +
         " in an incomplete codon (1 or 2 nucleotides after the last whole "
         "codon), left out");
  return out;
}

selection codon_verdict(const selection& protein) {
  selection s = protein;
  s.is_selected.assign(3 * protein.is_selected.size(), 0);
  for (std::size_t j = 0; j < protein.is_selected.size(); ++j)
    s.is_selected[3 * j] = s.is_selected[3 * j + 1] = s.is_selected[3 * j + 2] =
        protein.is_selected[j];
  s.n_gt_target = 3 * protein.n_gt_target;
  return s;
}
