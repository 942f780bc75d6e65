#include "input/detect.h"

#include <cctype>

#include "input/clustal.h"
#include "input/fasta_reader.h"
#include "input/mega.h"
#include "input/msf.h"
#include "input/nexus.h"
#include "input/phylip.h"
#include "input/psiblast.h"
#include "input/selex.h"
#include "input/stockholm.h"
#include "input/text_lines.h"

namespace {

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// Kinds of input that are refused, for the hint after "no header".
bool binary(std::string_view, std::string_view head) {
  if (detect_compression(head) != compression::none) return true;
  std::size_t odd = 0;
  const std::size_t look = std::min<std::size_t>(head.size(), 4096);
  for (std::size_t i = 0; i < look; ++i) {
    const auto c = static_cast<unsigned char>(head[i]);
    if (c == 0) return true;
    odd += c < 0x20 && c != '\n' && c != '\r' && c != '\t';
  }
  return odd * 20 > look;
}
bool blank_before_record(std::string_view line, std::string_view head) {
  return !head.empty() && is_blank_char(head.front()) &&
         trim(line).substr(0, 1) == ">";
}
bool fastq(std::string_view line, std::string_view) {
  return starts_with(line, "@");
}
bool maf(std::string_view line, std::string_view) {
  return starts_with(line, "##maf");
}
bool genbank(std::string_view line, std::string_view) {
  return starts_with(line, "LOCUS");
}
bool embl(std::string_view line, std::string_view) {
  return starts_with(line, "ID   ");
}
bool markup(std::string_view line, std::string_view) {
  return starts_with(trim(line), "<");
}
// Mauve's XMFA: a "#FormatVersion Mauve1" line, or records whose headers
// are "> 1:100-200 + name" with '=' lines between the blocks.
bool xmfa(std::string_view line, std::string_view head) {
  if (starts_with(line, "#FormatVersion Mauve")) return true;
  if (!starts_with(line, ">")) return false;
  std::string_view rest = line.substr(1);
  const std::string_view where = take_word(&rest);
  const std::size_t colon = where.find(':'), dash = where.find('-');
  const std::string_view strand = take_word(&rest);
  return colon != std::string_view::npos && dash != std::string_view::npos &&
         colon < dash &&
         where.substr(0, colon).find_first_not_of("0123456789") ==
             std::string_view::npos &&
         (strand == "+" || strand == "-") &&
         (head.find("\n=") != std::string_view::npos);
}
// Two numbers on the first line that do not make a PHYLIP header.
bool numbers(std::string_view line, std::string_view) {
  std::string_view rest = line;
  const std::string_view a = take_word(&rest), b = take_word(&rest);
  const auto numeric = [](std::string_view w) {
    return !w.empty() &&
           w.find_first_not_of("+-0123456789") == std::string_view::npos;
  };
  return numeric(a) && numeric(b);
}

bool starts_with_magic(std::string_view head, std::string_view magic) {
  return head.substr(0, magic.size()) == magic;
}

constexpr compression_entry kCompressions[] = {
    {compression::gzip, "gzip",
     [](std::string_view h) { return starts_with_magic(h, "\x1f\x8b"); },
     nullptr},
    {compression::xz, "xz",
     [](std::string_view h) {
       return starts_with_magic(h, std::string_view("\xfd"
                                                    "7zXZ\0",
                                                    6));
     },
     "xz -dc"},
    {compression::bzip2, "bzip2",
     [](std::string_view h) {
       return starts_with_magic(h, "BZh") && h.size() > 3 && h[3] >= '1' &&
              h[3] <= '9';
     },
     "bzip2 -dc"},
    {compression::zstd, "zstd",
     [](std::string_view h) {
       return starts_with_magic(h, "\x28\xb5\x2f\xfd");
     },
     "zstd -dc"},
    {compression::zip, "zip",
     [](std::string_view h) { return starts_with_magic(h, "PK\x03\x04"); },
     "unzip -p"},
};

#define NO_HEADER "Error: no header in fasta file\nHint: "

constexpr format_entry kTable[] = {
    {format::stockholm, "Stockholm", looks_like_stockholm, read_stockholm,
     nullptr},
    {format::clustal, "Clustal", looks_like_clustal, read_clustal, nullptr},
    {format::nexus, "NEXUS", looks_like_nexus, read_nexus, nullptr},
    {format::phylip, "PHYLIP", looks_like_phylip, read_phylip, nullptr},
    {format::msf, "MSF", looks_like_msf, read_msf, nullptr},
    {format::mega, "MEGA", looks_like_mega, read_mega, nullptr},
    {format::refused, "XMFA", xmfa, nullptr,
     "Error: the input looks like XMFA (Mauve), which colsieve does not "
     "read: it holds many alignment blocks.\nHint: write the block to trim "
     "as FASTA, for example with Biopython: "
     "AlignIO.parse(\"aln.xmfa\", \"mauve\")."},
    {format::fasta, "FASTA", looks_like_fasta, read_fasta, nullptr},
    {format::refused, "binary", binary, nullptr,
     NO_HEADER "the input looks like binary data, not a text alignment."},
    {format::refused, "blank space", blank_before_record, nullptr,
     NO_HEADER
     "the input starts with blank space before its first '>'; remove it."},
    {format::refused, "FASTQ", fastq, nullptr,
     NO_HEADER
     "the input looks like FASTQ (reads with qualities), not an alignment."},
    {format::refused, "MAF", maf, nullptr,
     NO_HEADER
     "the input looks like MAF, which colsieve does not read: it holds many "
     "alignment blocks; write the block to trim as FASTA, for example with "
     "Biopython: AlignIO.parse(\"aln.maf\", \"maf\")."},
    {format::refused, "GenBank", genbank, nullptr,
     NO_HEADER "the input looks like a GenBank record, not an alignment."},
    {format::refused, "EMBL", embl, nullptr,
     NO_HEADER "the input looks like an EMBL record, not an alignment."},
    {format::refused, "HTML", markup, nullptr,
     NO_HEADER
     "the input looks like HTML or XML (a download that went wrong?), not an "
     "alignment."},
    {format::refused, "numbers", numbers, nullptr,
     NO_HEADER
     "the first line looks like a PHYLIP header, but PHYLIP wants two "
     "counts there (sequences, above 0, and columns) and nothing else."},
    // No header: rows of names and residues, told by their layout, after
    // every format that has a header.
    {format::selex, "SELEX", looks_like_selex, read_selex, nullptr},
    {format::psiblast, "PSI-BLAST", looks_like_psiblast, read_psiblast,
     nullptr},
};

#undef NO_HEADER

}  // namespace

