#include "input/read_input.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "error.h"
#include "input/clustal.h"
#include "input/fasta_reader.h"
#include "input/nexus.h"
#include "input/phylip.h"
#include "input/records.h"
#include "input/source.h"
#include "input/stockholm.h"
#include "input/text_lines.h"

namespace {

enum class format { fasta, stockholm, clustal, phylip, nexus };

// The input's first line that is not blank.
std::string_view first_line(std::string_view head) {
  while (!head.empty()) {
    const std::size_t nl = head.find('\n');
    const std::string_view line = head.substr(0, nl);
    if (!trim(line).empty()) return line;
    if (nl == std::string_view::npos) break;
    head.remove_prefix(nl + 1);
  }
  return {};
}

format detect_format(std::string_view head) {
  const std::string_view line = first_line(head);
  if (looks_like_stockholm(line)) return format::stockholm;
  if (looks_like_clustal(line)) return format::clustal;
  if (looks_like_nexus(line)) return format::nexus;
  if (looks_like_phylip(line)) return format::phylip;
  return format::fasta;
}

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// What input that does not start with '>' seems to be, for the hint after
// "no header".
std::string no_header_hint(std::string_view head) {
  std::size_t odd = 0;
  const std::size_t look = std::min<std::size_t>(head.size(), 4096);
  for (std::size_t i = 0; i < look; ++i) {
    const auto c = static_cast<unsigned char>(head[i]);
    if (c == 0)
      return "Hint: the input looks like binary data, not a text alignment.";
    odd += c < 0x20 && c != '\n' && c != '\r' && c != '\t';
  }
  if (odd * 20 > look)
    return "Hint: the input looks like binary data, not a text alignment.";
  const std::string_view line = first_line(head);
  const std::string_view word = trim(line).substr(0, trim(line).find(' '));
  std::string upper(word);
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!head.empty() && is_blank_char(head.front()) &&
      trim(line).substr(0, 1) == ">")
    return "Hint: the input starts with blank space before its first '>'; "
           "remove it.";
  if (starts_with(line, "@"))
    return "Hint: the input looks like FASTQ (reads with qualities), not an "
           "alignment.";
  if (upper == "#NEXUS") return "Hint: the input looks like NEXUS.";
  if (word == "#MEGA" || word == "#mega")
    return "Hint: the input looks like MEGA, which colsieve does not read; "
           "export it as FASTA.";
  if (starts_with(line, "##maf"))
    return "Hint: the input looks like MAF, which colsieve does not read.";
  if (starts_with(line, "LOCUS"))
    return "Hint: the input looks like a GenBank record, not an alignment.";
  if (starts_with(line, "ID   "))
    return "Hint: the input looks like an EMBL record, not an alignment.";
  if (starts_with(trim(line), "<"))
    return "Hint: the input looks like HTML or XML (a download that went "
           "wrong?), not an alignment.";
  if (line.find("MSF:") != std::string_view::npos ||
      starts_with(line, "!!AA_MULTIPLE_ALIGNMENT") ||
      starts_with(line, "!!NA_MULTIPLE_ALIGNMENT") ||
      starts_with(line, "PileUp"))
    return "Hint: the input looks like GCG MSF, which colsieve does not read.";
  // Two numbers on the first line: a PHYLIP header.
  std::string_view rest = line;
  const std::string_view a = take_word(&rest), b = take_word(&rest);
  const auto numeric = [](std::string_view w) {
    return !w.empty() &&
           w.find_first_not_of("+-0123456789") == std::string_view::npos;
  };
  if (numeric(a) && numeric(b))
    return "Hint: the first line looks like a PHYLIP header, but PHYLIP "
           "wants two positive counts there (sequences, columns) and "
           "nothing else.";
  return {};
}

std::string columns(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " column" : " columns");
}

[[noreturn]] void lengths_differ(const loaded_input& in, std::size_t i) {
  std::string message = "Error: sequence lengths differ!\nRecord " +
                        std::to_string(i + 1) + " (" + shown(in.aln.names[i]) +
                        ") has " + columns(in.lengths[i]) + "; record 1 (" +
                        shown(in.aln.names[0]) + ") has " +
                        std::to_string(in.lengths[0]) + ".";
  if (in.dropped > 0)  // only FASTA without -u drops letters
    message += "\n" + std::string("Hint: ") + std::to_string(in.dropped) +
               " lower-case letters and '.' were dropped as insertions; if "
               "they belong to the alignment (MAFFT writes nucleotides in "
               "lower case), -u reads them as residues and gaps.";
  throw fatal_error(message);
}

}  // namespace

alignment read_alignment(int fd, const std::string& input_name,
                         const input_options& opts, thread_pool& pool,
                         const std::function<void(const std::string&)>& warn) {
  input_bytes bytes(fd, input_name);
  const std::string_view head = bytes.head();
  const std::size_t limit = opts.max_columns == 0
                                ? static_cast<std::size_t>(-1) / 4
                                : opts.max_columns;

  loaded_input in;
  switch (detect_format(head)) {
    case format::stockholm:
      in = read_stockholm(bytes.source(), input_name);
      break;
    case format::clustal:
      in = read_clustal(bytes.source(), input_name);
      break;
    case format::phylip:
      in = read_phylip(bytes.source(), input_name, warn);
      break;
    case format::nexus:
      in = read_nexus(bytes.source(), input_name);
      break;
    case format::fasta: {
      if (!head.empty() && head.front() != '>') {
        const std::string hint = no_header_hint(head);
        throw fasta_error("Error: no header in fasta file" +
                          (hint.empty() ? "" : "\n" + hint));
      }
      fasta_input_options fo;
      fo.fold_case = opts.fold_case;
      fo.max_residues = limit;
      struct stat st {};
      const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
      // A large plain file is read by all threads at once.
      if (regular && !bytes.compressed() && input_name != "-" &&
          pool.threads_for(static_cast<std::size_t>(st.st_size)) > 1)
        in = read_fasta_file(fd, st.st_size, fo, pool);
      else
        in = read_fasta(bytes.source(), fo,
                        regular && !bytes.compressed()
                            ? static_cast<std::size_t>(st.st_size)
                            : 0);
      break;
    }
  }

  if (in.aln.names.empty())
    throw fatal_error("Error: no sequences in input file");
  for (std::size_t i = 0; i < in.lengths.size(); ++i) {
    if (in.lengths[i] > limit) record_too_long(i + 1, in.aln.names[i], limit);
  }
  for (std::size_t i = 1; i < in.lengths.size(); ++i)
    if (in.lengths[i] != in.lengths[0]) lengths_differ(in, i);
  in.aln.lseq = in.lengths[0];
  // Column counts are kept in 32-bit integers where the output shows them.
  if (in.aln.lseq > 2147483647u)
    throw fatal_error("Error: the alignment has " +
                      std::to_string(in.aln.lseq) +
                      " columns, more than colsieve takes (2147483647)");
  if (in.aln.lseq == 0) {
    std::string message = "Error: alignment has no columns";
    if (in.format == "FASTA" && !opts.fold_case)
      message +=
          " (lower-case letters and '.' are read as insertions and dropped)";
    if (in.dropped > 0)
      message += "\nHint: " + std::to_string(in.dropped) +
                 " lower-case letters and '.' were dropped; -u reads them as "
                 "residues and gaps.";
    throw fatal_error(message);
  }
  return std::move(in.aln);
}
