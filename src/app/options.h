// The command line's options: one table that getopt_long's arrays, the
// complete help, the manual's check and the bash completion are all made
// from, so that a new option is one row.
#ifndef COLSIEVE_APP_OPTIONS_H
#define COLSIEVE_APP_OPTIONS_H

#include <getopt.h>

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "base/unique_fd.h"
#include "output/destination.h"
#include "run/settings.h"

// Where the run's own warnings and errors go: standard error, or the -e
// file once it is open.
struct message_stream {
  std::FILE* fp = stderr;
  std::FILE* file = nullptr;  // ours to close
  std::string name;           // the -e file's, when it is open
  message_stream() = default;
  message_stream(const message_stream&) = delete;  // one owner of file
  message_stream& operator=(const message_stream&) = delete;
  ~message_stream() {
    if (file != nullptr) std::fclose(file);
  }
};

// What the options act on as they are read, in order.
struct option_state {
  run_settings& set;
  unique_fd& in;            // the input, opened at -i
  message_stream& msg;      // opened at -e
  const input_ids& inputs;  // every file the run reads, known beforehand
  bool in_given = false;
  int in_errno = 0;   // why the last -i could not be opened
  bool done = false;  // an option did all there is to do (-h, --version)
};

// What completes an option's argument in a shell.
enum class completes { nothing, file, folder, words };

struct option_row {
  int code;           // what getopt_long returns for it
  char letter;        // the short option, or 0
  const char* name;   // the long option, or nullptr
  const char* arg;    // the argument's name, or nullptr for a flag
  const char* group;  // the heading --help lists it under
  const char* help;   // its help; each '\n' starts an indented line
  completes completion;
  // With completes::words: the words its argument takes.
  std::vector<std::string> (*words)();
  // Applies the option, with its argument (nullptr for a flag). Throws
  // fatal_error for an argument it does not take.
  void (*apply)(option_state& s, const char* arg);
};

// Every option, in the order --help lists them.
std::span<const option_row> option_table();

// getopt_long's short option string and long option table.
const char* short_options();
const option* long_options();

// The files a run with these arguments reads: the last -i (standard input's
// file for "-"), the coding sequences, and with --out-dir the other
// arguments. Looked up ahead of the options, so that -e can be checked
// against an input named after it.
input_ids inputs_named(int argc, char** argv);

// The row of what getopt_long returned, or nullptr.
const option_row* option_of(int code);

// The short help of -h, and of an error on the command line.
void usage(std::FILE* fp);

// The complete help of --help: every option, its argument and its default,
// grouped.
void full_usage(std::FILE* fp);

// A bash completion script for colsieve: every option, the words of the
// options that take words, file names where a file is expected.
void write_bash_completion(std::FILE* fp);

#endif  // COLSIEVE_APP_OPTIONS_H
