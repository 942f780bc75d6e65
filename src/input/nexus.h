// NEXUS alignments (MrBayes, PAUP, BEAST, MEGA exports).
#ifndef COLSIEVE_INPUT_NEXUS_H
#define COLSIEVE_INPUT_NEXUS_H

#include <string_view>

#include "base/byte_stream.h"
#include "input/records.h"

// True when the first word is "#NEXUS", in any case.
bool looks_like_nexus(std::string_view line, std::string_view head);

// Reads the matrix of the DATA (or CHARACTERS) block; other blocks are
// passed over, [comments] (nested too) dropped. Taxon names may be quoted
// ('it''s'); unquoted ones are kept as they are. Interleaved matrices are
// read by name, every block listing the taxa of the first in its order.
// FORMAT's GAP= and MISSING= characters are gaps, and a MATCHCHAR=
// character stands for the first taxon's character in its column. Letters
// of either case are residues; '-', '.', '_', '~' and '?' are gaps ('.' is
// the match character instead when MATCHCHAR=. says so). Throws fatal_error,
// naming the line, when NTAX or NCHAR are not counts or disagree with the
// matrix, for an unterminated quote, comment or matrix, and for characters
// that are neither residue, gap nor match.
loaded_input read_nexus(byte_source* src, const read_context& ctx);

#endif  // COLSIEVE_INPUT_NEXUS_H
