// Destinations: resolving a path, guarding what must not be overwritten,
// staged, in-place and direct writing, and removing temporary files when a
// signal ends the run.
#include "output/destination.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "base/error.h"

// Temporary files that exist right now, for the signal handler: a list
// that only grows, of slots used again once free (batch runs write many
// files at once, on several threads). A slot is filled before its file is
// created and emptied after it was renamed or removed, so that no file is
// ever missed; the handler only reads it.
struct temp_slot {
  std::atomic<bool> active{false};
  char path[PATH_MAX + 1];
  temp_slot* next = nullptr;  // set before the slot is published
};

namespace {

std::atomic<temp_slot*> g_slots{nullptr};
std::mutex g_slots_mutex;  // for the threads that fill and empty slots
std::atomic<bool> g_handlers_installed{false};
std::atomic<bool> g_handlers_wanted{false};
constexpr int kCleanupSignals[] = {SIGHUP, SIGINT, SIGPIPE, SIGTERM};

extern "C" void remove_temps_and_die(int sig) {
  for (temp_slot* s = g_slots.load(); s != nullptr; s = s->next)
    if (s->active.load()) unlink(s->path);
  // End by the same signal, so that the caller sees the usual status: the
  // default action, with the signal no longer blocked by this handler, so
  // that it is delivered at once. Should it come back, end with the status
  // a shell would show for it.
  signal(sig, SIG_DFL);
  sigset_t self;
  sigemptyset(&self);
  sigaddset(&self, sig);
  pthread_sigmask(SIG_UNBLOCK, &self, nullptr);
  raise(sig);
  _exit(128 + sig);
}

void install_cleanup_handlers() {
  if (!g_handlers_wanted.load() || g_handlers_installed.exchange(true)) return;
  for (int sig : kCleanupSignals) {
    struct sigaction old {};
    sigaction(sig, nullptr, &old);
    if (old.sa_handler == SIG_IGN) continue;  // nohup and the like: keep it
    struct sigaction sa {};
    sa.sa_handler = remove_temps_and_die;
    sigemptyset(&sa.sa_mask);
    for (int other : kCleanupSignals) sigaddset(&sa.sa_mask, other);
    sigaction(sig, &sa, nullptr);
  }
}

// Fills a free slot with path; returns it, or nullptr when the path does
// not fit.
temp_slot* register_temp(const std::string& path) {
  if (path.size() > PATH_MAX) return nullptr;
  install_cleanup_handlers();
  std::lock_guard<std::mutex> lock(g_slots_mutex);
  temp_slot* s = g_slots.load();
  while (s != nullptr && s->active.load()) s = s->next;
  if (s == nullptr) {
    s = new temp_slot;  // kept for the rest of the run
    s->next = g_slots.load();
    g_slots.store(s);
  }
  std::memcpy(s->path, path.c_str(), path.size() + 1);
  s->active.store(true);
  return s;
}

void release_temp(temp_slot* slot) {
  if (slot == nullptr) return;
  std::lock_guard<std::mutex> lock(g_slots_mutex);
  slot->active.store(false);
}

std::string dir_name(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string base_name(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links from path to the file that opening it would reach,
// which may not exist yet. Returns false (errno set) on a loop.
bool follow_links(std::string* path) {
  for (int hops = 0; hops < 40; ++hops) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path->c_str(), buf, sizeof buf);
    if (n < 0) return true;  // not a link, or nothing there: the target
    std::string next(buf, static_cast<std::size_t>(n));
    if (next[0] != '/') next = dir_name(*path) + "/" + next;
    *path = next;
  }
  errno = ELOOP;
  return false;
}

// The descriptor a path names as an open file of this process
// (/dev/stdout, /dev/fd/3, /proc/self/fd/3), or -1.
int named_descriptor(const std::string& path) {
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::size_t len = std::strlen(prefix);
    if (path.compare(0, len, prefix) != 0 || path.size() == len ||
        path.size() > len + 9)
      continue;
    int fd = 0;
    for (std::size_t i = len; i < path.size(); ++i) {
      if (path[i] < '0' || path[i] > '9') return -1;
      fd = fd * 10 + (path[i] - '0');
    }
    return fd;
  }
  return -1;
}

