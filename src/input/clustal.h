// Clustal alignments (ClustalW, Clustal Omega --outfmt=clu, MAFFT
// --clustalout).
#ifndef COLSIEVE_INPUT_CLUSTAL_H
#define COLSIEVE_INPUT_CLUSTAL_H

#include <string_view>

#include "base/byte_stream.h"
#include "input/records.h"

// True when the first line starts with "CLUSTAL" or "MUSCLE".
bool looks_like_clustal(std::string_view line, std::string_view head);

// Reads a Clustal alignment: after the first line, blocks of "name residues
// [count]" lines separated by blank lines; conservation lines (which start
// with a blank) and the residue counts are passed over. Rows count by
// position, as writers cut names: the n-th row of every block is record n
// and must carry its name. Letters and gaps as in Stockholm.
loaded_input read_clustal(byte_source* src, const read_context& ctx);

#endif  // COLSIEVE_INPUT_CLUSTAL_H
