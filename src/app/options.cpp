// The option table, and what is made from it: getopt_long's arrays, the
// complete help and the bash completion.
#include "app/options.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "base/error.h"
#include "core/genetic_code.h"
#include "input/gzip.h"
#include "run/setting_values.h"

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
    "Run colsieve --help for every option; the manual: man colsieve, or man "
    "./colsieve.1 in a clone.\n",
};

// What getopt_long returns for the options without a letter.
enum : int {
  kHelpOption = 256,
  kVersionOption,
  kMaxColumnsOption,
  kSafeNamesOption,
  kCodonOption,
  kMaskStopsOption,
  kEndsOnlyOption,
  kComplementOption,
  kCdsOption,
  kGeneticCodeOption,
  kOutDirOption,
  kOutNameOption,
  kSummaryOption,
  kStreamingOption,
  kConcatOption,
  kMissingCharOption,
  kTaxonFieldOption,
  kTaxonRegexOption,
  kMinTaxaOption,
  kPartitionsOption,
  kPartitionsFormatOption,
  kPartitionByOption,
  kPartitionNameOption,
  kTaxaTableOption,
};

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

void finish_stdout(const char* what) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw write_error(what, errno);
}

std::vector<std::string> words_of(std::span<const char* const> words) {
  return {words.begin(), words.end()};
}

std::vector<std::string> format_words() {
  std::vector<std::string> out;
  for (const out_format_row& row : out_format_table()) out.push_back(row.name);
  return out;
}

std::vector<std::string> genetic_code_words() {
  std::vector<std::string> out;
  for (const int id : genetic_code::ids()) out.push_back(std::to_string(id));
  return out;
}

// The actions of options that only set one setting.
template <auto field>
void set_flag(option_state& s, const char*) {
  s.set.*field = 1;
}
template <auto field>
void set_text(option_state& s, const char* arg) {
  s.set.*field = arg;
}
template <auto field>
void set_output(option_state& s, const char* arg) {
  s.set.outputs.*field = arg;
}

// --taxon-field and --taxon-regex are two ways to one setting: refuses the
// second.
void check_one_taxon_rule(const option_state& s, const taxon_rule& rule) {
  if (s.set.taxa && s.set.taxa->how != rule.how)
    throw fatal_error(
        "Error: --taxon-field and --taxon-regex are two ways to name the "
        "taxa: give one");
}

// Shorthands for the rows: no completion, or files.
constexpr completes kNone = completes::nothing;
constexpr completes kFile = completes::file;

