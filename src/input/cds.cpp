#include "input/cds.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/unique_fd.h"
#include "input/detect.h"
#include "input/fasta_reader.h"
#include "input/read_input.h"
#include "input/records.h"
#include "input/source.h"

namespace {

// The record's first fault, or nothing: a gap, or a letter that is no
// nucleotide. Turns the rest to upper case.
std::string check(char* row, std::size_t n, std::size_t i,
                  const std::string& name, const std::string& where) {
  for (std::size_t k = 0; k < n; ++k) {
    const char c = row[k];
    if (c == '-' || c == '.')
      return "Error: " + where + ", " + record_label(i, name) + " holds '" + c +
             "': the coding sequences must be unaligned";
    if (genetic_code::nucleotide(c) == 0)
      return "Error: " + where + ", " + record_label(i, name) + " holds '" + c +
             "', which is not a nucleotide";
    row[k] = static_cast<char>(c & ~0x20);
  }
  return {};
}

}  // namespace

sequence_set read_coding_sequences(const std::string& path,
                                   std::size_t max_length, thread_pool& pool,
                                   const warn_fn& warn) {
  const unique_fd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file)
    throw fatal_error("Error: cannot open the coding sequences " + path + ": " +
                      std::strerror(errno));
  read_context ctx;
  ctx.where = path;
  ctx.limit = max_length;
  ctx.unaligned = true;
  ctx.warn = warn;
  input_bytes bytes(file.get(), path, warn);
  if (!bytes.head().empty() && detect_format(bytes.head()).fmt != format::fasta)
    throw fatal_error("Error: the coding sequences in " + path +
                      " must be FASTA or PIR (unaligned sequences have no "
                      "other format colsieve reads)");
  loaded_input in = read_plain_or_stream(bytes, file.get(), 0, ctx, pool);

  std::size_t work = 0;
  for (const std::size_t n : in.lengths) work += n;
  std::vector<std::string> errors(in.lengths.size());
  pool.for_ranges(in.lengths.size(), work, [&](std::size_t b, std::size_t e) {
    for (std::size_t i = b; i < e; ++i) {
      errors[i] = check(in.aln.residues.data() + in.aln.offsets[i],
                        in.lengths[i], i, in.aln.names[i], path);
      if (!errors[i].empty()) return;
    }
  });
  for (const std::string& e : errors)
    if (!e.empty()) throw fatal_error(e);
  sequence_set s;
  s.seqs = std::move(in.aln);
  s.lengths = std::move(in.lengths);
  s.where = path;
  return s;
}
