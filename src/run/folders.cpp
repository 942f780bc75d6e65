#include "run/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/unique_fd.h"
#include "input/detect.h"
#include "input/source.h"

namespace {

bool is_folder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// True when the file's first bytes (gzip undone) are an alignment of a
// format colsieve reads; as the readers tell them, FASTA starts with '>'.
bool looks_like_alignment(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const unique_fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return true;  // its run says why it cannot be read
  try {
    input_bytes bytes(fd.get(), path);
    const input_kind kind = detect_format(bytes.head());
    if (kind.fmt == format::refused) return false;
    return kind.fmt != format::fasta ||
           first_line(bytes.head()).starts_with('>');
  } catch (const fatal_error&) {
    return false;  // xz, bzip2 and the like, or gzip that is damaged
  }
}

// The names in dir, sorted, without "." and "..".
std::vector<std::string> names_in(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr)
    throw fatal_error("Error: cannot read the folder " + dir + ": " +
                      std::strerror(errno));
  std::vector<std::string> names;
  for (;;) {
    errno = 0;  // readdir's end and its failure differ only by errno
    const dirent* e = readdir(d);
    if (e == nullptr) break;
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  const int error = errno;
  closedir(d);
  if (error != 0)
    throw fatal_error("Error: cannot read the folder " + dir + ": " +
                      std::strerror(error));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> batch_inputs(const std::vector<std::string>& args,
                                      const warn_fn& warn) {
  std::vector<std::string> inputs;
  for (const std::string& arg : args) {
    if (arg == "-" || !is_folder(arg)) {
      inputs.push_back(arg);
      continue;
    }
    const std::string dir = arg.ends_with('/') ? arg : arg + "/";
    std::vector<std::string> left_out;
    std::size_t found = 0;
    for (const std::string& name : names_in(arg)) {
      const std::string path = dir + name;
      if (name[0] != '.' && looks_like_alignment(path)) {
        inputs.push_back(path);
        ++found;
      } else {
        left_out.push_back(name);
      }
    }
    if (left_out.empty() && found > 0) continue;
    std::string list;
    for (std::size_t k = 0; k < left_out.size() && k < 10; ++k)
      list += (k == 0 ? ": " : ", ") + left_out[k];
    if (left_out.size() > 10)
      list += " and " + std::to_string(left_out.size() - 10) + " more";
    warn("Warning: " + dir + " holds " + std::to_string(found) +
         (found == 1 ? " alignment" : " alignments") + "; " +
         std::to_string(left_out.size()) +
         (left_out.size() == 1 ? " entry was" : " entries were") +
         " left out (hidden, folders, or of no format colsieve reads)" + list);
  }
  return inputs;
}