constexpr option_row kOptions[] = {
    {'i', 'i', "input", "FILE", "Input",
     "the alignment to read (required; - is standard input):\n"
     "FASTA, PIR, A2M, Stockholm, Clustal, PHYLIP, NEXUS,\n"
     "MSF, MEGA, SELEX, PSI-BLAST, plain or gzip, told\n"
     "apart by their first lines; the last -i counts",
     kFile, nullptr,
     [](option_state& s, const char* arg) {
       s.set.in_name = arg;
       const int fd = std::strcmp(arg, "-") == 0
                          ? STDIN_FILENO
                          : open(arg, O_RDONLY | O_CLOEXEC);
       s.in_errno = errno;
       s.in_given = true;
       s.in.reset(fd);
     }},
    {'u', 'u', "fold-case", nullptr, "Input",
     "read FASTA and PIR as full alignments: lower case as\n"
     "residues, . _ ~ as gaps (default: lower case and .\n"
     "are insertions, dropped)",
     kNone, nullptr, set_flag<&run_settings::fold_case>},
    {kMaxColumnsOption, 0, "max-columns", "N", "Input",
     "most columns a record may have, 0 for no limit\n"
     "(default 45000, at most 2147483647)",
     kNone, nullptr,
     [](option_state& s, const char* arg) {
       s.set.max_columns = max_columns_value("--max-columns", arg);
     }},
    {kStreamingOption, 0, "streaming", "WHEN", "Input",
     "read a plain FASTA file in place, a pass at a time,\n"
     "instead of copying it into memory: auto (files from\n"
     "64 MiB on), always or never (default auto); standard\n"
     "input, gzip and other formats are always copied",
     completes::words, [] { return words_of(streaming_words()); },
     [](option_state& s, const char* arg) {
       s.set.streaming = streaming_value("--streaming", arg);
     }},
    {'t', 't', "target", "NUM", "Selection",
     "target weighted fraction of sequences aligning;\n"
     "columns scoring above it are kept (default 0.85)",
     kNone, nullptr,
     [](option_state& s, const char* arg) {
       number_option(s.msg.fp, 't', arg, &s.set.target_wt);
     }},
    {'c', 'c', nullptr, "NUM", "Selection",
     "scale constant for the scores; 0 or less: automatic,\n"
     "nseq ^ (1 - mean conservation) (default 1.0)",
     kNone, nullptr,
     [](option_state& s, const char* arg) {
       number_option(s.msg.fp, 'c', arg, &s.set.cst);
     }},
    {'m', 'm', nullptr, "NUM", "Selection",
     "cap for the automatic scale constant (default 1000000)", kNone, nullptr,
     [](option_state& s, const char* arg) {
       number_option(s.msg.fp, 'm', arg, &s.set.maxcst);
     }},
    {'H', 'H', nullptr, nullptr, "Selection",
     "score every column with a scale of 1.0, not -c's", kNone, nullptr,
     set_flag<&run_settings::henikoff>},
    {'N', 'N', nullptr, nullptr, "Selection",
     "accepted for compatibility; no effect", kNone, nullptr,
     set_flag<&run_settings::normSeqs>},
    {kEndsOnlyOption, 0, "ends-only", nullptr, "Selection",
     "drop only the dropped columns at either end (the run\n"
     "from the first column and the run to the last); keep\n"
     "every other column",
     kNone, nullptr, set_flag<&run_settings::ends_only>},
    {kCodonOption, 0, "codon", nullptr, "Coding sequences",
     "read the alignment as codons from its first column:\n"
     "a codon is kept only when its three columns are all\n"
     "selected, else all three are dropped",
     kNone, nullptr, set_flag<&run_settings::codon>},
    {kMaskStopsOption, 0, "mask-stops", "WHICH", "Coding sequences",
     "with --codon, make in-frame stop codons (TAA, TAG,\n"
     "TGA, U as T) gaps before weighting: terminal (each\n"
     "row's last codon), internal (the others) or all",
     completes::words, [] { return words_of(stop_mask_words()); },
     [](option_state& s, const char* arg) {
       s.set.mask_stops = stop_mask_value("--mask-stops", arg);
     }},
    {kCdsOption, 0, "cds", "FILE", "Coding sequences",
     "the coding sequences (FASTA or PIR, plain or gzip,\n"
     "unaligned) of the protein alignment's records: write\n"
     "their codon alignment, trimmed by the protein's\n"
     "columns, instead of the protein alignment; with\n"
     "--out-dir a template such as cds/{stem}.fna",
     kFile, nullptr,
     [](option_state& s, const char* arg) {
       if (std::strcmp(arg, "-") == 0)
         throw fatal_error(
             "Error: --cds - is refused: standard input may carry the "
             "protein alignment; name the file of coding sequences");
       s.set.cds = arg;
     }},
    {kGeneticCodeOption, 0, "genetic-code", "N", "Coding sequences",
     "with --cds, the NCBI translation table the codons are\n"
     "checked by: 1-6, 9-16, 21-25 (default 1, standard)",
     completes::words, genetic_code_words,
     [](option_state& s, const char* arg) {
       s.set.genetic_code = genetic_code_value("--genetic-code", arg);
     }},
    {'o', 'o', "output", "FILE", "Output",
     "write the alignment to FILE, - for standard output\n"
     "(default: standard output)",
     kFile, nullptr, set_output<&output_paths::alignment>},
    {'f', 'f', "out-format", "NAME", "Output", "{formats} (default: default)",
     completes::words, format_words,
     [](option_state& s, const char* arg) {
       // -p and --out-format: the last one given wins.
       s.set.format = out_format_value(arg);
     }},
    {'p', 'p', nullptr, nullptr, "Output",
     "the same as -f phylip; of -p and -f, the last counts", kNone, nullptr,
     [](option_state& s, const char*) { s.set.format = out_format::phylip; }},
    {'r', 'r', "remove", nullptr, "Output",
     "leave unselected columns out (default: write them in\n"
     "lower case, '.' for gaps, which tree programs read as\n"
     "residues); formats other than default and phylip\n"
     "always leave them out",
     kNone, nullptr, set_flag<&run_settings::remove_cols>},
    {kSafeNamesOption, 0, "safe-names", nullptr, "Output",
     "names in -f fasta and pir as the tree formats write\n"
     "them: first word, punctuation to _, duplicates\n"
     "refused (default: the whole header)",
     kNone, nullptr, set_flag<&run_settings::safe_names>},
    {'l', 'l', nullptr, "FILE", "Side files",
     "write the column map (column, score, kept) to FILE", kFile, nullptr,
     set_output<&output_paths::column_map>},
    {'w', 'w', nullptr, "FILE", "Side files",
     "write an HTML report of the trimming to FILE", kFile, nullptr,
     set_output<&output_paths::report>},
    {kComplementOption, 0, "complement", "FILE", "Side files",
     "write the dropped columns, in upper case and in the\n"
     "output format, to FILE",
     kFile, nullptr, set_output<&output_paths::complement>},
    {kSummaryOption, 0, "summary", "FILE", "Side files",
     "write a table of the run (one row per input: counts,\n"
     "variable and parsimony-informative sites, missing\n"
     "data, GC) to FILE, as JSON when FILE ends in .json",
     kFile, nullptr, set_output<&output_paths::summary>},
    {kOutDirOption, 0, "out-dir", "DIR", "Many alignments",
     "trim many alignments: the arguments that are not\n"
     "options (and -i's) are the inputs, each written to\n"
     "DIR (made if missing) under its name with the output\n"
     "format's extension; a folder stands for the alignments\n"
     "in it; -l, -w, --complement and --cds then take\n"
     "templates with {stem}, such as -l maps/{stem}.tsv",
     completes::folder, nullptr, set_text<&run_settings::out_dir>},
    {kOutNameOption, 0, "out-name", "TEMPLATE", "Many alignments",
     "with --out-dir, each output's name: {stem} is the\n"
     "input's name without .gz and its extension, {ext} the\n"
     "format's extension, {name} the input's name without\n"
     ".gz (default {stem}.{ext})",
     kNone, nullptr, set_text<&run_settings::out_name>},
    {kConcatOption, 0, "concat", "FILE", "Supermatrix",
     "join the trimmed alignments by taxon into one\n"
     "supermatrix, FILE, in input order and in the output\n"
     "format (-f); a taxon missing from an alignment is\n"
     "filled with --missing-char",
     kFile, nullptr, set_output<&output_paths::concat>},
    {kMissingCharOption, 0, "missing-char", "C", "Supermatrix",
     "what fills a taxon missing from an alignment: - or ?\n"
     "(default -)",
     completes::words, [] { return words_of(missing_char_words()); },
     [](option_state& s, const char* arg) {
       s.set.missing_char = missing_char_value("--missing-char", arg);
     }},
    {kTaxonFieldOption, 0, "taxon-field", "SEP:N", "Supermatrix",
     "a record's taxon is the N-th field of its name split\n"
     "at SEP, such as |:1 for Homo_sapiens|ENSG0001\n"
     "(default: the name as the output format writes it)",
     kNone, nullptr,
     [](option_state& s, const char* arg) {
       taxon_rule rule = taxon_field_value(arg);
       check_one_taxon_rule(s, rule);
       s.set.taxa = std::move(rule);
     }},
    {kTaxonRegexOption, 0, "taxon-regex", "RE", "Supermatrix",
     "a record's taxon is what the first group of the\n"
     "regular expression RE (ECMAScript) matches in its name",
     kNone, nullptr,
     [](option_state& s, const char* arg) {
       taxon_rule rule = taxon_regex_value(arg);
       check_one_taxon_rule(s, rule);
       s.set.taxa = std::move(rule);
     }},
    {kMinTaxaOption, 0, "min-taxa", "N", "Supermatrix",
     "join only the alignments with at least N taxa\n"
     "(default 0: every one)",
     kNone, nullptr,
     [](option_state& s, const char* arg) {
       s.set.min_taxa = count_value("--min-taxa", arg,
                                    "the fewest taxa an alignment joined has",
                                    static_cast<std::size_t>(-1));
     }},
    {kPartitionsOption, 0, "partitions", "FILE", "Supermatrix",
     "write the supermatrix's partitions to FILE, one an\n"
     "alignment, as RAxML and IQ-TREE read them: DNA, g1 =\n"
     "1-300 (LG, ... for protein)",
     kFile, nullptr, set_output<&output_paths::partitions>},
    {kPartitionsFormatOption, 0, "partitions-format", "STYLE", "Supermatrix",
     "raxml (the default), or nexus:\n"
     "a sets block of charsets (IQ-TREE's -p) and a\n"
     "mrbayes block (execute it in MrBayes after the matrix)",
     completes::words, [] { return words_of(partition_style_words()); },
     [](option_state& s, const char* arg) {
       s.set.partitions_format =
           partition_style_value("--partitions-format", arg);
     }},
    {kPartitionByOption, 0, "partition-by", "WHAT", "Supermatrix",
     "gene (the default), or codon: with --codon or --cds,\n"
     "a partition for each codon position of each\n"
     "alignment (g1_pos1 = 1-300\\3, ...)",
     completes::words, [] { return words_of(partition_split_words()); },
     [](option_state& s, const char* arg) {
       s.set.partition_by = partition_split_value("--partition-by", arg);
     }},
    {kPartitionNameOption, 0, "partition-name", "TEMPLATE", "Supermatrix",
     "each alignment's name in the\n"
     "partitions, made from its input as --out-name makes\n"
     "names (default {stem})",
     kNone, nullptr, set_text<&run_settings::partition_name>},
    {kTaxaTableOption, 0, "taxa-table", "FILE", "Supermatrix",
     "write a table of the supermatrix's taxa to FILE: for\n"
     "each, the alignments it is in, their columns, and the\n"
     "percent of the supermatrix it misses",
     kFile, nullptr, set_output<&output_paths::taxa_table>},
    {'e', 'e', nullptr, "FILE", "Run",
     "append warnings and errors to FILE from here on\n"
     "(default: standard error)",
     kFile, nullptr,
     [](option_state& s, const char* arg) {
       if (arg[0] == '-') return;  // opens nothing
       // Warnings appended to an input would garble it.
       const std::optional<file_id> id = regular_file_id(std::string(arg));
       if (id &&
           std::find(s.inputs.begin(), s.inputs.end(), *id) != s.inputs.end())
         throw cannot_write(std::string("message file ") + arg,
                            "it is the input file");
       if (s.msg.file != nullptr) std::fclose(s.msg.file);
       s.msg.file = std::fopen(arg, "a");
       s.msg.fp = s.msg.file != nullptr ? s.msg.file : stderr;
       s.msg.name = arg;
     }},
    {'j', 'j', "threads", "N", "Run",
     "threads to use, 0 for one per CPU the process may\n"
     "use, at most 1024 (default 0)",
     kNone, nullptr,
     [](option_state& s, const char* arg) {
       s.set.threads = threads_value("--threads", arg);
     }},
    {'h', 'h', nullptr, nullptr, "Run", "print the short help and stop", kNone,
     nullptr,
     [](option_state& s, const char*) {
       usage(stdout);
       finish_stdout("help text");
       s.done = true;
     }},
    {kHelpOption, 0, "help", nullptr, "Run", "print this help and stop", kNone,
     nullptr,
     [](option_state& s, const char*) {
       full_usage(stdout);
       finish_stdout("help text");
       s.done = true;
     }},
    {kVersionOption, 0, "version", nullptr, "Run", "print the version and stop",
     kNone, nullptr,
     [](option_state& s, const char*) {
       // Scripts read the first line; the second names the gzip library.
       std::fprintf(stdout, "colsieve " COLSIEVE_VERSION "\ngzip: %s\n",
                    gzip_library());
       finish_stdout("version");
       s.done = true;
     }},
};

