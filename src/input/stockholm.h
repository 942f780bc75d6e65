// Stockholm alignments (hmmalign, Pfam, Rfam, Infernal).
#ifndef COLSIEVE_INPUT_STOCKHOLM_H
#define COLSIEVE_INPUT_STOCKHOLM_H

#include <string>

#include "fasta_seq.h"
#include "input/records.h"

// True when the first line is "# STOCKHOLM 1.0".
bool looks_like_stockholm(std::string_view head);

// Reads one Stockholm alignment: blocks of "name residues" lines, pieces of
// a name appended in order, names in the order they first appear. Lines that
// start with '#' (markup and comments) and blank lines are skipped; "//"
// ends the alignment. Every column is a column: letters of either case are
// residues, '.', '-', '_' and '~' are gaps. Throws fatal_error when the end
// line is missing, when a second alignment follows, or for a character that
// is neither residue nor gap.
loaded_input read_stockholm(byte_source* src, const std::string& input_name);

#endif  // COLSIEVE_INPUT_STOCKHOLM_H
