// libFuzzer target: the command line. The first byte is how many arguments
// follow (up to 19), each ended by a NUL byte; what remains is standard
// input, also there as the file "t".
//
// colsieve_main runs in a scratch folder of its own (see scratch()), which
// holds a few alignments (a.fa, a.sto, a.aln, a.phy, a.nex, a.gz, a.msf,
// a.meg, a.slx; p.fa with its coding sequences a.cds; codons n.fa), an
// empty file, a file "keep" and a file "hard" with a second link "hard2". No
// argument leads out of it: a '/' becomes '_', except in /dev/null, /dev/full,
// /dev/stdin, /dev/stdout, /dev/fd/0 and /dev/fd/1. Standard output goes to a
// memory file; the tool's standard error stream to memory (sanitizer reports
// still reach the real one).
//
// Checked: the status is 0 or 1; a run that fails says so in a line that
// starts with "Error" (or "ERROR"), and one that succeeds prints none; a run
// that fails leaves every file that was there as it was (a message file may
// have lines added; a file written in place may be cut short only with a note
// saying so); no temporary file is left; no descriptor is left open. With
// --out-dir a failed input stops no other, whose outputs may replace files:
// there only the inputs' own files must stay as they were.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/colsieve.h"
#include "fuzz_support.h"

namespace {

const char kFasta[] =
    ">one first\nMKV--LAAGHTREQWKLLVDAPGRSE-NNKALFEYAGHW\n"
    ">two\nMKVA-LSAGHTREQWKLLIDAPGRSEANNKAMFEYAGHW\n"
    ">three\n-KIE-LAAGHSRDQWKLLVDAPGRSE-NNKAMFEYAGHW\n";

// The files every run starts from, by name.
const std::map<std::string, std::string>& initial_files() {
  static const std::map<std::string, std::string> files = {
      {"a.fa", kFasta},
      {"a.sto",
       "# STOCKHOLM 1.0\none MKV--LAAGHTREQWKLL\ntwo MKVA-LSAGHTREQWKLL\n\n"
       "one VDAPGRSE-NNKALFEYAGHW\ntwo IDAPGRSEANNKAMFEYAGHW\n//\n"},
      {"a.aln",
       "CLUSTAL W (1.83) multiple sequence alignment\n\n"
       "one     MKV--LAAGHTREQWKLL\ntwo     MKVA-LSAGHTREQWKLL\n"
       "        *** * * ********\n\n"
       "one     VDAPGRSE-NN\ntwo     IDAPGRSEANN\n"},
      {"a.phy", "2 12\none  MKV--LAAGHTR\ntwo  MKVA-LSAGHTR\n"},
      {"a.nex",
       "#NEXUS\nBEGIN DATA;\nDIMENSIONS NTAX=2 NCHAR=8;\n"
       "FORMAT DATATYPE=PROTEIN GAP=-;\nMATRIX\n'one a' MKV--LAA\n"
       "two MKVA-LSA\n;\nEND;\n"},
      {"a.gz", gzip_of(kFasta, 2, 8, 3, 6)},
      {"a.msf",
       "PileUp\n\n  a.msf MSF: 12 Type: P Check: 0 ..\n\n"
       "  Name: one Len: 12 Check: 0 Weight: 1.00\n"
       "  Name: two Len: 12 Check: 0 Weight: 1.00\n\n//\n\n"
       "one  MKV..LAAGH TR\ntwo  MKVA.LSAGH TR\n"},
      {"a.meg",
       "#mega\n!Title: t;\n!Format DataType=Protein Identical=. Indel=-;\n\n"
       "#one\nMKV--LAAGHTR\n#two\n...A-.S.....\n"},
      {"a.slx", "#=RF xxxxxxxxxxxx\none  MKV..LAAGHTR\ntwo  MKVA.LSAGHTR\n"},
      {"p.fa", ">x\nMK-W\n>y\nMKAW\n"},
      {"a.cds", ">x\nATGAAATGG\n>y\nATGAAAGCTTGG\n"},
      {"n.fa", ">x\nATGAAA---TGGTAA\n>y\nATGAAAGCTTGGTAG\n"},
      {"empty", ""},
      {"keep", "old\n"},
      {"hard", "old\n"},
  };
  return files;
}

// Every name in the scratch folder.
std::vector<std::string> entries() {
  std::vector<std::string> names;
  DIR* dir = opendir(".");
  if (dir == nullptr) fault("opendir");
  while (const dirent* e = readdir(dir))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
      names.push_back(e->d_name);
  closedir(dir);
  return names;
}

void put_file(const std::string& name, const std::string& text) {
  const int fd =
      open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 ||
      write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    fault("scratch file " + name);
  close(fd);
}

std::string read_file(const std::string& name) {
  const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "(none)";
  std::string text = fd_text(fd);
  close(fd);
  return text;
}

// Enters the scratch folder (made on the first call) with its files as
// every run starts from them.
void enter_scratch(const std::string& input) {
  if (chdir(scratch().c_str()) != 0) fault("chdir");
  for (const std::string& name : entries())  // folders of --out-dir too
    if (nftw(name.c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS) != 0)
      fault("remove " + name);
  for (const auto& [name, text] : initial_files()) put_file(name, text);
  put_file("t", input);
  if (link("hard", "hard2") != 0) fault("link");
}

std::size_t open_descriptors() {
  std::size_t n = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  while (const dirent* e = readdir(dir)) n += e->d_name[0] != '.';
  closedir(dir);
  return n - 1;  // the folder's own descriptor
}

// An argument that cannot lead out of the scratch folder.
std::string confined(std::string arg) {
  for (const char* ok : {"/dev/null", "/dev/full", "/dev/stdin", "/dev/stdout",
                         "/dev/fd/0", "/dev/fd/1"})
    if (arg == ok) return arg;
  for (char& c : arg)
    if (c == '/') c = '_';
  return arg;
}

// Whether a line starts with "Error" or "ERROR", as the tool's errors do;
// in a batch, after the name of the input and ": ".
bool has_error_line(const std::string& text, bool batch) {
  for (const char* start : {"Error", "ERROR"}) {
    if (text.compare(0, 5, start) == 0 ||
        text.find(std::string("\n") + start) != std::string::npos ||
        (batch && text.find(std::string(": ") + start) != std::string::npos))
      return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 1) return 0;
  const char* p = reinterpret_cast<const char*>(data) + 1;
  const char* end = reinterpret_cast<const char*>(data) + size;
  std::vector<std::string> args = {"colsieve"};
  for (unsigned n = data[0] % 20; n > 0 && p < end; --n) {
    const char* nul = static_cast<const char*>(std::memchr(p, 0, end - p));
    if (nul == nullptr) nul = end;
    args.push_back(confined(std::string(p, nul)));
    p = nul < end ? nul + 1 : end;
  }
  const std::string input(p, end);

  const std::size_t fds_before = open_descriptors();
  const int home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (home < 0) fault("open .");
  enter_scratch(input);

  // Standard input: a pipe holding the input, or a memory file when it
  // does not fit. Standard output: a memory file.
  int in_fd;
  int pipe_fds[2];
  if (input.size() <= 60000 && pipe2(pipe_fds, O_CLOEXEC) == 0) {
    if (write(pipe_fds[1], input.data(), input.size()) !=
        static_cast<ssize_t>(input.size()))
      fault("pipe");
    close(pipe_fds[1]);
    in_fd = pipe_fds[0];
  } else {
    in_fd = memory_fd(input);
  }
  const int out_fd = memory_fd("");
  std::fflush(stdout);
  const int saved_in = dup(0), saved_out = dup(1);
  dup2(in_fd, 0);
  dup2(out_fd, 1);
  close(in_fd);
  char* err_text = nullptr;
  std::size_t err_size = 0;
  std::FILE* err = open_memstream(&err_text, &err_size);
  std::FILE* const real_stderr = stderr;
  stderr = err;

  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int status = colsieve_main(static_cast<int>(args.size()), argv.data());

  std::fflush(stdout);
  stderr = real_stderr;
  std::fclose(err);
  const std::string messages(err_text, err_size);
  std::free(err_text);
  dup2(saved_in, 0);
  dup2(saved_out, 1);
  close(saved_in);
  close(saved_out);
  const std::string output = fd_text(out_fd);
  close(out_fd);

  // --out-dir, or any abbreviation getopt takes for it.
  bool batch = false;
  for (const std::string& a : args) {
    const std::string opt = a.substr(0, a.find('='));
    batch =
        batch || (opt.size() >= 7 && opt.size() <= 9 &&
                  std::string("--out-dir").compare(0, opt.size(), opt) == 0);
  }
  if (status != 0 && status != 1) fault("status " + std::to_string(status));
  // Messages may have gone to a file (-e) in the folder, or to standard
  // output (-e /dev/stdout); -e /dev/null or /dev/full loses them.
  std::string all = messages + "\n" + output;
  for (const std::string& name : entries()) all += "\n" + read_file(name);
  bool lost = false;
  for (const std::string& a : args)
    lost = lost || a == "/dev/null" || a == "/dev/full";
  if (status == 1 && !lost && !has_error_line(all, batch))
    fault("failed without an error");
  if (status == 0 && has_error_line(messages, batch))
    fault("an error, but status 0: " + messages);
  for (const std::string& name : entries())
    if (name.find(".colsieve-") != std::string::npos)
      fault("temporary file left: " + name);
  if (status == 1) {
    std::map<std::string, std::string> before = initial_files();
    before["hard2"] = before["hard"];
    before["t"] = input;
    for (const auto& [name, text] : before) {
      if (batch && std::find(args.begin() + 1, args.end(), name) == args.end())
        continue;  // the output of an input that succeeded may replace it
      const std::string now = read_file(name);
      const bool noted =
          all.find(name + " may be incomplete") != std::string::npos;
      if (now.compare(0, text.size(), text) != 0 && !noted)
        fault("a failed run changed " + name);
    }
  }
  if (fchdir(home) != 0) fault("fchdir");
  close(home);
  if (open_descriptors() != fds_before) fault("a descriptor was left open");
  return 0;
}
