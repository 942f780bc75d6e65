// NEXUS alignments (MrBayes, PAUP, BEAST, MEGA exports).
#ifndef COLSIEVE_INPUT_NEXUS_H
#define COLSIEVE_INPUT_NEXUS_H

#include <string>
#include <string_view>

#include "fasta_seq.h"
#include "input/records.h"

// True when the first word is "#NEXUS", in any case.
bool looks_like_nexus(std::string_view first_line);

// Reads the matrix of the DATA (or CHARACTERS) block; other blocks are
// skipped, [comments] (nested too) ignored. Taxon names may be quoted
// ('it''s'); unquoted ones are kept as they are. Interleaved matrices are
// read. FORMAT's GAP= and MISSING= characters are gaps, and a MATCHCHAR=
// character stands for the first taxon's character in its column. Letters
// of either case are residues; '-', '.', '_', '~' and '?' are gaps ('.' is
// the match character instead when MATCHCHAR=. says so). Throws fatal_error
// when NTAX or NCHAR disagree with the matrix, naming what disagrees.
loaded_input read_nexus(byte_source* src, const std::string& input_name);

#endif  // COLSIEVE_INPUT_NEXUS_H
