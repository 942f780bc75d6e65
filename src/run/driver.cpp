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
#include "run/folders.h"
#include "run/join.h"
#include "run/naming.h"
#include "run/pipeline.h"

namespace {

// The path as a key for "the same file" where it does not exist yet: its
// folder resolved, where that exists.
std::string canonical(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string dir =
      slash == std::string::npos ? "." : path.substr(0, slash);
  std::string resolved;
  if (!resolved_folder(dir.empty() ? "/" : dir, &resolved)) return path;
  return resolved + "/" + file_name(path);
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
  std::optional<join_gene> gene;  // what the join takes of it (--concat)
};

// The files of the whole run: the summary table and the join's outputs,
// with how messages name them.
std::vector<std::pair<std::string, const char*>> whole_run_files(
    const output_paths& out) {
  std::vector<std::pair<std::string, const char*>> files;
  for (const auto& [path, what] :
       {std::pair{&out.summary, "the summary table (--summary)"},
        {&out.concat, "the supermatrix (--concat)"},
        {&out.partitions, "the partitions (--partitions)"},
        {&out.taxa_table, "the taxa table (--taxa-table)"}})
    if (*path) files.emplace_back(**path, what);
  return files;
}

// Two inputs whose partitions would have one name.
void check_gene_names(const run_settings& set,
                      const std::vector<std::string>& inputs) {
  if (!set.outputs.partitions) return;
  std::map<std::string, std::size_t> names;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const auto [it, fresh] = names.emplace(gene_name(set, inputs[i]), i);
    if (!fresh)
      throw fatal_error("Error: " + inputs[it->second] + " and " + inputs[i] +
                        " would both be named " + it->first +
                        " in the partitions (--partition-name names them; "
                        "{stem} is the input's name without its extension)");
  }
}

