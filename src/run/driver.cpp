#include "run/driver.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/unique_fd.h"
#include "output/buffer.h"
#include "output/destination.h"
#include "output/formats.h"
#include "output/summary_table.h"
#include "run/naming.h"
#include "run/pipeline.h"

namespace {

// The path as a key for "the same file" where it does not exist yet: its
// folder resolved, where that exists.
std::string canonical(const std::string& path) {
  char buf[PATH_MAX];
  if (realpath(path.c_str(), buf) != nullptr) return buf;
  const std::size_t slash = path.rfind('/');
  const std::string dir =
      slash == std::string::npos ? "." : path.substr(0, slash);
  if (realpath(dir.empty() ? "/" : dir.c_str(), buf) == nullptr) return path;
  return std::string(buf) + "/" + file_name(path);
}

// A file as outputs and inputs are told apart: its identity where it
// exists (hard links and other names of one file are one file), else its
// path with the folder resolved.
struct file_key {
  std::optional<file_id> id;
  std::string path;
  bool operator<(const file_key& o) const {
    if (id.has_value() != o.id.has_value()) return id.has_value();
    if (id)
      return id->dev != o.id->dev ? id->dev < o.id->dev : id->ino < o.id->ino;
    return path < o.path;
  }
};

file_key key_of(const std::string& path) {
  const std::optional<file_id> id = regular_file_id(path);
  return id ? file_key{id, {}} : file_key{std::nullopt, canonical(path)};
}

void make_folders(const std::string& dir) {
  for (std::size_t at = 1; at <= dir.size(); ++at) {
    if (at < dir.size() && dir[at] != '/') continue;
    const std::string part = dir.substr(0, at);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
      throw fatal_error("Error: cannot create the folder " + part + ": " +
                        std::strerror(errno));
  }
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw fatal_error("Error: --out-dir " + dir + " is not a folder");
}

// An input, where its outputs go, and how its run ended.
struct planned_input {
  input_ref in;
  output_paths outputs;
  std::vector<std::pair<bool, std::string>> lines;  // held back: note?, text
  summary_row row;
};

// The inputs of a batch and their outputs, checked before any work: -l, -w
// and --complement take templates with {stem}; no two outputs (the summary
// table among them) are one file, and none is an input. The identities of
// the inputs go to *ids.
std::vector<planned_input> plan_batch(const run_settings& set, input_ids* ids) {
  const std::string ext = out_format_row_of(set.format).extension;
  for (const auto& [templ, option] :
       {std::pair{&set.outputs.column_map, "-l"},
        {&set.outputs.report, "-w"},
        {&set.outputs.complement, "--complement"}})
    if (*templ && !names_each_input(**templ))
      throw fatal_error(std::string("Error: with --out-dir, ") + option +
                        " takes a name template with {stem} in it, one file "
                        "for each input (for example " +
                        option + " maps/{stem}.tsv)");
  std::map<file_key, std::size_t> inputs, taken;
  for (std::size_t i = 0; i < set.inputs.size(); ++i) {
    if (set.inputs[i] == "-")
      throw fatal_error(
          "Error: with --out-dir, standard input (-i -) has no name to "
          "write its output under; name the files");
    const file_key key = key_of(set.inputs[i]);
    if (key.id) ids->push_back(*key.id);
    inputs.emplace(key, i);
  }
  // Each output is checked against the inputs, then against the outputs
  // before it; the summary table comes first, as the file of the whole run.
  const std::size_t whole_run = set.inputs.size();
  const auto check = [&](const std::string& path, std::size_t i,
                         const std::string& writer) {
    const file_key key = key_of(path);
    const auto in = inputs.find(key);
    if (in != inputs.end())
      throw fatal_error("Error: " + writer + " would write " + path +
                        ", which is the input " + set.inputs[in->second]);
    const auto [it, fresh] = taken.emplace(key, i);
    if (!fresh && it->second == whole_run)
      throw fatal_error("Error: " + writer + " would write " + path +
                        ", which is the summary table (--summary)");
    if (!fresh)
      throw fatal_error("Error: " + set.inputs[it->second] + " and " + writer +
                        " would both write " + path +
                        " (--out-name names each output; {stem} is the "
                        "input's name without its extension)");
  };
  if (set.outputs.summary)
    check(*set.outputs.summary, whole_run, "the summary table (--summary)");
  std::vector<planned_input> plan(set.inputs.size());
  for (std::size_t i = 0; i < set.inputs.size(); ++i) {
    const std::string& input = set.inputs[i];
    const auto file = [&](const std::optional<std::string>& templ) {
      return templ ? std::optional<std::string>(
                         expand_template(*templ, input, ext))
                   : std::nullopt;
    };
    plan[i].in.name = input;
    output_paths& out = plan[i].outputs;
    out.alignment =
        *set.out_dir + "/" +
        expand_template(set.out_name.value_or("{stem}.{ext}"), input, ext);
    out.column_map = file(set.outputs.column_map);
    out.report = file(set.outputs.report);
    out.complement = file(set.outputs.complement);
    for (const std::optional<std::string>* p :
         {&out.alignment, &out.column_map, &out.report, &out.complement})
      if (*p) check(**p, i, input);
  }
  return plan;
}

// Runs one input, every phase of it; whatever fails is its own: the error
// is said and its row says so.
void run_one(const run_settings& set, planned_input& p,
             const std::vector<open_stream>& streams, bool figures,
             run_progress* progress, thread_pool& pool,
             const std::function<void(bool, const std::string&)>& say) {
  p.row.input = p.in.name;
  const warn_fn warn = [&say](const std::string& w) { say(false, w); };
  std::string error;
  unique_fd own;
  if (p.in.fd < 0) {
    own.reset(open(p.in.name.c_str(), O_RDONLY | O_CLOEXEC));
    p.in.fd = own.get();
  }
  try {
    if (p.in.fd < 0)
      throw fatal_error("Error: cannot open " + p.in.name + ": " +
                        std::strerror(errno));
    side_files files(p.outputs, inputs_of(set, p.in.fd), streams);
    loaded l = load(set, p.in, progress, pool, warn);
    const trimmed r = trim_loaded(set, l.aln, l.summary,
                                  l.cds ? &*l.cds : nullptr, pool, warn);
    p.row = write_outputs(set, p.in, files, l, r, figures, pool, warn);
    for (const std::string& line : closing_lines(set, l, r)) say(true, line);
    return;
  } catch (const fatal_error& e) {
    error = e.what();
  } catch (const std::bad_alloc&) {
    error = "Error: out of memory";
  } catch (const std::exception& e) {
    error = std::string("Error: ") + e.what();
  }
  say(false, error);
  p.row = summary_row();
  p.row.input = p.in.name;
  p.row.error = error.substr(0, error.find('\n'));
}

// A message of an input, each of its lines prefixed by the input's name.
std::string prefixed(const std::string& name, const std::string& text,
                     bool note) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (!out.empty()) out += '\n';
    out += name + ": " + text.substr(at, end - at);
    at = end + 1;
  }
  return note ? out + '\n' : out;
}

