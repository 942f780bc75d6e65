// PHYLIP alignments: sequential or interleaved, strict or relaxed names.
#ifndef COLSIEVE_INPUT_PHYLIP_H
#define COLSIEVE_INPUT_PHYLIP_H

#include <functional>
#include <string>
#include <string_view>

#include "fasta_seq.h"
#include "input/records.h"

// True when the first line holds two positive whole numbers (sequences,
// columns) and nothing else.
bool looks_like_phylip(std::string_view first_line);

// Reads a PHYLIP alignment. The layout is found by trying four readings in
// this order, keeping the first that yields exactly the declared number of
// records, each with the declared number of columns: relaxed sequential,
// relaxed interleaved, strict sequential, strict interleaved. Relaxed names
// end at the first blank; strict names are the first 10 characters. Blanks
// and digits in residue lines are skipped; letters of either case are
// residues; '-', '.', '_', '~' and '?' are gaps. A '.' in any row but the
// first draws one warning (some programs read it as "same as the first
// sequence"). Throws fatal_error when no reading fits, naming the first
// record that fails under the first reading and both counts.
loaded_input read_phylip(byte_source* src, const std::string& input_name,
                         const std::function<void(const std::string&)>& warn);

#endif  // COLSIEVE_INPUT_PHYLIP_H
