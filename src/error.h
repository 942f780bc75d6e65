// The one error type of colsieve. Code below colsieve_main throws it; only
// colsieve_main prints it and turns it into the exit status.
#ifndef COLSIEVE_ERROR_H
#define COLSIEVE_ERROR_H

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

#endif  // COLSIEVE_ERROR_H