constexpr std::size_t kColumn = 25;  // where the help texts start
constexpr std::size_t kWidth = 55;   // the widest line of a help text

// The help text of a row, its placeholders filled in and its lines broken
// anew where it had one: "{formats}" is the list of output formats.
std::string help_of(const option_row& o) {
  std::string help = o.help;
  const std::size_t at = help.find("{formats}");
  if (at == std::string::npos) return help;
  const std::vector<std::string> names = format_words();
  std::string list;
  for (std::size_t k = 0; k < names.size(); ++k)
    list += (k == 0 ? "" : k + 1 == names.size() ? " or " : ", ") + names[k];
  help.replace(at, 9, list);
  std::string out, line;
  for (std::size_t b = 0; b < help.size();) {
    std::size_t e = help.find(' ', b);
    if (e == std::string::npos) e = help.size();
    const std::string word = help.substr(b, e - b);
    if (!line.empty() && line.size() + 1 + word.size() > kWidth) {
      out += line + '\n';
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    b = e + 1;
  }
  return out + line;
}

}  // namespace

std::span<const option_row> option_table() { return kOptions; }

input_ids inputs_named(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  args.push_back(nullptr);
  std::optional<std::string> in, cds;
  bool batch = false;
  const int report = opterr;
  opterr = 0;  // the real pass names the options it refuses
  optind = 0;
  int c;
  while ((c = getopt_long(argc, args.data(), short_options(), long_options(),
                          nullptr)) != -1) {
    if (c == 'i') in = optarg;
    if (c == kCdsOption) cds = optarg;
    if (c == kOutDirOption) batch = true;
  }
  std::vector<std::optional<file_id>> found;
  if (in)
    found.push_back(*in == "-" ? regular_file_id(STDIN_FILENO)
                               : regular_file_id(*in));
  if (cds) found.push_back(regular_file_id(*cds));
  if (batch)
    for (int k = optind; k < argc; ++k)
      found.push_back(regular_file_id(std::string(args[k])));
  opterr = report;
  optind = 0;
  input_ids ids;
  for (const std::optional<file_id>& id : found)
    if (id) ids.push_back(*id);
  return ids;
}