// The inputs of a batch and their outputs, checked before any work: -l, -w,
// --complement and --cds take templates with {stem}; no two outputs (the
// files of the whole run among them) are one file, and none is an input or
// the coding sequences of one. The identities of the files read go to
// *ids.
std::vector<planned_input> plan_batch(const run_settings& set,
                                      const std::vector<std::string>& names,
                                      input_ids* ids) {
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
  check_gene_names(set, names);
  // Every file read, as the message names it: the inputs, then the coding
  // sequences of each.
  std::map<file_key, std::string> inputs;
  std::vector<std::optional<std::string>> cds(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == "-")
      throw fatal_error(
          "Error: with --out-dir, standard input (-i -) has no name to "
          "write its output under; name the files");
    const file_key key = key_of(names[i]);
    if (key.id) ids->push_back(*key.id);
    inputs.emplace(key, "the input " + names[i]);
  }
  for (std::size_t i = 0; i < names.size() && set.cds; ++i) {
    cds[i] = expand_template(*set.cds, names[i], ext);
    const file_key key = key_of(*cds[i]);
    if (key.id) ids->push_back(*key.id);
    inputs.emplace(key, "the coding sequences of " + names[i]);
  }
  // Each output is checked against the files read, then against the
  // outputs before it; the files of the whole run come first. An output's
  // owner is an input's index, or whole_run + k for the k-th file of the
  // whole run.
  const std::size_t whole_run = names.size();
  const auto whole = whole_run_files(set.outputs);
  std::map<file_key, std::size_t> taken;
  const auto check = [&](const std::string& path, std::size_t i,
                         const std::string& writer) {
    const file_key key = key_of(path);
    const auto in = inputs.find(key);
    if (in != inputs.end())
      throw fatal_error("Error: " + writer + " would write " + path +
                        ", which is " + in->second);
    const auto [it, fresh] = taken.emplace(key, i);
    if (!fresh && it->second >= whole_run)
      throw fatal_error("Error: " + writer + " would write " + path +
                        ", which is " + whole[it->second - whole_run].second);
    if (!fresh)
      throw fatal_error("Error: " + names[it->second] + " and " + writer +
                        " would both write " + path +
                        " (--out-name names each output; {stem} is the "
                        "input's name without its extension)");
  };
  for (std::size_t k = 0; k < whole.size(); ++k)
    check(whole[k].first, whole_run + k, whole[k].second);
  std::vector<planned_input> plan(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& input = names[i];
    const auto file = [&](const std::optional<std::string>& templ) {
      return templ ? std::optional<std::string>(
                         expand_template(*templ, input, ext))
                   : std::nullopt;
    };
    plan[i].in.name = input;
    plan[i].in.cds = cds[i];
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

// What the join takes of an input's run, if the run joins.
std::optional<join_gene> keep_for_join(const run_settings& set,
                                       const std::string& input,
                                       const loaded& l, const trimmed& r,
                                       const warn_fn& warn) {
  if (!joins(set)) return std::nullopt;
  return gene_for_join(set, input, l, r, warn);
}

// A single run's supermatrix, of its one gene (taken from *gene), which is
// written among its outputs; none in a batch, whose supermatrix is the
// whole run's.
std::unique_ptr<supermatrix> single_join(const run_settings& set,
                                         std::optional<join_gene>& gene,
                                         const warn_fn& warn) {
  if (!joins(set) || set.out_dir) return nullptr;
  std::vector<join_gene> one;
  if (gene) one.push_back(std::move(*gene));
  gene.reset();
  return join_genes(set, std::move(one), warn);
}

// The files of a batch's whole run: the summary table, and the join's
// outputs apart, so that a join that fails leaves its files as they were
// while the table is still written. Made ready before any work, so that
// one that cannot be written stops the run before it starts.
struct whole_run_outputs {
  std::unique_ptr<side_files> summary, join;
};

whole_run_outputs ready_whole_run(const run_settings& set,
                                  const input_ids& inputs,
                                  const std::vector<open_stream>& streams) {
  whole_run_outputs files;
  output_paths table, join;
  table.no_alignment = join.no_alignment = true;
  table.summary = set.outputs.summary;
  join.concat = set.outputs.concat;
  join.partitions = set.outputs.partitions;
  join.taxa_table = set.outputs.taxa_table;
  if (table.summary)
    files.summary = std::make_unique<side_files>(table, inputs, streams);
  if (join.concat)
    files.join = std::make_unique<side_files>(join, inputs, streams);
  return files;
}

// Writes the files of a batch's whole run, last: the join's outputs, then
// the summary table, whose rows get their place in the supermatrix. A join
// that fails (no gene, too many columns) is said, and its files are not
// written. Returns the closing words on the join ("; 6 joined into ..."),
// empty when it failed or the run does not join; *failed is set when it
// failed.
std::string write_whole_run(const run_settings& set,
                            std::vector<planned_input>& plan,
                            whole_run_outputs& files, thread_pool& pool,
                            const warn_fn& warn, bool* failed) {
  std::unique_ptr<supermatrix> m;
  std::string words;
  if (files.join) {
    std::vector<join_gene> genes;
    std::vector<std::size_t> joined;  // the plan's index of each gene
    for (std::size_t i = 0; i < plan.size(); ++i)
      if (plan[i].gene) {
        genes.push_back(std::move(*plan[i].gene));
        plan[i].gene.reset();
        joined.push_back(i);
      }
    try {
      m = join_genes(set, std::move(genes), warn);
    } catch (const fatal_error& e) {
      warn(e.what());
      *failed = true;
    }
    if (m) {
      output_contents contents;
      join_contents(set, *m, contents, pool);
      files.join->write(contents, pool);
      for (std::size_t k = 0; k < joined.size(); ++k) {
        plan[joined[k]].row.concat_start = m->start(k) + 1;
        plan[joined[k]].row.concat_end = m->start(k) + m->columns_of(k);
      }
      words = "; " + std::to_string(m->genes()) + " joined into " +
              *set.outputs.concat + " (" + std::to_string(m->taxa()) +
              (m->taxa() == 1 ? " taxon, " : " taxa, ") +
              std::to_string(m->columns()) + " columns)";
    }
  }
  if (files.summary) {
    std::vector<summary_row> rows;
    rows.reserve(plan.size());
    for (planned_input& p : plan) rows.push_back(std::move(p.row));
    output_contents contents;
    contents.summary = buffered([&](output_buffer& out) {
      write_summary_table(out, rows, summary_format_of(*set.outputs.summary),
                          set.command_line, joins(set));
    });
    files.summary->write(contents, pool);
  }
  return words;
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
    side_files files(p.outputs, inputs_of(p.in), streams);
    loaded l = load(set, p.in, progress, pool, warn);
    const trimmed r = trim_loaded(set, l.aln, l.summary,
                                  l.cds ? &*l.cds : nullptr, pool, warn);
    std::optional<join_gene> gene = keep_for_join(set, p.in.name, l, r, warn);
    const std::unique_ptr<supermatrix> own_join = single_join(set, gene, warn);
    p.row = write_outputs(set, p.in, files, l, r, figures, pool, warn,
                          own_join.get());
    p.gene = std::move(gene);
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
  whole_run_outputs whole;
  if (batch) {
    plan = plan_batch(
        set,
        batch_inputs(set.inputs,
                     [&](const std::string& w) { hooks.say(false, w); }),
        &inputs);
    if (hooks.check_inputs) hooks.check_inputs(inputs);
    make_folders(*set.out_dir);
    whole = ready_whole_run(set, inputs, streams);
  } else {
    plan.resize(1);
    plan[0].in = {set.in_name, in_fd, set.cds};
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
  bool join_failed = false;
  const std::string joined = write_whole_run(
      set, plan, whole, pool,
      [&](const std::string& w) { hooks.say(false, w); }, &join_failed);
  if (batch)
    hooks.say(true, "colsieve: " + std::to_string(n - failed) + " of " +
                        std::to_string(n) + " alignments trimmed" +
                        (failed > 0 ? ", " + std::to_string(failed) +
                                          " failed (see above)"
                                    : std::string()) +
                        joined + ".\n");
  return failed > 0 || join_failed ? 1 : 0;
}
