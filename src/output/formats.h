// Output formats: the two layouts of old (default, PHYLIP as -p writes it)
// and the formats tree programs read, with names they accept.
#ifndef COLSIEVE_OUTPUT_FORMATS_H
#define COLSIEVE_OUTPUT_FORMATS_H

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "core/alignment.h"
#include "core/parallel.h"
#include "core/weights.h"
#include "output/buffer.h"

enum class out_format {
  default_layout,  // ">name", lines of 61, unselected columns in lower case
  phylip,          // what -p writes: whole names, one line per record
  fasta,           // ">name", lines of 60
  phylip_relaxed,  // names padded to the longest plus one space
  phylip_strict,   // names cut or padded to 10 characters
  nexus,           // a DATA block
  clustal,         // blocks of 60
  paml,            // PHYLIP as codeml reads it: name and two spaces
  pir,             // ">P1;name", a description line, residues, '*'
};

// How a format's record names are made (see output_names).
enum class name_rule {
  whole,   // the header as it is
  record,  // the header, without a PIR record's type code
  newick,  // a first word that Newick readers take
  nexus,   // a plain NEXUS word
};

// One output format: everything about it is this row.
struct out_format_row {
  out_format format;
  const char* name;       // as -f takes it
  const char* extension;  // of its files, without the dot
  name_rule names;        // fasta and pir: newick under safe_names
  // Writes the trimmed alignment; see write_alignment.
  void (*write)(output_buffer& fp, const alignment& aln,
                const std::vector<std::string>& names, const selection& sel,
                int remove_cols, thread_pool& pool);
};

// The formats, in the order help lists them.
std::span<const out_format_row> out_format_table();
const out_format_row& out_format_row_of(out_format f);

// The format called name, if there is one.
std::optional<out_format> parse_out_format(std::string_view name);
// Every format name, separated by ", ".
std::string out_format_names();

// The names a format writes, one per record.
// - default and phylip: the whole header, as it always was.
// - fasta and pir: the whole header, but for a PIR record the text after
//   its type code and ';'.
// - the tree formats (the PHYLIP formats, paml, nexus and clustal), and
//   fasta and pir with safe_names: the first word of that text (a quoted
//   NEXUS name is one word whole), with the characters tree programs refuse
//   replaced by '_': for Newick readers blanks, control characters and
//   ( ) [ ] : ; , '; for nexus everything but ASCII letters, digits, '.' and
//   '_' (a UTF-8 character becomes one '_'), so that every name is a plain
//   NEXUS word that MrBayes reads; cut to 10 bytes, at a character
//   boundary, for phylip-strict. Warns once, through warn, when names were
//   changed. Throws fatal_error when two records would get the same name.
std::vector<std::string> output_names(const alignment& aln, out_format f,
                                      bool safe_names, const warn_fn& warn);

// The text record i's name is made from: its header, without a PIR
// record's type code and ';'.
std::string_view record_name_text(const alignment& aln, std::size_t i);

// text (a name made otherwise, such as a taxon) as format f writes a name,
// but whole: for the tree formats (and fasta and pir with safe_names) the
// characters output_names replaces become '_', blanks included, and
// phylip-strict cuts it to 10 bytes; the other formats keep it as it is.
std::string name_in_format(std::string_view text, out_format f,
                           bool safe_names);

// The names write_alignment takes for format f: output_names', but none
// for a format that writes the headers as they are (default and phylip),
// whose writers take them from aln (a header may be hundreds of
// megabytes: no second copy of it).
std::vector<std::string> names_to_write(const alignment& aln, out_format f,
                                        bool safe_names, const warn_fn& warn);

// Writes the trimmed alignment in format f, with the names names_to_write
// gave. remove_cols applies to the default and phylip formats; the others
// always leave unselected columns out, and write the kept ones in upper case
// with '-' for gaps. pir writes a PIR record's own type code before its name,
// and "P1;" before the others (but for a name that starts with a type code
// already).
void write_alignment(output_buffer& fp, const alignment& aln,
                     const std::vector<std::string>& names,
                     const selection& sel, out_format f, int remove_cols,
                     thread_pool& pool);

#endif  // COLSIEVE_OUTPUT_FORMATS_H