std::optional<file_id> id_of(const struct stat& st) {
  return file_id{st.st_dev, st.st_ino};
}

}  // namespace

void remove_temps_on_signals() { g_handlers_wanted.store(true); }

bool resolved_folder(const std::string& dir, std::string* out) {
  static std::mutex mutex;
  static std::unordered_map<std::string, std::string> known;
  // A relative folder is known by the working folder too: a process that
  // runs many times (the Python module) may change it between runs.
  std::string key = dir;
  if (dir.empty() || dir[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return false;
    key = std::string(cwd) + '\0' + dir;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex);
    const auto it = known.find(key);
    if (it != known.end()) {
      *out = it->second;
      return true;
    }
  }
  char buf[PATH_MAX];
  if (realpath(dir.c_str(), buf) == nullptr) return false;
  *out = buf;
  const std::lock_guard<std::mutex> lock(mutex);
  known.emplace(std::move(key), *out);
  return true;
}

std::optional<file_id> regular_file_id(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return id_of(st);
}

std::optional<file_id> regular_file_id(const std::string& path) {
  struct stat st {};
  const int fd = named_descriptor(path);
  if (fd >= 0) return regular_file_id(fd);
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return id_of(st);
}

void destination::fail(int err) const {
  throw write_error(what_ + " " + path_, err);
}

bool destination::same_file(const destination& other) const {
  if (id_ && other.id_) return *id_ == *other.id_;
  return !id_ && !other.id_ && !canonical_.empty() &&
         canonical_ == other.canonical_;
}

destination::destination(std::string path, std::string what,
                         const input_ids& inputs,
                         const std::vector<open_stream>& streams,
                         const std::vector<const destination*>& others)
    : path_(std::move(path)), what_(std::move(what)) {
  if (path_.empty()) fail(ENOENT);

  // Where does the path lead? An open descriptor named by its path is that
  // descriptor; anything else is looked up with links followed.
  struct stat st {};
  const int fd = named_descriptor(path_);
  bool exists;
  if (fd >= 0 && fcntl(fd, F_GETFD) != -1) {
    if (fstat(fd, &st) != 0) fail(errno);
    exists = true;
  } else if (stat(path_.c_str(), &st) == 0) {
    exists = true;
  } else if (errno == ENOENT) {
    exists = false;
  } else {
    fail(errno);
  }

  // The file opening the path reaches: where a temporary file goes.
  target_ = path_;
  if (!follow_links(&target_)) fail(errno);
  if (exists) {
    if (S_ISDIR(st.st_mode)) fail(EISDIR);
    if (S_ISREG(st.st_mode)) {
      id_ = id_of(st);
      if (std::find(inputs.begin(), inputs.end(), *id_) != inputs.end())
        throw cannot_write(what_ + " " + path_, "it is the input file");
    }
  } else {
    std::string dir;
    if (!resolved_folder(dir_name(target_), &dir)) fail(errno);
    canonical_ = dir + "/" + base_name(target_);
  }
  for (const destination* other : others)
    if (same_file(*other))
      throw cannot_write(
          what_ + " " + path_,
          "it is the same file as the " + other->what_ + " " + other->path_);

  if (exists) {
    // A stream the run already writes: write through it, in order with
    // what else goes there, and never truncate it.
    for (const open_stream& s : streams) {
      struct stat sst {};
      const int sfd = fileno(s.fp);
      if (sfd == fd || (fstat(sfd, &sst) == 0 && sst.st_dev == st.st_dev &&
                        sst.st_ino == st.st_ino)) {
        mode_ = mode::direct;
        fp_ = s.fp;
        return;
      }
    }
    if (fd >= 0 || !S_ISREG(st.st_mode)) {
      // Another descriptor of ours, a pipe or a device: write to it as it is.
      mode_ = mode::direct;
      const int out =
          fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 3)
                  : open(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      if (out < 0) fail(errno);
      fp_ = fdopen(out, "w");
      if (fp_ == nullptr) {
        const int err = errno;
        close(out);
        fail(err);
      }
      own_fp_ = true;
      return;
    }
  }

  // A rename would cut other hard links off the new content and give the
  // file our ownership: write such files in place.
  if (!exists || (st.st_nlink == 1 && st.st_uid == geteuid())) {
    const int err = stage(exists ? &st : nullptr);
    if (err == 0) return;
    if (!exists) fail(err);  // nothing to write in place
  }
  mode_ = mode::in_place;
  fd_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) fail(errno);
}

