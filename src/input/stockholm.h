// Stockholm alignments (hmmalign, Pfam, Rfam, Infernal).
#ifndef COLSIEVE_INPUT_STOCKHOLM_H
#define COLSIEVE_INPUT_STOCKHOLM_H

#include <string_view>

#include "base/byte_stream.h"
#include "input/records.h"

// True when the first line is "# STOCKHOLM 1.0".
bool looks_like_stockholm(std::string_view line, std::string_view head);

// Reads one Stockholm alignment: blocks of "name residues" lines, separated
// by blank lines; every block holds the first block's sequences in its
// order, each row as long as the block's first. Lines that start with '#'
// (markup and comments) are passed over unstored; "//" ends the alignment.
// Every column is a column: letters of either case are residues, '.', '-',
// '_' and '~' are gaps. Throws fatal_error when the end line is missing,
// when a second alignment follows, for a block that breaks the rules, or
// for a character that is neither residue nor gap.
loaded_input read_stockholm(byte_source* src, const read_context& ctx);

#endif  // COLSIEVE_INPUT_STOCKHOLM_H
