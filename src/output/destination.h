// Files the run writes besides standard output (the column map, the report,
// the alignment with -o): where their path really leads, what they must
// never overwrite, and how each is written so that a run that fails leaves
// no partial file under the real name.
#ifndef COLSIEVE_OUTPUT_DESTINATION_H
#define COLSIEVE_OUTPUT_DESTINATION_H

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Where a temporary file is registered for removal on a signal.
struct temp_slot;

// Device and inode of an existing file.
struct file_id {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const file_id&) const = default;
};

// From the next temporary file on, SIGHUP, SIGINT, SIGPIPE and SIGTERM
// (those not ignored) remove every temporary file before they end the
// process as they would have. Only the command-line tool asks for it: a
// process that embeds the library (the Python module) keeps its own
// handlers, and its temporary files are removed by the calls that made
// them.
void remove_temps_on_signals();

// The identity of the regular file open on descriptor fd, if it is one.
std::optional<file_id> regular_file_id(int fd);

// The identity of the regular file a path leads to (links followed), if it
// leads to one.
std::optional<file_id> regular_file_id(const std::string& path);

// The folder dir with its links followed and its path made absolute, as
// realpath() gives it, looked up once for each working folder: a batch
// writes thousands of files into a few folders. False (errno set) where it
// cannot be resolved.
bool resolved_folder(const std::string& dir, std::string* out);

// The files a run reads (the alignment, the coding sequences, every input
// of a batch): no output may be one of them.
using input_ids = std::vector<file_id>;

// Streams the run already writes to. A destination that is the same file as
// one of them is written through that stream, never replaced or truncated.
struct open_stream {
  std::FILE* fp;
};

// Writes a destination's content to fp, naming it `name` in errors. Throws
// fatal_error when a write fails.
using content_writer =
    std::function<void(std::FILE* fp, const std::string& name)>;

// One file the run writes.
//
// How it is written depends on what its path leads to (links followed, as
// opening the path would):
// - staged: a new file, or a regular file the run may replace: the content
//   goes to a temporary file beside the target, closed by finish() and
//   renamed over the target by commit(). A replaced file keeps its
//   permission bits.
// - in_place: a regular file that a rename would harm (it has other hard
//   links, or another owner) or that has no room beside it for a temporary
//   file (a directory the user cannot write, a name too long): finish()
//   writes the content into it.
// - direct: a pipe, a device, or a file the run already writes to (standard
//   output, standard error, the message file, /dev/fd/N): written at once,
//   through the open stream where there is one.
//
// A run that writes several destinations writes them all, then finishes
// the staged and direct ones, then the in-place ones, and commits last, so
// that a failure before the commits replaces no file (an in-place file that
// fails while being written is the only loss, and its message says so).
class destination {
 public:
  enum class mode { staged, in_place, direct };

  // Resolves path and gets it ready for writing. Throws fatal_error, naming
  // it as `what` (for example "column map"), when it cannot be written, when
  // it is one of the inputs, or when it is the same file as one of `others`.
  destination(std::string path, std::string what, const input_ids& inputs,
              const std::vector<open_stream>& streams,
              const std::vector<const destination*>& others);
  ~destination();  // removes a temporary file that was not committed
  destination(const destination&) = delete;
  destination& operator=(const destination&) = delete;

  mode how() const { return mode_; }
  const std::string& path() const { return path_; }

  // Writes the content now (staged, direct) or keeps it for finish()
  // (in_place). The writer must stay valid until finish().
  void write(content_writer content);

  // Ends the writing: closes a staged file's temporary file, flushes a
  // direct one (closing it if it is ours), writes an in-place one. Throws
  // fatal_error; a failure while writing in place names the file as
  // possibly incomplete.
  void finish();

  // Renames a staged file over its target, after finish(); nothing for the
  // others. Throws fatal_error when the rename fails.
  void commit();

 private:
  [[noreturn]] void fail(int err) const;
  bool same_file(const destination& other) const;
  // Opens a temporary file beside target_, with the permissions of the file
  // it replaces, if any. Returns 0, or the errno of the failure.
  int stage(const struct stat* replaced);
  // Forgets the temporary name, removing the file if it was created.
  void drop_temp(bool created);

  std::string path_, what_;
  mode mode_ = mode::staged;
  std::string target_;         // the file the path leads to (links followed)
  std::string temp_;           // staged: the temporary file; else empty
  temp_slot* slot_ = nullptr;  // staged: where the temporary name is registered
  std::optional<file_id> id_;  // the target, when it exists
  std::string canonical_;      // the target's path, when it does not
  std::FILE* fp_ = nullptr;    // where content goes
  bool own_fp_ = false;        // fp_ is ours to close
  int fd_ = -1;                // in_place: the target, opened for writing
  content_writer later_;       // in_place: content kept for finish()
};

#endif  // COLSIEVE_OUTPUT_DESTINATION_H
