// GCG MSF alignments (GCG PileUp, Clustal Omega --outfmt=msf, EMBOSS
// seqret -osformat msf, MUSCLE).
#ifndef COLSIEVE_INPUT_MSF_H
#define COLSIEVE_INPUT_MSF_H

#include <string_view>

#include "base/byte_stream.h"
#include "input/records.h"

// True when the first line is "!!AA_MULTIPLE_ALIGNMENT" or
// "!!NA_MULTIPLE_ALIGNMENT", starts with "PileUp", or is the header line
// itself ("... MSF: 165  Type: P ... Check: 9111 ..").
bool looks_like_msf(std::string_view line, std::string_view head);

// Reads an MSF alignment. The header, up to its "//" line, is read for the
// length its "MSF:" gives and the records its "Name:" lines list; the rest
// of it is passed over. Then come blocks of "name residues" rows, the
// residues in groups; blank lines and the lines of column numbers end a
// block. The n-th row of every block is the n-th record of the header (its
// name checked), each row as long as the block's first. Letters of either
// case are residues; '.', '-', '_' and '~' are gaps. Throws fatal_error,
// naming the line, for a header with no "//", a row that is not the one
// the header lists there, a ragged or short block, a character that is
// neither residue nor gap, and records whose length is not the "MSF:" one.
loaded_input read_msf(byte_source* src, const read_context& ctx);

#endif  // COLSIEVE_INPUT_MSF_H