void usage(std::FILE* fp) {
  for (const char* line : kHelpText) std::fputs(line, fp);
}

const char* short_options() {
  static const std::string s = [] {
    std::string out;
    for (const option_row& o : kOptions) {
      if (o.letter == 0) continue;
      out += o.letter;
      if (o.arg != nullptr) out += ':';
    }
    return out;
  }();
  return s.c_str();
}

const option* long_options() {
  static const std::vector<option> table = [] {
    std::vector<option> out;
    for (const option_row& o : kOptions)
      if (o.name != nullptr)
        out.push_back({o.name,
                       o.arg != nullptr ? required_argument : no_argument,
                       nullptr, o.code});
    out.push_back({nullptr, 0, nullptr, 0});
    return out;
  }();
  return table.data();
}

const option_row* option_of(int code) {
  for (const option_row& o : kOptions)
    if (o.code == code) return &o;
  return nullptr;
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
  for (const option_row& o : kOptions) {
    if (group == nullptr || std::strcmp(group, o.group) != 0) {
      group = o.group;
      std::fprintf(fp, "\n%s:\n", group);
    }
    std::string left = "  ";
    left += o.letter != 0 ? std::string("-") + o.letter : "  ";
    if (o.name != nullptr)
      left += std::string(o.letter != 0 ? ", --" : "  --") + o.name;
    if (o.arg != nullptr) left += std::string(" ") + o.arg;
    left.resize(std::max(left.size() + 2, kColumn), ' ');
    std::fputs(left.c_str(), fp);
    for (const char c : help_of(o)) {
      std::fputc(c, fp);
      if (c == '\n') std::fputs(std::string(kColumn, ' ').c_str(), fp);
    }
    std::fputc('\n', fp);
  }
  std::fputs(
      "\nOptions take effect in the order given, and may follow other\n"
      "arguments; -- ends them. The manual: man colsieve.\n",
      fp);
}

