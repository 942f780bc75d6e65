// Clustal alignments (ClustalW, Clustal Omega --outfmt=clu, MUSCLE -clw).
#ifndef COLSIEVE_INPUT_CLUSTAL_H
#define COLSIEVE_INPUT_CLUSTAL_H

#include <string>
#include <string_view>

#include "fasta_seq.h"
#include "input/records.h"

// True when the first line starts with "CLUSTAL" or "MUSCLE".
bool looks_like_clustal(std::string_view head);

// Reads a Clustal alignment: after the first line, blocks of "name residues
// [count]" lines; the conservation lines (which start with a blank) and the
// residue counts are skipped. Letters and gaps as in Stockholm.
loaded_input read_clustal(byte_source* src, const std::string& input_name);

#endif  // COLSIEVE_INPUT_CLUSTAL_H
