// The entry point: the options in the order given, then the run.
#include "app/colsieve.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/progress_line.h"
#include "base/error.h"
#include "base/unique_fd.h"
#include "output/destination.h"
#include "run/driver.h"
#include "run/settings.h"

namespace {

// How the command line names the settings in messages.
constexpr setting_names kOptionNames = {"--codon", "--mask-stops", "--cds",
                                        "--genetic-code"};

// Writes one message line to the message stream.
void say(std::FILE* msg, const char* text) {
  std::fputs(text, msg);
  std::fputc('\n', msg);
  std::fflush(msg);
}

// The option getopt just refused, as the user would name it: "-x" for a
// short option, "--name" for a long one (its full name where the user
// abbreviated a known one; as typed where it is unknown or ambiguous).
std::string refused_option(int opt, const char* arg) {
  if (arg == nullptr || std::strncmp(arg, "--", 2) != 0)
    return std::string("-") + static_cast<char>(opt);
  const std::string given(arg + 2, std::strcspn(arg + 2, "="));
  const char* match = nullptr;
  int matches = 0;
  for (const option_row& o : option_table()) {
    if (o.name == nullptr) continue;
    if (given == o.name) return "--" + given;
    if (!given.empty() &&
        std::strncmp(o.name, given.c_str(), given.size()) == 0) {
      match = o.name;
      ++matches;
    }
  }
  return "--" + (matches == 1 ? std::string(match) : given);
}

// The line after "Error-- no valid input file": why there is none.
std::string no_input_detail(bool given, const std::string& name, int err,
                            int operands, char** operand) {
  if (given) return "Cannot open " + name + ": " + std::strerror(err);
  std::string detail = "No -i was given; the input is named with -i";
  for (int k = 0; k < operands; ++k) {
    struct stat st {};
    if (stat(operand[k], &st) == 0 && !S_ISDIR(st.st_mode))
      return detail + " (did you mean -i " + operand[k] + "?)";
  }
  return detail + ".";
}

// The index in given (argv before getopt reordered it) of the argument that
// holds p: the argument itself, or text inside it, as getopt's optarg is for
// "-iFILE" and "--input=FILE". -1 when none does.
int position_of(const std::vector<char*>& given, const char* p) {
  const auto same = std::find(given.begin(), given.end(), p);
  if (same != given.end()) return static_cast<int>(same - given.begin());
  const std::less_equal<const char*> le;
  for (std::size_t k = 0; k < given.size(); ++k)
    if (le(given[k], p) && le(p, given[k] + std::strlen(given[k])))
      return static_cast<int>(k);
  return -1;
}

// A single run reads one alignment: an argument after the first -i (at
// position first_in of given) that names a file or a folder was meant as
// another input, which would go unread. Other arguments that are not options
// stay ignored, as they always were.
void refuse_more_inputs(const std::vector<char*>& given, int first_in,
                        int operands, char** operand) {
  if (first_in < 0) return;
  for (int k = 0; k < operands; ++k) {
    struct stat st {};
    if (position_of(given, operand[k]) > first_in && stat(operand[k], &st) == 0)
      throw fatal_error(std::string("Error: ") + operand[k] +
                        " is not read: without --out-dir, colsieve trims the "
                        "one alignment -i names; to trim several, give "
                        "--out-dir DIR");
  }
}

// Descriptors 0-2 that are closed get a stand-in opened the wrong way round,
// so that no file the run opens takes their place (the alignment must never
// go into a side file) and writing a closed standard output fails.
void hold_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int got = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (got >= 0 && got != fd) close(got);
  }
}

// Reads the options in the order given into set, opening the input at -i
// and the message file at -e. Returns false when an option has done all
// there is to do (-h, --help, --version). Throws fatal_error for an option
// it cannot take, for settings that do not go together, and when there is
// no input to read.
bool parse_options(int argc, char** argv, run_settings& set, unique_fd& in,
                   message_stream& msg) {
  const input_ids inputs = inputs_named(argc, argv);
  option_state state{set, in, msg, inputs};
  // getopt_long reorders argv; the order as given tells what follows -i.
  const std::vector<char*> given(argv, argv + argc);
  int first_in = -1;
  optind = 0;  // start afresh, also when called more than once
  int c;
  while ((c = getopt_long(argc, argv, short_options(), long_options(),
                          nullptr)) != -1) {
    const option_row* row = option_of(c);
    if (row == nullptr)
      // getopt has named the problem; optopt is the option's character,
      // also when its argument is missing, else 0 or a long option's
      // value.
      throw fatal_error("Error: do not understand " +
                            refused_option(optopt, optind > 0 && optind <= argc
                                                       ? argv[optind - 1]
                                                       : nullptr) +
                            " option",
                        true);
    if (c == 'i' && first_in < 0) first_in = position_of(given, optarg);
    row->apply(state, optarg);
    if (state.done) return false;
  }
  check_settings(set, kOptionNames);
  if (set.out_dir) {
    // The inputs: -i's, then the arguments that are not options.
    if (state.in_given) set.inputs.push_back(set.in_name);
    set.inputs.insert(set.inputs.end(), argv + optind, argv + argc);
    in.reset();
    if (set.inputs.empty())
      throw fatal_error(
          "Error-- no valid input file\nNo input was given: with --out-dir, "
          "the inputs are the arguments that are not options",
          true);
    return true;
  }
  if (!in)
    throw fatal_error(
        "Error-- no valid input file\n" +
            no_input_detail(state.in_given, set.in_name, state.in_errno,
                            argc - optind, argv + optind),
        true);
  refuse_more_inputs(given, first_in, argc - optind, argv + optind);
  return true;
}

}  // namespace

int colsieve_main(int argc, char** argv) {
  hold_standard_descriptors();
  remove_temps_on_signals();
  message_stream msg;
  try {
    run_settings set;
    set.command_line.assign(argv, argv + argc);  // before getopt reorders it
    unique_fd in;
    if (!parse_options(argc, argv, set, in, msg)) return 0;
    // A run of more than a few seconds shows how far it is on standard
    // error, when that is a terminal; messages erase the line first.
    run_progress progress;
    progress_line line(stderr, progress);
    run_hooks hooks;
    hooks.progress = &progress;
    hooks.say = [&](bool note, const std::string& text) {
      line.around([&] {
        if (note)
          std::fputs(text.c_str(), stderr);
        else
          say(msg.fp, text.c_str());
      });
    };
    // The -e file against the inputs found in folders and templates: the
    // refusal itself goes to standard error.
    hooks.check_inputs = [&msg](const input_ids& inputs) {
      if (msg.file == nullptr) return;
      const std::optional<file_id> id = regular_file_id(fileno(msg.file));
      if (!id || std::find(inputs.begin(), inputs.end(), *id) == inputs.end())
        return;
      std::fclose(msg.file);
      msg.file = nullptr;
      msg.fp = stderr;
      throw cannot_write("message file " + msg.name, "it is the input file");
    };
    return run_inputs(set, in.get(), msg.fp, hooks);
  } catch (const fatal_error& e) {
    say(msg.fp, e.what());
    if (e.show_help) usage(stderr);
  } catch (const std::bad_alloc&) {
    say(msg.fp, "Error: out of memory");
  } catch (const std::runtime_error& e) {
    say(msg.fp, e.what());
  }
  return 1;
}