void write_bash_completion(std::FILE* fp) {
  std::string all, files, folders, cases;
  for (const option_row& o : kOptions) {
    std::string names;
    if (o.letter != 0) names += std::string("-") + o.letter;
    if (o.name != nullptr)
      names += std::string(names.empty() ? "" : "|") + "--" + o.name;
    for (const char* p = names.c_str(); *p != 0;) {
      const char* bar = std::strchr(p, '|');
      const std::string one = bar ? std::string(p, bar) : std::string(p);
      all += (all.empty() ? "" : " ") + one;
      p = bar ? bar + 1 : p + one.size();
    }
    if (o.arg == nullptr) continue;
    switch (o.completion) {
      case completes::file:
        files += (files.empty() ? "" : "|") + names;
        break;
      case completes::folder:
        folders += (folders.empty() ? "" : "|") + names;
        break;
      case completes::words: {
        std::string words;
        for (const std::string& w : o.words())
          words += (words.empty() ? "" : " ") + w;
        cases += "    " + names + ")\n      COMPREPLY=($(compgen -W '" + words +
                 "' -- \"$cur\"))\n      return ;;\n";
        break;
      }
      case completes::nothing:
        cases += "    " + names + ")\n      return ;;\n";
        break;
    }
  }
  std::fprintf(fp,
               "# bash completion for colsieve, made from its option table\n"
               "_colsieve() {\n"
               "  local cur prev\n"
               "  cur=${COMP_WORDS[COMP_CWORD]}\n"
               "  prev=${COMP_WORDS[COMP_CWORD-1]}\n"
               "  case $prev in\n"
               "    %s)\n"
               "      compopt -o filenames 2> /dev/null\n"
               "      COMPREPLY=($(compgen -f -- \"$cur\"))\n"
               "      return ;;\n"
               "    %s)\n"
               "      compopt -o filenames 2> /dev/null\n"
               "      COMPREPLY=($(compgen -d -- \"$cur\"))\n"
               "      return ;;\n"
               "%s"
               "  esac\n"
               "  if [[ $cur == -* ]]; then\n"
               "    COMPREPLY=($(compgen -W '%s' -- \"$cur\"))\n"
               "    return\n"
               "  fi\n"
               "  compopt -o filenames 2> /dev/null\n"
               "  COMPREPLY=($(compgen -f -- \"$cur\"))\n"
               "}\n"
               "complete -F _colsieve colsieve\n",
               files.c_str(), folders.c_str(), cases.c_str(), all.c_str());
}
