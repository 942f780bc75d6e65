// The one error type of colsieve, the warning callback, and the message of
// a failed write. Code below colsieve_main throws fatal_error; only
// colsieve_main prints it and turns it into the exit status.
#ifndef COLSIEVE_BASE_ERROR_H
#define COLSIEVE_BASE_ERROR_H

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

// A failure that ends the run with status 1. what() is the message, without
// its last line end (it may hold several lines); show_help asks for the help
// text after it.
struct fatal_error : std::runtime_error {
  explicit fatal_error(const std::string& message, bool help = false)
      : std::runtime_error(message), show_help(help) {}
  bool show_help;
};

// A file read in place changed while the run read it: nothing read from it
// may be trusted, and nothing the run wrote may be committed.
struct input_changed : fatal_error {
  explicit input_changed(const std::string& file)
      : fatal_error("Error: " + file +
                    " changed while colsieve was reading it; nothing was "
                    "written (keep the file as it is until the run ends)"),
        where(file) {}
  // The message once standard output has taken some of the alignment.
  std::string after_output() const {
    return "Error: " + where +
           " changed while colsieve was reading it; standard output holds a "
           "partial or wrong alignment, and no file was written (keep the "
           "file as it is until the run ends)";
  }
  std::string where;
};

// Where warnings go: one call a warning, the text without its line end.
using warn_fn = std::function<void(const std::string&)>;

// "Error: cannot write WHAT: WHY", for an output that cannot or must not be
// written.
inline fatal_error cannot_write(const std::string& what,
                                const std::string& why) {
  return fatal_error("Error: cannot write " + what + ": " + why);
}

// "Error: cannot write WHAT: <strerror(err)>", for writes that failed.
inline fatal_error write_error(const std::string& what, int err) {
  return cannot_write(what, std::strerror(err));
}

#endif  // COLSIEVE_BASE_ERROR_H
