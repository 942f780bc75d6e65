// The entry point: options, help text, loading, and the run's phases in order.
#include "colsieve.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "core/alignment.h"
#include "core/back_translation.h"
#include "core/genetic_code.h"
#include "core/parallel.h"
#include "core/weights.h"
#include "error.h"
#include "input/gzip.h"
#include "input/read_input.h"
#include "input/records.h"
#include "output/buffer.h"
#include "output/column_map.h"
#include "output/destination.h"
#include "output/formats.h"
#include "output/report.h"
#include "output/side_files.h"
#include "output/writer.h"
#include "progress_line.h"
#include "trim_run.h"

namespace {

constexpr const char* kHelpText[] = {
    "\ncolsieve -i <input_file> [options]\n",
    "\nCalculates relative sequence weights according to Henikoff & Henikoff, "
    "JMB 1994\n",
    "The algorithm is modified to treat gaps as having zero weight.\n",
    "The input must be a multiple alignment in FASTA or PIR format.\n",
    "Output goes to standard output.\n",
    "\nOptions:\n",
    "\t-h \t\tThis help message.\n",
    "\t-e filename\tSend error messages to file <filename> (Default: "
    "stderr)\n",
    "\t-r\tRemove unselected columns (Default: print in lower case or period "
    "for gaps)\n",
    "\t-p\tPrint in PHYLIP format (Default: PIR format)\n",
    "\t-t <float>\tTarget (minimum) weighted fraction of sequences aligning; "
    "columns below target will be lowercase\n\t\t\t(Default = 0.85)\n",
    "\t--max-columns <n>\tMost columns a record may have, 0 for no limit "
    "(Default = 45000)\n",
    "Run colsieve --help for every option, or man colsieve.\n",
};

// What getopt_long returns for the options without a letter.
constexpr int kHelpOption = 256;
constexpr int kVersionOption = 257;
constexpr int kMaxColumnsOption = 258;
constexpr int kSafeNamesOption = 259;
constexpr int kCodonOption = 260;
constexpr int kMaskStopsOption = 261;
constexpr int kEndsOnlyOption = 262;
constexpr int kComplementOption = 263;
constexpr int kCdsOption = 264;
constexpr int kGeneticCodeOption = 265;
constexpr int kOutDirOption = 266;
constexpr int kOutNameOption = 267;
constexpr int kSummaryOption = 268;
constexpr int kStreamingOption = 269;

// One option, for getopt and for --help.
struct option_entry {
  int code;           // what getopt_long returns for it
  char letter;        // the short option, or 0
  const char* name;   // the long option, or nullptr
  const char* arg;    // the argument's name, or nullptr for a flag
  const char* group;  // the heading it is listed under
  const char* help;   // its help; each '\n' starts an indented line
};

// Every option, in the order --help lists them: the one list that getopt's
// tables and the complete help are made from.
constexpr option_entry kOptions[] = {
    {'i', 'i', "input", "FILE", "Input",
     "the alignment to read (required; - is standard input):\n"
     "FASTA, PIR, A2M, Stockholm, Clustal, PHYLIP, NEXUS,\n"
     "MSF, MEGA, SELEX, PSI-BLAST, plain or gzip, told\n"
     "apart by their first lines; the last -i counts"},
    {'u', 'u', "fold-case", nullptr, "Input",
     "read FASTA and PIR as full alignments: lower case as\n"
     "residues, . _ ~ as gaps (default: lower case and .\n"
     "are insertions, dropped)"},
    {kMaxColumnsOption, 0, "max-columns", "N", "Input",
     "most columns a record may have, 0 for no limit\n"
     "(default 45000, at most 2147483647)"},
    {kStreamingOption, 0, "streaming", "WHEN", "Input",
     "read a plain FASTA file in place, a pass at a time,\n"
     "instead of copying it into memory: auto (files from\n"
     "64 MiB on), always or never (default auto); standard\n"
     "input, gzip and other formats are always copied"},
    {'t', 't', "target", "NUM", "Selection",
     "target weighted fraction of sequences aligning;\n"
     "columns scoring above it are kept (default 0.85)"},
    {'c', 'c', nullptr, "NUM", "Selection",
     "scale constant for the scores; 0 or less: automatic,\n"
     "nseq ^ (1 - mean conservation) (default 1.0)"},
    {'m', 'm', nullptr, "NUM", "Selection",
     "cap for the automatic scale constant (default 1000000)"},
    {'H', 'H', nullptr, nullptr, "Selection",
     "score every column with a scale of 1.0, not -c's"},
    {'N', 'N', nullptr, nullptr, "Selection",
     "accepted for compatibility; no effect"},
    {kEndsOnlyOption, 0, "ends-only", nullptr, "Selection",
     "drop only the dropped columns at either end (the run\n"
     "from the first column and the run to the last); keep\n"
     "every other column"},
    {kCodonOption, 0, "codon", nullptr, "Coding sequences",
     "read the alignment as codons from its first column:\n"
     "a codon is kept only when its three columns are all\n"
     "selected, else all three are dropped"},
    {kMaskStopsOption, 0, "mask-stops", "WHICH", "Coding sequences",
     "with --codon, make in-frame stop codons (TAA, TAG,\n"
     "TGA, U as T) gaps before weighting: terminal (each\n"
     "row's last codon), internal (the others) or all"},
    {kCdsOption, 0, "cds", "FILE", "Coding sequences",
     "the coding sequences (FASTA or PIR, plain or gzip,\n"
     "unaligned) of the protein alignment's records: write\n"
     "their codon alignment, trimmed by the protein's\n"
     "columns, instead of the protein alignment"},
    {kGeneticCodeOption, 0, "genetic-code", "N", "Coding sequences",
     "with --cds, the NCBI translation table the codons are\n"
     "checked by: 1-6, 9-16, 21-25 (default 1, standard)"},
    {'o', 'o', "output", "FILE", "Output",
     "write the alignment to FILE, - for standard output\n"
     "(default: standard output)"},
    {'f', 'f', "out-format", "NAME", "Output",
     "default, phylip, fasta, phylip-relaxed, phylip-strict,\n"
     "nexus, clustal, paml or pir (default: default)"},
    {'p', 'p', nullptr, nullptr, "Output",
     "the same as -f phylip; of -p and -f, the last counts"},
    {'r', 'r', "remove", nullptr, "Output",
     "leave unselected columns out (default: write them in\n"
     "lower case, '.' for gaps, which tree programs read as\n"
     "residues); formats other than default and phylip\n"
     "always leave them out"},
    {kSafeNamesOption, 0, "safe-names", nullptr, "Output",
     "names in -f fasta and pir as the tree formats write\n"
     "them: first word, punctuation to _, duplicates\n"
     "refused (default: the whole header)"},
    {'l', 'l', nullptr, "FILE", "Side files",
     "write the column map (column, score, kept) to FILE"},
    {'w', 'w', nullptr, "FILE", "Side files",
     "write an HTML report of the trimming to FILE"},
    {kComplementOption, 0, "complement", "FILE", "Side files",
     "write the dropped columns, in upper case and in the\n"
     "output format, to FILE"},
    {kSummaryOption, 0, "summary", "FILE", "Side files",
     "write a table of the run (one row per input: counts,\n"
     "variable and parsimony-informative sites, missing\n"
     "data, GC) to FILE, as JSON when FILE ends in .json"},
    {kOutDirOption, 0, "out-dir", "DIR", "Many alignments",
     "trim many alignments: the arguments that are not\n"
     "options (and -i's) are the inputs, each written to\n"
     "DIR (made if missing) under its name with the output\n"
     "format's extension; -l, -w and --complement then take\n"
     "templates with {stem}, such as -l maps/{stem}.tsv"},
    {kOutNameOption, 0, "out-name", "TEMPLATE", "Many alignments",
     "with --out-dir, each output's name: {stem} is the\n"
     "input's name without .gz and its extension, {ext} the\n"
     "format's extension, {name} the input's name without\n"
     ".gz (default {stem}.{ext})"},
    {'e', 'e', nullptr, "FILE", "Run",
     "append warnings and errors to FILE from here on\n"
     "(default: standard error)"},
    {'j', 'j', "threads", "N", "Run",
     "threads to use, 0 for one per CPU the process may\n"
     "use, at most 1024 (default 0)"},
    {'h', 'h', nullptr, nullptr, "Run", "print the short help and stop"},
    {kHelpOption, 0, "help", nullptr, "Run", "print this help and stop"},
    {kVersionOption, 0, "version", nullptr, "Run",
     "print the version and stop"},
};

// getopt's short option string, made from kOptions.
const char* short_options() {
  static const std::string s = [] {
    std::string out;
    for (const option_entry& o : kOptions) {
      if (o.letter == 0) continue;
      out += o.letter;
      if (o.arg != nullptr) out += ':';
    }
    return out;
  }();
  return s.c_str();
}

// getopt_long's table of long options, made from kOptions.
const option* long_options() {
  static const std::vector<option> table = [] {
    std::vector<option> out;
    for (const option_entry& o : kOptions)
      if (o.name != nullptr)
        out.push_back({o.name,
                       o.arg != nullptr ? required_argument : no_argument,
                       nullptr, o.code});
    out.push_back({nullptr, 0, nullptr, 0});
    return out;
  }();
  return table.data();
}

struct file_closer {
  void operator()(std::FILE* fp) const { std::fclose(fp); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// Where the run's own warnings and errors go: standard error, or the -e
// file once it is open.
struct message_stream {
  file_ptr file;
  std::FILE* fp = stderr;
};

// The input descriptor, closed at the end unless it is standard input.
class input_fd {
 public:
  input_fd() = default;
  ~input_fd() { reset(-1); }
  input_fd(const input_fd&) = delete;
  input_fd& operator=(const input_fd&) = delete;
  void reset(int fd) {
    if (fd_ > 0) close(fd_);
    fd_ = fd;
  }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

// Writes one message line to the message stream.
void say(std::FILE* msg, const char* text) {
  std::fputs(text, msg);
  std::fputc('\n', msg);
  std::fflush(msg);
}

// Reads a number the way "%lf" does: leading blanks, sign, fraction and
// exponent; anything after the number is ignored. NaN and infinity are not
// numbers here. On failure, warns and leaves *value as it was.
void number_option(std::FILE* msg, char opt, const char* arg, double* value) {
  double v;
  if (std::sscanf(arg, "%lf", &v) == 1 && std::isfinite(v)) {
    *value = v;
    return;
  }
  std::fprintf(msg, "Warning: -%c (%s) must be a number.\n Using default.\n",
               opt, arg);
  std::fflush(msg);
}

// A count that must be a whole number from 0 to largest: digits only, after
// an optional '+'. Digits past what size_t holds count as its largest value.
std::size_t count_option(const char* name, const char* arg, const char* what,
                         std::size_t largest) {
  constexpr std::size_t kMax = static_cast<std::size_t>(-1);
  std::size_t v = 0;
  const char* p = arg;
  if (*p == '+') ++p;
  bool digits = *p != 0;
  for (; *p != 0 && digits; ++p) {
    digits = *p >= '0' && *p <= '9';
    const std::size_t d = digits ? static_cast<std::size_t>(*p - '0') : 0;
    v = v > (kMax - d) / 10 ? kMax : v * 10 + d;
  }
  if (!digits)
    throw fatal_error(std::string("Error: ") + name + " (" + arg +
                      ") must be a whole number, 0 or more: " + what);
  if (v > largest)
    throw fatal_error(std::string("Error: ") + name + " (" + arg +
                      ") is too large: the largest value allowed is " +
                      std::to_string(largest) + " (" + what + ")");
  return v;
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
  for (const option_entry& o : kOptions) {
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

// --mask-stops's argument.
stop_mask parse_stop_mask(const char* arg) {
  if (std::strcmp(arg, "terminal") == 0) return stop_mask::terminal;
  if (std::strcmp(arg, "internal") == 0) return stop_mask::internal;
  if (std::strcmp(arg, "all") == 0) return stop_mask::all;
  throw fatal_error(std::string("Error: unknown --mask-stops \"") + arg +
                    "\"; it is terminal, internal or all");
}

// --streaming's argument.
input_options::streaming parse_streaming(const char* arg) {
  using streaming = input_options::streaming;
  if (std::strcmp(arg, "auto") == 0) return streaming::automatic;
  if (std::strcmp(arg, "always") == 0) return streaming::always;
  if (std::strcmp(arg, "never") == 0) return streaming::never;
  throw fatal_error(std::string("Error: unknown --streaming \"") + arg +
                    "\"; it is auto, always or never");
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

void finish_stdout(const char* what) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw fatal_error(std::string("Error: cannot write ") + what + ": " +
                      std::strerror(errno));
}

}  // namespace

void usage(std::FILE* fp) {
  for (const char* line : kHelpText) std::fputs(line, fp);
}

void full_usage(std::FILE* fp) {
  std::fputs(
      "\ncolsieve -i <input_file> [options]\n\n"
      "Trims a multiple sequence alignment to its well-aligned columns.\n"
      "Sequences are weighted by the method of Henikoff & Henikoff (JMB "
      "1994),\n"
      "a gap counting as a class of its own; a column scores the weighted\n"
      "fraction of sequences with a residue there. Columns above the target\n"
      "are kept; the target is lowered in steps of 0.05 until at least 40\n"
      "columns, or all of them, pass. The alignment goes to standard output,\n"
      "the summary line to standard error.\n",
      fp);
  const char* group = nullptr;
  for (const option_entry& o : kOptions) {
    if (group == nullptr || std::strcmp(group, o.group) != 0) {
      group = o.group;
      std::fprintf(fp, "\n%s:\n", group);
    }
    std::string left = "  ";
    left += o.letter != 0 ? std::string("-") + o.letter : "  ";
    if (o.name != nullptr)
      left += std::string(o.letter != 0 ? ", --" : "  --") + o.name;
    if (o.arg != nullptr) left += std::string(" ") + o.arg;
    constexpr std::size_t kColumn = 25;  // where the help texts start
    left.resize(std::max(left.size() + 2, kColumn), ' ');
    std::fputs(left.c_str(), fp);
    for (const char* p = o.help; *p != 0; ++p) {
      std::fputc(*p, fp);
      if (*p == '\n') std::fputs(std::string(kColumn, ' ').c_str(), fp);
    }
    std::fputc('\n', fp);
  }
  std::fputs(
      "\nOptions take effect in the order given, and may follow other\n"
      "arguments; -- ends them. The manual: man colsieve.\n",
      fp);
}

namespace {

// Everything after the options, for one input.
// A run of more than a few seconds shows how far it is on standard error,
// when that is a terminal; messages erase the line before they are written.
void run(const run_settings& set, int in_fd, std::FILE* msg) {
  run_progress progress;
  progress_line line(stderr, progress);
  const warn_fn warn = [msg, &line](const std::string& warning) {
    line.around([&] { say(msg, warning.c_str()); });
  };
  thread_pool pool(set.threads, warn);
  input_run in;
  in.in_name = set.in_name;
  in.fd = in_fd;
  in.outputs = set.outputs;
  in.streams = {{stdout}, {stderr}, {msg}};
  in.warn = warn;
  in.note = [&line](const std::string& text) {
    line.around([&] { std::fputs(text.c_str(), stderr); });
  };
  in.progress = &progress;
  trim_input(set, in, pool);
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
// it cannot take, and when there is no input to read.
bool parse_options(int argc, char** argv, run_settings& set, input_fd& in,
                   message_stream& msg) {
  bool in_given = false;
  int in_errno = 0;
  optind = 0;  // start afresh, also when called more than once
  int c;
  while ((c = getopt_long(argc, argv, short_options(), long_options(),
                          nullptr)) != -1) {
    switch (c) {
      case 'i': {
        set.in_name = optarg;
        const int fd = std::strcmp(optarg, "-") == 0
                           ? 0
                           : open(optarg, O_RDONLY | O_CLOEXEC);
        in_errno = errno;
        in_given = true;
        in.reset(fd);
        break;
      }
      case 'e':
        if (optarg[0] != '-') {
          msg.file.reset(std::fopen(optarg, "a"));
          msg.fp = msg.file ? msg.file.get() : stderr;
        }
        break;
      case 't':
        number_option(msg.fp, 't', optarg, &set.target_wt);
        break;
      case 'c':
        number_option(msg.fp, 'c', optarg, &set.cst);
        break;
      case 'm':
        number_option(msg.fp, 'm', optarg, &set.maxcst);
        break;
      case 'H':
        set.henikoff = 1;
        break;
      case 'N':
        set.normSeqs = 1;
        break;
      case 'r':
        set.remove_cols = 1;
        break;
      case 'p':
        set.format = out_format::phylip;
        break;
      case 'f': {
        // -p and --out-format: the last one given wins.
        const std::optional<out_format> f = parse_out_format(optarg);
        if (!f)
          throw fatal_error(std::string("Error: unknown output format \"") +
                            optarg + "\"; the formats are " +
                            out_format_names());
        set.format = *f;
        break;
      }
      case 'o':
        set.outputs.alignment = optarg;
        break;
      case 'l':
        set.outputs.column_map = optarg;
        break;
      case 'w':
        set.outputs.report = optarg;
        break;
      case 'u':
        set.fold_case = 1;
        break;
      case kSafeNamesOption:
        set.safe_names = true;
        break;
      case kCodonOption:
        set.codon = true;
        break;
      case kMaskStopsOption:
        set.mask_stops = parse_stop_mask(optarg);
        break;
      case kEndsOnlyOption:
        set.ends_only = true;
        break;
      case kComplementOption:
        set.outputs.complement = optarg;
        break;
      case kOutDirOption:
        set.out_dir = optarg;
        break;
      case kOutNameOption:
        set.out_name = optarg;
        break;
      case kSummaryOption:
        set.outputs.summary = optarg;
        break;
      case kStreamingOption:
        set.streaming = parse_streaming(optarg);
        break;
      case kCdsOption:
        if (std::strcmp(optarg, "-") == 0)
          throw fatal_error(
              "Error: --cds - is refused: standard input may carry the "
              "protein alignment; name the file of coding sequences");
        set.cds = optarg;
        break;
      case kGeneticCodeOption: {
        const std::size_t id = count_option("--genetic-code", optarg,
                                            "an NCBI translation table", 1000);
        if (genetic_code::find(static_cast<int>(id)) == nullptr)
          throw fatal_error(std::string("Error: --genetic-code (") + optarg +
                            ") is not a translation table colsieve has; it "
                            "has " +
                            genetic_code::known());
        set.genetic_code = static_cast<int>(id);
        break;
      }
      case 'j':
        // More threads than 1024 are 1024.
        set.threads = static_cast<unsigned>(std::min<std::size_t>(
            1024, count_option("--threads", optarg,
                               "the number of threads, 0 for one per CPU",
                               static_cast<std::size_t>(-1))));
        break;
      case kMaxColumnsOption:
        set.max_columns = count_option(
            "--max-columns", optarg,
            "the most columns a record may have, 0 for no limit", MAX_WIDTH);
        break;
      case 'h':
        usage(stdout);
        finish_stdout("help text");
        return false;
      case kHelpOption:
        full_usage(stdout);
        finish_stdout("help text");
        return false;
      case kVersionOption:
        // Scripts read the first line; the second names the gzip library.
        std::fprintf(stdout, "colsieve " COLSIEVE_VERSION "\ngzip: %s\n",
                     gzip_library());
        finish_stdout("version");
        return false;
      default:
        // getopt has named the problem; optopt is the option's character,
        // also when its argument is missing, else 0 or a long option's
        // value.
        throw fatal_error(
            "Error: do not understand " +
                refused_option(optopt, optind > 0 && optind <= argc
                                           ? argv[optind - 1]
                                           : nullptr) +
                " option",
            true);
    }
  }
  if (set.cds && (set.codon || set.mask_stops != stop_mask::none))
    throw fatal_error(
        "Error: --codon and --mask-stops do not go with --cds: the protein's "
        "columns make whole codons, and its letters mark the stops");
  if (set.genetic_code != 0 && !set.cds)
    throw fatal_error(
        "Error: --genetic-code goes with --cds, whose codons it checks");
  if (set.out_dir) {
    if (set.cds)
      throw fatal_error(
          "Error: --cds does not go with --out-dir: trim coding sequences one "
          "alignment at a time");
    // The inputs: -i's, then the arguments that are not options.
    if (in_given) set.inputs.push_back(set.in_name);
    set.inputs.insert(set.inputs.end(), argv + optind, argv + argc);
    in.reset(-1);
    if (set.inputs.empty())
      throw fatal_error(
          "Error-- no valid input file\nNo input was given: with --out-dir, "
          "the inputs are the arguments that are not options",
          true);
  }
  if (set.mask_stops != stop_mask::none && !set.codon)
    throw fatal_error(
        "Error: --mask-stops needs --codon: stop codons are found in the "
        "reading frame that --codon sets");
  if (in.get() < 0 && !set.out_dir)
    throw fatal_error("Error-- no valid input file\n" +
                          no_input_detail(in_given, set.in_name, in_errno,
                                          argc - optind, argv + optind),
                      true);
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
    input_fd in_file;
    if (!parse_options(argc, argv, set, in_file, msg)) return 0;
    if (set.out_dir) return trim_inputs(set, msg.fp);
    run(set, in_file.get(), msg.fp);
    return 0;
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
