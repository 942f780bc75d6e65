// Files written beside the alignment: staged writing and the column map.
#include "output/side_output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "error.h"

staged_file::staged_file(std::string path, std::string what)
    : path_(std::move(path)), what_(std::move(what)) {
  if (path_.empty()) {
    errno = ENOENT;
    fail();
  }
  std::error_code ec;
  const auto st = std::filesystem::status(path_, ec);
  if (std::filesystem::exists(st) && !std::filesystem::is_regular_file(st)) {
    // A pipe or a device cannot be replaced: write to it as it is.
    fp_ = std::fopen(path_.c_str(), "w");
    if (fp_ == nullptr) fail();
    return;
  }
  // "x": the temporary name must be new; permissions follow the umask.
  for (int attempt = 0; fp_ == nullptr; ++attempt) {
    temp_ = path_ + ".colsieve-" + std::to_string(getpid()) + "-" +
            std::to_string(attempt);
    fp_ = std::fopen(temp_.c_str(), "wx");
    if (fp_ == nullptr && (errno != EEXIST || attempt == 100)) {
      temp_.clear();
      fail();
    }
  }
}

staged_file::~staged_file() {
  if (fp_ != nullptr) std::fclose(fp_);
  if (!temp_.empty()) std::remove(temp_.c_str());
}

void staged_file::fail() const {
  throw fatal_error("Error: cannot write " + what_ + " " + path_ + ": " +
                    std::strerror(errno));
}

void staged_file::commit() {
  std::FILE* fp = fp_;
  fp_ = nullptr;
  if (std::fclose(fp) != 0) fail();
  if (temp_.empty()) return;
  if (std::rename(temp_.c_str(), path_.c_str()) != 0) fail();
  temp_.clear();
}

void write_column_map(output_buffer& fp, const std::vector<double>& score,
                      const selection& sel) {
  fp.write("column\tscore\tkept\n", 18);
  char line[400];  // room for any double in "%f" (at most 317 characters)
  for (std::size_t j = 0; j < score.size(); ++j) {
    const int n = std::snprintf(line, sizeof line, "%zu\t%f\t%d\n", j + 1,
                                score[j], sel.is_selected[j]);
    fp.write(line, std::min(sizeof line - 1, static_cast<std::size_t>(n)));
  }
}
