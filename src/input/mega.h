// MEGA alignments (MEGA, EMBOSS seqret -osformat mega).
#ifndef COLSIEVE_INPUT_MEGA_H
#define COLSIEVE_INPUT_MEGA_H

#include <string_view>

#include "base/byte_stream.h"
#include "input/records.h"

// True when the first word is "#MEGA", in any case.
bool looks_like_mega(std::string_view line, std::string_view head);

// Reads a MEGA sequence file: after the "#MEGA" line, commands ("!Title
// ...;", "!Format ...;", "!Gene=...;", which may span lines) and
// [comments] (nested too, anywhere) are passed over; text before the first
// sequence (an old "TITLE:" line) too. Each sequence starts on a line with
// "#name"; its residues follow on that line and on the lines up to the next
// "#". Interleaved files repeat the names block by block; the n-th row of
// every block is record n and must carry its name (writers cut names, so
// two records may share one). The first block ends where the first
// record's name comes again after a blank line or after the block's second
// row; a later block ends when it holds every record. Letters of either
// case are residues; '-', '.', '_', '~' and '?' are gaps, and so are the
// Format's Indel= and Missing= characters; its Identical= (or MatchChar=)
// character stands for the first sequence's character in its column. Warns when
// '.' is read as a gap in rows after the first. Throws fatal_error, naming the
// line, for a distance matrix, a Format command after the sequences, the
// identical character in the first sequence, a character that is neither
// residue, gap nor identical, a ragged block, a comment or command never
// closed.
loaded_input read_mega(byte_source* src, const read_context& ctx);

#endif  // COLSIEVE_INPUT_MEGA_H