// Inputs at least this large run one at a time, on every thread.
constexpr off_t kLargeInput = off_t{4} << 20;
// What an input costs besides its bytes (opening, naming, renaming), in
// bytes' worth of work, for the pool to weigh a group of small inputs.
constexpr std::size_t kInputCost = std::size_t{256} << 10;

}  // namespace

int run_inputs(const run_settings& set, int in_fd, std::FILE* msg,
               const run_hooks& hooks) {
  const std::vector<open_stream> streams = {{stdout}, {stderr}, {msg}};
  const bool batch = set.out_dir.has_value();
  // A single run is a batch of one, its messages as they are, its summary
  // table among its own outputs.
  input_ids inputs;
  std::vector<planned_input> plan;
  if (batch) {
    plan = plan_batch(set, &inputs);
    make_folders(*set.out_dir);
  } else {
    plan.resize(1);
    plan[0].in = {set.in_name, in_fd};
    plan[0].outputs = set.outputs;
  }
  const auto say_now = [&](const planned_input& p, bool note,
                           const std::string& text) {
    hooks.say(note, batch ? prefixed(p.in.name, text, note) : text);
  };
  thread_pool pool(set.threads,
                   [&](const std::string& w) { hooks.say(false, w); });
  const bool figures = set.outputs.summary.has_value();
  const std::size_t n = plan.size();
  std::vector<std::size_t> sizes(n, 0);
  for (std::size_t i = 0; i < n && batch; ++i) {
    struct stat st {};
    if (stat(plan[i].in.name.c_str(), &st) == 0)
      sizes[i] = static_cast<std::size_t>(st.st_size);
  }
  const auto large = [&](std::size_t i) {
    return sizes[i] >= static_cast<std::size_t>(kLargeInput);
  };
  for (std::size_t i = 0; i < n;) {
    // One input alone on every thread, its messages as they come; or the
    // small ones up to the next large one, side by side, each thread taking
    // the next input as soon as it is done with one, their messages held
    // back and said in input order as soon as those before are said.
    if (n == 1 || large(i)) {
      planned_input& p = plan[i];
      run_one(
          set, p, streams, figures, n == 1 ? hooks.progress : nullptr, pool,
          [&](bool note, const std::string& text) { say_now(p, note, text); });
      ++i;
      continue;
    }
    std::size_t end = i, work = 0;
    while (end < n && !large(end)) work += sizes[end++] + kInputCost;
    std::atomic<std::size_t> next{i};
    std::mutex said;
    std::size_t to_say = i;
    std::vector<char> done(end - i, 0);
    pool.run(pool.threads_for(work), work, [&](std::size_t) {
      for (std::size_t k; (k = next.fetch_add(1)) < end;) {
        planned_input& p = plan[k];
        run_one(set, p, streams, figures, nullptr, thread_pool::serial(),
                [&p](bool note, const std::string& text) {
                  p.lines.emplace_back(note, text);
                });
        const std::lock_guard<std::mutex> lock(said);
        done[k - i] = 1;
        for (; to_say < end && done[to_say - i]; ++to_say) {
          for (const auto& [note, text] : plan[to_say].lines)
            say_now(plan[to_say], note, text);
          std::vector<std::pair<bool, std::string>>().swap(plan[to_say].lines);
        }
      }
    });
    i = end;
  }
  std::size_t failed = 0;
  for (const planned_input& p : plan) failed += !p.row.ok;
  if (batch && set.outputs.summary) {
    // The table of the whole batch, an output as any other.
    std::vector<summary_row> rows;
    rows.reserve(n);
    for (planned_input& p : plan) rows.push_back(std::move(p.row));
    output_paths table;
    table.summary = set.outputs.summary;
    table.no_alignment = true;
    side_files files(table, inputs, streams);
    output_contents contents;
    contents.summary = [&](std::FILE* fp, const std::string& name) {
      output_buffer out(fp, name);
      write_summary_table(out, rows, summary_format_of(*table.summary),
                          set.command_line);
      out.flush();
    };
    files.write(contents, pool);
  }
  if (batch)
    hooks.say(true, "colsieve: " + std::to_string(n - failed) + " of " +
                        std::to_string(n) + " alignments trimmed" +
                        (failed > 0 ? ", " + std::to_string(failed) +
                                          " failed (see above)"
                                    : std::string()) +
                        ".\n");
  return failed > 0 ? 1 : 0;
}
