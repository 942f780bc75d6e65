// SELEX alignments (hmmalign --outformat SELEX, Clustal Omega
// --outfmt=selex), and the headerless blocks of "name residues" rows that
// SELEX and PSI-BLAST share.
#ifndef COLSIEVE_INPUT_SELEX_H
#define COLSIEVE_INPUT_SELEX_H

#include <string_view>

#include "base/byte_stream.h"
#include "input/records.h"

// True when the head reads as blocks of "name residues" rows: each row's
// name at the start of its line, its residues one word of letters and
// gaps ('-' only, or with `selex` also '.', '_' and '~'), every row of a
// block starting and ending in the block's columns, blocks separated by
// blank lines and naming the rows of the first in its order, and at least
// two rows in the first block. With `selex`, lines that start with '#' are
// passed over. A line the head ends within is checked as far as it goes.
bool looks_like_row_blocks(std::string_view head, bool selex);

// True when the first line is SELEX markup ("#=RF", "#=SQ", ...), or when
// the head is row blocks after '#' comments or with SELEX's own gaps.
bool looks_like_selex(std::string_view line, std::string_view head);

// Reads blocks of "name residues" rows separated by blank lines; with
// `selex`, lines that start with '#' (markup "#=..." and comments) are
// passed over unstored. The n-th row of every block is record n and must
// carry its name; every row of a block starts its residues in the column of
// the block's first row and is as long. A blank between residues is a gap,
// as SELEX has it. Letters of either case are residues; '-', '.', '_' and
// '~' are gaps. `format` names the format in messages. Throws fatal_error,
// naming the line, for a row out of place, a ragged block and a character that
// is neither residue nor gap.
loaded_input read_row_blocks(byte_source* src, const read_context& ctx,
                             bool selex, const char* format);

// Reads a SELEX alignment: read_row_blocks with markup passed over.
loaded_input read_selex(byte_source* src, const read_context& ctx);

#endif  // COLSIEVE_INPUT_SELEX_H