std::string_view first_line(std::string_view head) {
  while (!head.empty()) {
    const std::size_t nl = head.find_first_of("\n\r");
    const std::string_view line = head.substr(0, nl);
    if (!trim(line).empty()) return line;
    if (nl == std::string_view::npos) break;
    head.remove_prefix(nl + 1);
  }
  return {};
}

compression detect_compression(std::string_view head) {
  for (const compression_entry& row : kCompressions)
    if (row.detect(head)) return row.comp;
  return compression::none;
}

const compression_entry& compression_row(compression c) {
  for (const compression_entry& row : kCompressions)
    if (row.comp == c) return row;
  return kCompressions[0];
}

input_kind detect_input(std::string_view head) {
  input_kind kind;
  kind.comp = detect_compression(head);
  if (kind.comp != compression::none) return kind;
  return detect_format(head);
}

input_kind detect_format(std::string_view head) {
  input_kind kind;
  const std::string_view line = first_line(head);
  for (const format_entry& row : kTable)
    if (row.detect(line, head)) {
      kind.fmt = row.fmt;
      if (row.refusal != nullptr) kind.refusal = row.refusal;
      return kind;
    }
  return kind;
}

std::span<const format_entry> format_table() { return kTable; }

const format_entry& format_row(format f) {
  for (const format_entry& row : kTable)
    if (row.fmt == f) return row;
  return kTable[0];
}
