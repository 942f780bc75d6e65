// PHYLIP alignments: sequential or interleaved, strict or relaxed names.
#ifndef COLSIEVE_INPUT_PHYLIP_H
#define COLSIEVE_INPUT_PHYLIP_H

#include <string_view>

#include "base/byte_stream.h"
#include "input/records.h"

// True when the first line holds two whole numbers, sequences (above 0) and
// columns, and nothing else.
bool looks_like_phylip(std::string_view line, std::string_view head);

// Reads a PHYLIP alignment. The layout is found by trying four readings in
// this order, keeping the first that yields exactly the declared number of
// records, each with the declared number of columns, with names that
// differ: relaxed sequential, relaxed interleaved, strict sequential,
// strict interleaved. Relaxed names end at the first blank; strict names
// are the first 10 characters. In interleaved readings every block's rows
// are equally long. Blanks and digits in residue lines are skipped; letters
// of either case are residues; '-', '.', '_', '~' and '?' are gaps. A '.'
// in any row but the first draws one warning (some programs read it as
// "same as the first sequence"). A reading whose names repeat is kept only
// when none with names that differ fits, with one warning naming two
// records of one name. Throws fatal_error when no reading fits, naming what
// failed in the reading that got furthest (the first of them).
loaded_input read_phylip(byte_source* src, const read_context& ctx);

#endif  // COLSIEVE_INPUT_PHYLIP_H
