#include "trim_run.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <new>
#include <string_view>

#include "core/alphabet.h"
#include "core/back_translation.h"
#include "core/genetic_code.h"
#include "core/site_stats.h"
#include "core/trimming.h"
#include "error.h"
#include "input/cds.h"
#include "input/read_input.h"
#include "input/records.h"
#include "output/buffer.h"
#include "output/column_map.h"
#include "output/formats.h"
#include "output/report.h"

trim_options trim_options_of(const run_settings& set) {
  trim_options opts;
  opts.target_wt = set.target_wt;
  opts.cst = set.cst;
  opts.maxcst = set.maxcst;
  opts.henikoff = set.henikoff != 0;
  opts.codon = set.codon;
  opts.stops = set.mask_stops;
  opts.ends_only = set.ends_only;
  return opts;
}

void written_of(const run_settings& set, const alignment& aln,
                const input_summary& summary, const trimming& t,
                thread_pool& pool, const warn_fn& warn, written* w) {
  w->aln = &aln;
  w->kept = t.kept;
  if (set.cds) {
    const std::size_t limit =
        set.max_columns == 0 ? MAX_WIDTH : set.max_columns;
    const sequence_set cds = read_coding_sequences(
        *set.cds, std::min(MAX_WIDTH, 3 * limit + 3), pool, warn);
    const genetic_code& code =
        *genetic_code::find(std::max(1, set.genetic_code));
    w->codons = thread_codons(aln, {summary.letters, summary.columns}, cds,
                              code, pool, warn);
    w->aln = &w->codons;
    w->kept = codon_verdict(t.kept);
  }
  if (set.outputs.complement) w->dropped = complement_of(w->kept);
}

