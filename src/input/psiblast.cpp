#include "input/psiblast.h"

#include "input/selex.h"

bool looks_like_psiblast(std::string_view, std::string_view head) {
  return looks_like_row_blocks(head, false);
}

loaded_input read_psiblast(byte_source* src, const read_context& ctx) {
  return read_row_blocks(src, ctx, false, "PSI-BLAST");
}
