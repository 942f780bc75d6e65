// PSI-BLAST alignments (hmmalign --outformat PSIBLAST): blocks of "name
// residues" rows with no header at all.
#ifndef COLSIEVE_INPUT_PSIBLAST_H
#define COLSIEVE_INPUT_PSIBLAST_H

#include <string_view>

#include "base/byte_stream.h"
#include "input/records.h"

// True when the head is row blocks (see looks_like_row_blocks) whose
// residues hold letters and '-' only. As the format has no header, this is
// strict, and tried after every format that has one.
bool looks_like_psiblast(std::string_view line, std::string_view head);

// Reads a PSI-BLAST alignment by the rules of read_row_blocks, with no
// markup lines. hmmalign writes insert columns in lower case: they are
// residues, as in Stockholm.
loaded_input read_psiblast(byte_source* src, const read_context& ctx);

#endif  // COLSIEVE_INPUT_PSIBLAST_H