namespace {

// The summary row of a run that completed: its figures are those of the
// alignment written, before trimming and after.
summary_row row_of(const std::string& input, const input_summary& summary,
                   const trimming& t, const written& w, bool figures,
                   thread_pool& pool) {
  summary_row r;
  r.input = input;
  r.format = summary.format;
  r.ok = true;
  r.sequences = w.aln->nseq();
  r.columns = w.aln->lseq;
  r.kept_columns = static_cast<std::size_t>(w.kept.n_gt_target);
  r.kept_fraction = static_cast<double>(t.sel.n_gt_target) /
                    static_cast<double>(t.score.size());
  r.target = t.sel.target_wt;
  if (figures) {
    const std::vector<unsigned char> all(w.aln->lseq, 1);
    const alphabet kind = guess_alphabet(*w.aln, all);
    r.nucleotides = kind != alphabet::protein;
    r.before = column_stats(*w.aln, all, kind, pool);
    r.after = column_stats(*w.aln, w.kept.is_selected, kind, pool);
  }
  return r;
}

std::string printed(const char* fmt, double a, double b) {
  char line[900];  // room for two doubles in "%f"
  std::snprintf(line, sizeof line, fmt, a, b);
  return line;
}

bool ends_with(const std::string& s, const std::string& end) {
  return s.size() >= end.size() &&
         s.compare(s.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

const char* out_extension(out_format f) {
  switch (f) {
    case out_format::phylip:
    case out_format::phylip_relaxed:
    case out_format::phylip_strict:
    case out_format::paml:
      return "phy";
    case out_format::nexus:
      return "nex";
    case out_format::clustal:
      return "aln";
    case out_format::pir:
      return "pir";
    default:
      return "fa";
  }
}

summary_row trim_input(const run_settings& set, const input_run& in,
                       thread_pool& pool) {
  input_options in_opts;
  in_opts.fold_case = set.fold_case != 0;
  in_opts.max_columns = set.max_columns;
  in_opts.stream = set.streaming;
  in_opts.progress = in.progress;
  in_opts.keep_letters = set.cds.has_value();
  input_summary summary;
  alignment aln =
      read_alignment(in.fd, in.in_name, in_opts, pool, in.warn, &summary);
  const trimming t = trim(aln, trim_options_of(set), pool, in.warn);
  const selection* selected = t.rules ? &t.sel : nullptr;
  written w;
  written_of(set, aln, summary, t, pool, in.warn, &w);
  const summary_row row =
      row_of(in.in_name, summary, t, w,
             in.figures || in.outputs.summary.has_value(), pool);

  // Names the output format cannot take stop the run here, before any
  // output; so does a file that cannot be written, or must not be.
  const std::vector<std::string> names =
      output_names(*w.aln, set.format, set.safe_names, in.warn);
  side_files files(in.outputs, regular_file_id(in.fd), in.streams);
  const auto alignment_of = [&](const selection& sel, int remove_cols) {
    return [&, remove_cols](std::FILE* fp, const std::string& name) {
      output_buffer out(fp, name);
      write_alignment(out, *w.aln, names, sel, set.format, remove_cols, pool);
      out.flush();
    };
  };
  output_contents contents;
  contents.column_map = [&](std::FILE* fp, const std::string& name) {
    output_buffer out(fp, name);
    write_column_map(out, t.score, t.kept, selected);
    out.flush();
  };
  contents.report = [&](std::FILE* fp, const std::string& name) {
    output_buffer out(fp, name);
    write_report(out, {input_label(in.in_name), aln, t.w.wt, t.score, t.kept,
                       t.cst, set.target_wt, selected});
    out.flush();
  };
  contents.summary = [&](std::FILE* fp, const std::string& name) {
    output_buffer out(fp, name);
    write_summary_table(out, {row}, summary_format_of(*in.outputs.summary),
                        set.command_line);
    out.flush();
  };
  contents.complement = alignment_of(w.dropped, 1);  // only what -r removes
  contents.alignment = alignment_of(w.kept, set.remove_cols);
  contents.side_work = aln.nseq() * aln.lseq;
  if (!aln.in_memory())
    contents.verify = [&aln] { aln.source->check_unchanged(); };
  files.write(contents, pool);
  if (set.mask_stops != stop_mask::none) {
    const std::size_t all = t.masked.terminal + t.masked.internal;
    in.note("Masked " + std::to_string(all) + " stop codon" +
            (all == 1 ? "" : "s") + " (" + std::to_string(t.masked.terminal) +
            " terminal, " + std::to_string(t.masked.internal) +
            " internal).\n");
  }
  in.note(printed(
      "fraction of positions with total weight over target (%f): %f\n",
      t.sel.target_wt,
      static_cast<double>(t.sel.n_gt_target) / static_cast<double>(aln.lseq)));
  return row;
}

namespace {

// A path's file name, and the name without ".gz" and its last extension.
std::string base_name(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file name without ".gz": {name}, which keeps the input's extension.
std::string name_of(const std::string& path) {
  std::string name = base_name(path);
  if (ends_with(name, ".gz")) name.resize(name.size() - 3);
  return name;
}

std::string stem_of(const std::string& path) {
  std::string name = name_of(path);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

// The template with its placeholders filled in, in one pass over the
// template: a value is never searched for placeholders itself (an input
// may be named a{ext}.fa).
std::string expanded(const std::string& templ, const std::string& stem,
                     const std::string& ext, const std::string& name) {
  const std::pair<std::string_view, const std::string*> keys[] = {
      {"{stem}", &stem}, {"{ext}", &ext}, {"{name}", &name}};
  std::string out;
  for (std::size_t at = 0; at < templ.size();) {
    bool found = false;
    for (const auto& [key, value] : keys)
      if (templ.compare(at, key.size(), key) == 0) {
        out += *value;
        at += key.size();
        found = true;
        break;
      }
    if (!found) out += templ[at++];
  }
  return out;
}

// The path as a key for "the same file": its folder resolved, where it
// exists.
std::string canonical(const std::string& path) {
  char buf[PATH_MAX];
  if (realpath(path.c_str(), buf) != nullptr) return buf;
  const std::size_t slash = path.rfind('/');
  const std::string dir =
      slash == std::string::npos ? "." : path.substr(0, slash);
  if (realpath(dir.empty() ? "/" : dir.c_str(), buf) == nullptr) return path;
  return std::string(buf) + "/" + base_name(path);
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

// The output paths of every input, checked: -l, -w and --complement take
// templates with {stem}; no two outputs are one file, and none is an input.
std::vector<output_paths> outputs_of(const run_settings& set) {
  const std::string ext = out_extension(set.format);
  for (const auto& [templ, option] :
       {std::pair{&set.outputs.column_map, "-l"},
        {&set.outputs.report, "-w"},
        {&set.outputs.complement, "--complement"}})
    if (*templ && templ->value().find("{stem}") == std::string::npos &&
        templ->value().find("{name}") == std::string::npos)
      throw fatal_error(std::string("Error: with --out-dir, ") + option +
                        " takes a name template with {stem} in it, one file "
                        "for each input (for example " +
                        option + " maps/{stem}.tsv)");
  std::map<std::string, std::size_t> inputs, taken;
  for (std::size_t i = 0; i < set.inputs.size(); ++i) {
    if (set.inputs[i] == "-")
      throw fatal_error(
          "Error: with --out-dir, standard input (-i -) has no name to "
          "write its output under; name the files");
    inputs.emplace(canonical(set.inputs[i]), i);
  }
  std::vector<output_paths> out(set.inputs.size());
  for (std::size_t i = 0; i < set.inputs.size(); ++i) {
    const std::string stem = stem_of(set.inputs[i]);
    const std::string name = name_of(set.inputs[i]);
    const auto file = [&](const std::optional<std::string>& templ) {
      return templ
                 ? std::optional<std::string>(expanded(*templ, stem, ext, name))
                 : std::nullopt;
    };
    out[i].alignment =
        *set.out_dir + "/" +
        expanded(set.out_name.value_or("{stem}.{ext}"), stem, ext, name);
    out[i].column_map = file(set.outputs.column_map);
    out[i].report = file(set.outputs.report);
    out[i].complement = file(set.outputs.complement);
    for (const std::optional<std::string>* p :
         {&out[i].alignment, &out[i].column_map, &out[i].report,
          &out[i].complement}) {
      if (!*p) continue;
      const std::string key = canonical(**p);
      const auto in = inputs.find(key);
      if (in != inputs.end())
        throw fatal_error("Error: " + set.inputs[i] + " would write " + **p +
                          ", which is the input " + set.inputs[in->second]);
      const auto [it, fresh] = taken.emplace(key, i);
      if (!fresh)
        throw fatal_error("Error: " + set.inputs[it->second] + " and " +
                          set.inputs[i] + " would both write " + **p +
                          " (--out-name names each output; {stem} is the "
                          "input's name without its extension)");
    }
  }
  return out;
}

// One input's messages, kept for the end of its group, and its row.
struct input_result {
  std::vector<std::pair<bool, std::string>> lines;  // note?, text
  summary_row row;
};

void trim_one(const run_settings& set, const std::string& name,
              const output_paths& paths, std::FILE* msg, bool figures,
              thread_pool& pool, input_result* r) {
  r->row.input = name;
  input_run in;
  in.in_name = name;
  in.outputs = paths;
  in.streams = {{stdout}, {stderr}, {msg}};
  in.warn = [r](const std::string& w) { r->lines.emplace_back(false, w); };
  in.note = [r](const std::string& n) { r->lines.emplace_back(true, n); };
  in.figures = figures;
  std::string error;
  in.fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) {
    error = "Error: cannot open " + name + ": " + std::strerror(errno);
  } else {
    try {
      r->row = trim_input(set, in, pool);
    } catch (const fatal_error& e) {
      error = e.what();
    } catch (const std::bad_alloc&) {
      error = "Error: out of memory";
    }
    close(in.fd);
  }
  if (error.empty()) return;
  r->lines.emplace_back(false, error);
  r->row = summary_row();
  r->row.input = name;
  r->row.error = error.substr(0, error.find('\n'));
}

// Writes an input's lines, each prefixed by its name.
void print(const std::string& name, const input_result& r, std::FILE* msg) {
  for (const auto& [note, text] : r.lines) {
    std::FILE* fp = note ? stderr : msg;
    std::size_t at = 0;
    while (at < text.size()) {
      std::size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::fprintf(fp, "%s: %.*s\n", name.c_str(), static_cast<int>(end - at),
                   text.data() + at);
      at = end + 1;
    }
  }
  std::fflush(msg);
}

// Inputs at least this large run one at a time, on every thread.
constexpr off_t kLargeInput = off_t{4} << 20;

}  // namespace

int trim_inputs(const run_settings& set, std::FILE* msg) {
  const std::vector<output_paths> outputs = outputs_of(set);
  make_folders(*set.out_dir);
  const warn_fn warn = [msg](const std::string& w) {
    std::fprintf(msg, "%s\n", w.c_str());
    std::fflush(msg);
  };
  thread_pool pool(set.threads, warn);
  const std::size_t n = set.inputs.size();
  const bool figures = set.outputs.summary.has_value();
  std::vector<summary_row> rows(n);
  std::size_t failed = 0;
  const auto large = [&](std::size_t i) {
    struct stat st {};
    return stat(set.inputs[i].c_str(), &st) == 0 && st.st_size >= kLargeInput;
  };
  for (std::size_t i = 0; i < n;) {
    // A group: one large input on every thread, or small ones side by side,
    // each on a thread of its own; their messages then in input order.
    std::size_t end = i + 1;
    if (!large(i))
      while (end < n && end - i < 4 * static_cast<std::size_t>(pool.size()) &&
             !large(end))
        ++end;
    std::vector<input_result> results(end - i);
    if (end - i == 1) {
      trim_one(set, set.inputs[i], outputs[i], msg, figures, pool, &results[0]);
    } else {
      pool.run(end - i, thread_pool::kMinWork, [&](std::size_t k) {
        thread_pool one(1);
        trim_one(set, set.inputs[i + k], outputs[i + k], msg, figures, one,
                 &results[k]);
      });
    }
    for (std::size_t k = 0; k < results.size(); ++k) {
      print(set.inputs[i + k], results[k], msg);
      failed += !results[k].row.ok;
      rows[i + k] = std::move(results[k].row);
    }
    i = end;
  }
  if (set.outputs.summary) {
    destination table(*set.outputs.summary, "summary", std::nullopt,
                      {{stdout}, {stderr}, {msg}}, {});
    table.write([&](std::FILE* fp, const std::string& name) {
      output_buffer out(fp, name);
      write_summary_table(out, rows, summary_format_of(*set.outputs.summary),
                          set.command_line);
      out.flush();
    });
    table.finish();
    table.commit();
  }
  std::fprintf(stderr, "colsieve: %zu of %zu alignments trimmed", n - failed,
               n);
  if (failed > 0) std::fprintf(stderr, ", %zu failed (see above)", failed);
  std::fputs(".\n", stderr);
  return failed > 0 ? 1 : 0;
}
