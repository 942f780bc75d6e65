// Every file a run writes: the column map (-l), the report (-w), the
// complement, the summary table, the supermatrix with its partitions and
// taxa table, and the alignment (-o, else standard output). All paths are
// checked before anything is written, and no existing file is replaced unless
// everything was written.
#ifndef COLSIEVE_OUTPUT_SIDE_FILES_H
#define COLSIEVE_OUTPUT_SIDE_FILES_H

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/parallel.h"
#include "output/buffer.h"
#include "output/destination.h"

// Where the run's outputs go, as the options name them.
struct output_paths {
  std::optional<std::string> column_map;  // -l
  std::optional<std::string> report;      // -w
  std::optional<std::string> complement;  // --complement: dropped columns
  std::optional<std::string> summary;     // --summary: the summary table
  std::optional<std::string> concat;      // --concat: the supermatrix
  std::optional<std::string> partitions;  // --partitions: its partitions
  std::optional<std::string> taxa_table;  // --taxa-table: its taxa
  std::optional<std::string> alignment;   // -o; none, or "-": standard output
  bool no_alignment = false;  // none at all (a batch's summary table alone)
};

// A content writer that hands write (a callable taking an output_buffer&)
// a buffer over the file, flushed at the end.
template <class Write>
content_writer buffered(Write write) {
  return [write](std::FILE* fp, const std::string& name) {
    output_buffer out(fp, name);
    write(out);
    out.flush();
  };
}

// What goes into each output. A writer whose output has no path is never
// called and may be empty.
struct output_contents {
  content_writer column_map;
  content_writer report;
  content_writer complement;
  content_writer summary;
  content_writer concat;
  content_writer partitions;
  content_writer taxa_table;
  content_writer alignment;
  // Called once everything is written, before anything is put in place:
  // throws fatal_error when the run must not commit (its input changed).
  std::function<void()> verify;
  // How much work the side files are together (cells of the alignment),
  // for the pool to decide whether to write them side by side.
  std::size_t side_work = 0;
};

class side_files {
 public:
  // Resolves every path and gets it ready for writing (see destination).
  // Throws fatal_error when one cannot be written, is one of the inputs, or is
  // the same file as another; nothing is written then, and no temporary
  // file is left.
  side_files(const output_paths& paths, const input_ids& inputs,
             const std::vector<open_stream>& streams);
  side_files(const side_files&) = delete;
  side_files& operator=(const side_files&) = delete;

  // Writes every output and puts it in place, in this order:
  // 1. the column map, the report, the complement, the summary table and
  //    the supermatrix's files (side by side on the
  //    pool when each goes to a staged file of its own), then the
  //    alignment, to its file
  //    or to standard output; in-place files only keep their writer;
  // 2. the temporary files of staged outputs are closed, direct ones
  //    flushed;
  // 3. the in-place files are written;
  // 4. the staged files are renamed over their targets, the alignment
  //    first.
  // Throws fatal_error. A failure before step 4 replaces no file: only a
  // file being written in place can be left incomplete, and the message
  // says so. Temporary files are removed when this object goes.
  void write(const output_contents& contents, thread_pool& pool);

 private:
  std::vector<std::unique_ptr<destination>> files_;  // in the order added
  destination* map_ = nullptr;
  destination* report_ = nullptr;
  destination* complement_ = nullptr;
  destination* summary_ = nullptr;
  destination* concat_ = nullptr;
  destination* partitions_ = nullptr;
  destination* taxa_table_ = nullptr;
  destination* alignment_ = nullptr;  // null: standard output, or none
  bool to_stdout_ = false;            // the alignment goes to standard output
};

#endif  // COLSIEVE_OUTPUT_SIDE_FILES_H