int destination::stage(const struct stat* replaced) {
  const std::string dir = dir_name(target_), base = base_name(target_);
  // The process id asked each time: a process forked from one that wrote
  // (the Python module's) names its files after itself.
  const std::string suffix = ".colsieve-" + std::to_string(getpid()) + "-";
  // A name too long for the suffix gets a short temporary name.
  const std::string prefix =
      dir + "/" + (base.size() + suffix.size() + 4 <= NAME_MAX ? base : "") +
      suffix;
  for (int attempt = 0; attempt <= 100; ++attempt) {
    temp_ = prefix + std::to_string(attempt);
    slot_ = register_temp(temp_);
    if (slot_ == nullptr) break;
    const int out =
        open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    const int err = errno;
    if (out < 0) {
      drop_temp(false);
      if (err == EEXIST) continue;
      return err;
    }
    // The replaced file's permissions and group carry over; where they
    // cannot, it is written in place instead.
    if (replaced != nullptr &&
        (fchmod(out, replaced->st_mode & 07777) != 0 ||
         fchown(out, static_cast<uid_t>(-1), replaced->st_gid) != 0)) {
      close(out);
      drop_temp(true);
      return EPERM;
    }
    fp_ = fdopen(out, "w");
    if (fp_ == nullptr) {
      close(out);
      drop_temp(true);
      return ENOMEM;
    }
    own_fp_ = true;
    mode_ = mode::staged;
    return 0;
  }
  drop_temp(false);
  return ENAMETOOLONG;
}

void destination::drop_temp(bool created) {
  if (created) unlink(temp_.c_str());
  release_temp(slot_);
  slot_ = nullptr;
  temp_.clear();
}

destination::~destination() {
  if (own_fp_ && fp_ != nullptr) std::fclose(fp_);
  if (!temp_.empty()) drop_temp(true);
  if (fd_ >= 0) close(fd_);
}

void destination::write(content_writer content) {
  if (mode_ == mode::in_place) {
    later_ = std::move(content);
    return;
  }
  content(fp_, what_ + " " + path_);
}

void destination::finish() {
  switch (mode_) {
    case mode::staged:
    case mode::direct: {
      if (!own_fp_) {
        if (std::fflush(fp_) != 0) fail(errno);
        break;
      }
      std::FILE* fp = fp_;
      fp_ = nullptr;
      own_fp_ = false;
      if (std::fclose(fp) != 0) fail(errno);
      break;
    }
    case mode::in_place: {
      if (!later_) break;
      const auto incomplete = [this](const std::string& message) {
        return fatal_error(message + " (" + path_ + " may be incomplete)");
      };
      if (ftruncate(fd_, 0) != 0)
        throw incomplete(write_error(what_ + " " + path_, errno).what());
      std::FILE* fp = fdopen(fd_, "w");
      if (fp == nullptr) fail(errno);
      fd_ = -1;
      try {
        later_(fp, what_ + " " + path_);
      } catch (const fatal_error& e) {
        std::fclose(fp);
        throw incomplete(e.what());
      }
      if (std::fclose(fp) != 0)
        throw incomplete(write_error(what_ + " " + path_, errno).what());
      break;
    }
  }
}

void destination::commit() {
  if (mode_ != mode::staged || temp_.empty()) return;
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) fail(errno);
  drop_temp(false);
}
