// The native half of the Python module: reading, trimming and writing
// through the same library as the command-line tool, with the GIL released
// while the library works. The package around it (python/colsieve) adds
// the Biopython conversions and the error's parts.
//
// The module installs no signal handlers: it reads plain FASTA files into
// the table (never mapped, so no SIGBUS handler), and its temporary files
// are removed by the calls that made them (remove_temps_on_signals() is
// the tool's alone).
#include <fcntl.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/file_state.h"
#include "base/residue_filter.h"
#include "base/text.h"
#include "base/unique_fd.h"
#include "core/alignment.h"
#include "core/genetic_code.h"
#include "core/parallel.h"
#include "core/trimming.h"
#include "input/fasta_seq.h"
#include "input/read_input.h"
#include "input/records.h"
#include "output/buffer.h"
#include "output/column_map.h"
#include "output/destination.h"
#include "output/formats.h"
#include "run/pipeline.h"
#include "run/setting_values.h"
#include "run/settings.h"

namespace py = pybind11;

namespace {

PyObject* g_error = nullptr;    // colsieve.Error, a ValueError
PyObject* g_warning = nullptr;  // colsieve.ColsieveWarning, a UserWarning

// The library's warnings of one call, kept until the GIL is back (the pool's
// threads may warn too).
class warnings_of_call {
 public:
  warn_fn fn() {
    return [this](const std::string& w) {
      const std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(w);
    };
  }
  // Issues them as ColsieveWarning. REQUIRES: the GIL. Throws
  // error_already_set when a filter turned one into an error.
  void issue() {
    std::vector<std::string> lines;
    std::swap(lines, lines_);
    for (const std::string& w : lines)
      if (PyErr_WarnEx(g_warning, w.c_str(), 1) != 0)
        throw py::error_already_set();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Runs f without the GIL; the warnings are issued after it, also when it
// throws (the library's error then comes first: a warning that a filter
// turns into an error is dropped).
template <typename F>
void without_gil(warnings_of_call& warnings, F&& f) {
  try {
    const py::gil_scoped_release release;
    f();
  } catch (...) {
    try {
      warnings.issue();
    } catch (const py::error_already_set&) {
    }
    throw;
  }
  warnings.issue();
}

// The same, for calls that return a value.
template <typename F>
auto run_released(warnings_of_call& warnings, F&& f) -> decltype(f()) {
  std::optional<decltype(f())> out;
  without_gil(warnings, [&] { out.emplace(f()); });
  return std::move(*out);
}

std::string text(const py::handle& s) {
  // Names and residues are bytes to the library: UTF-8, with the bytes
  // that were no UTF-8 back as they were read (surrogateescape).
  PyObject* b = PyUnicode_AsEncodedString(s.ptr(), "utf-8", "surrogateescape");
  if (b == nullptr) throw py::error_already_set();
  const py::bytes bytes = py::reinterpret_steal<py::bytes>(b);
  return bytes;
}

py::str str_of(const char* p, std::size_t n) {
  PyObject* s =
      PyUnicode_DecodeUTF8(p, static_cast<Py_ssize_t>(n), "surrogateescape");
  if (s == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(s);
}

// How the module names the settings in messages: by its arguments.
constexpr setting_names kArgumentNames = {"codon", "mask_stops", "cds",
                                          "genetic_code"};

unsigned threads_arg(long long v) {
  return threads_value("threads", std::to_string(v));
}

double number_arg(const char* name, double v) {
  if (!std::isfinite(v))
    throw fatal_error(std::string("Error: ") + name +
                      " must be a number, not " +
                      (std::isnan(v) ? "NaN" : "infinite"));
  return v;
}

// A source over bytes kept alive by whoever made it, handed out in blocks
// as a file would be.
class memory_source : public byte_source {
 public:
  memory_source(const char* data, std::size_t size) : p_(data), left_(size) {}
  bool next(const char** data, std::size_t* size) override {
    if (left_ == 0) return false;
    *data = p_;
    *size = std::min<std::size_t>(left_, 1 << 20);
    p_ += *size;
    left_ -= *size;
    return true;
  }

 private:
  const char* p_;
  std::size_t left_;
};

// Where an alignment came from, to read it again with its letters (cds
// threading needs the rows as the file holds them): a path, bytes, the
// Python strings it was built from, or its own table (a trimmed one).
struct origin {
  enum class kind { path, bytes, strings, table };
  kind how = kind::strings;
  std::string name;  // the path, or how messages name the bytes
  file_state state;  // as read: a later read (for cds) must find it so
  py::object data;   // the bytes, or the tuple of sequences (str)
  // The bytes' contents, taken with the GIL: data keeps them alive and
  // unchanged, so that they may be read without it.
  const char* bytes = nullptr;
  std::size_t size = 0;
  input_options opts;
};

struct py_alignment {
  std::shared_ptr<const alignment> aln;
  std::optional<std::string> format;  // as read; none when built
  std::shared_ptr<origin> from;
};

input_options options_of(bool fold_case, long long max_columns) {
  input_options opts;
  opts.fold_case = fold_case;
  opts.max_columns =
      max_columns_value("max_columns", std::to_string(max_columns));
  // Into the table: a mapped file would need a SIGBUS handler.
  opts.stream = input_options::streaming::never;
  return opts;
}

// Reads the alignment of an origin (which must be a path or bytes).
alignment read_origin(const origin& from, const input_options& opts,
                      thread_pool& pool, const warn_fn& warn,
                      input_summary* summary, file_state* state) {
  if (from.how == origin::kind::path) {
    const unique_fd file(open(from.name.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file)
      throw fatal_error("Error-- no valid input file\nCannot open " +
                        from.name + ": " + std::strerror(errno));
    *state = state_of(file.get());
    return read_alignment(file.get(), from.name, opts, pool, warn, summary);
  }
  return read_alignment(std::make_unique<memory_source>(from.bytes, from.size),
                        from.name, opts, pool, warn, summary);
}

// Everything a file object's read() gives until it gives b"": a raw file,
// a pipe or a socket may return the data in parts.
py::bytes read_to_end(const py::object& file) {
  std::vector<py::bytes> parts;
  for (;;) {
    const py::object data = file.attr("read")();
    if (py::isinstance<py::str>(data) || PyObject_CheckBuffer(data.ptr()) == 0)
      throw py::type_error(
          "colsieve.read: the file object gave " +
          std::string(py::str(data.get_type().attr("__name__"))) +
          ", not bytes: open the file in binary mode (\"rb\")");
    PyObject* b = PyBytes_FromObject(data.ptr());
    if (b == nullptr) throw py::error_already_set();
    py::bytes part = py::reinterpret_steal<py::bytes>(b);
    if (PyBytes_GET_SIZE(part.ptr()) == 0) break;
    parts.push_back(std::move(part));
  }
  // One part (a whole read()) is kept as it is, not copied.
  if (parts.size() == 1) return parts[0];
  return py::bytes("").attr("join")(py::cast(parts));
}

py_alignment read_source(const py::object& source, bool fold_case,
                         long long max_columns, long long threads) {
  auto from = std::make_shared<origin>();
  from->opts = options_of(fold_case, max_columns);
  const py::module_ os = py::module_::import("os");
  if (py::isinstance<py::str>(source) || py::hasattr(source, "__fspath__")) {
    from->how = origin::kind::path;
    py::object path = os.attr("fspath")(source);
    from->name = py::isinstance<py::str>(path)
                     ? text(path)
                     : std::string(path.cast<py::bytes>());
  } else if (PyObject_CheckBuffer(source.ptr()) != 0) {
    from->how = origin::kind::bytes;
    from->name = "<bytes>";
    // bytes as they are; a copy of anything that may change.
    PyObject* b = PyBytes_FromObject(source.ptr());  // bytes: itself
    if (b == nullptr) throw py::error_already_set();
    from->data = py::reinterpret_steal<py::object>(b);
  } else if (py::hasattr(source, "read")) {
    from->how = origin::kind::bytes;
    py::object name = py::getattr(source, "name", py::none());
    from->name = py::isinstance<py::str>(name) ? text(name) : "<file>";
    from->data = read_to_end(source);
  } else {
    throw py::type_error(
        "colsieve.read: source must be a path, bytes or a binary file "
        "object, not " +
        std::string(py::str(source.get_type().attr("__name__"))));
  }
  if (from->how == origin::kind::bytes) {
    from->bytes = PyBytes_AS_STRING(from->data.ptr());
    from->size = static_cast<std::size_t>(PyBytes_GET_SIZE(from->data.ptr()));
  }
  const unsigned n = threads_arg(threads);
  warnings_of_call warnings;
  input_summary summary;
  auto aln = run_released(warnings, [&] {
    thread_pool pool(n, warnings.fn());
    return std::make_shared<const alignment>(read_origin(
        *from, from->opts, pool, warnings.fn(), &summary, &from->state));
  });
  return {std::move(aln), summary.format, std::move(from)};
}

// An item of Alignment()'s names or sequences as bytes; anything but a str
// is a TypeError that names the argument.
std::string str_item(const py::handle& item, const char* argument,
                     std::size_t i) {
  if (!py::isinstance<py::str>(item))
    throw py::type_error(
        std::string("Alignment: ") + argument + " must be str, not " +
        std::string(py::str(item.get_type().attr("__name__"))) + " (" +
        argument + "[" + std::to_string(i) + "])");
  return text(item);
}

// How a message names the character that starts at row[j] (UTF-8).
std::string character_at(const std::string& row, std::size_t j) {
  const auto c = static_cast<unsigned char>(row[j]);
  if (c == ' ' || c == '\t') return "a blank";
  if (c == '\n' || c == '\r') return "a line break";
  if (c < 0x20 || c == 0x7f) {
    char code[8];
    std::snprintf(code, sizeof code, "%04X", c);
    return std::string("a control character (U+") + code + ")";
  }
  if (c < 0x80) return std::string("'") + row[j] + "'";
  // A character of 2 to 4 bytes as it is; a byte that starts none (a
  // surrogate-escaped byte of the str) is no character.
  const std::size_t n = utf8_length(std::string_view(row).substr(j));
  return n > 0 ? "'" + row.substr(j, n) + "'" : "a byte that is not text";
}

// The column, counted in characters, of the character at row[j].
std::size_t column_at(const std::string& row, std::size_t j) {
  std::size_t column = 1;
  for (std::size_t k = 0; k < j; ++k)
    if ((static_cast<unsigned char>(row[k]) & 0xc0) != 0x80) ++column;
  return column;
}

// Builds a table from Python strings, each character a column: the
// characters that FASTA read with fold_case keeps (letters in either case,
// '-', '.', '_', '~', '?'; 'X' and the gaps become gaps). Others are
// refused: leaving them out would shift the columns.
py_alignment build(const std::vector<py::object>& names,
                   const std::vector<py::object>& sequences) {
  if (names.size() != sequences.size())
    throw fatal_error("Error: " + std::to_string(names.size()) + " names for " +
                      std::to_string(sequences.size()) + " sequences");
  if (names.empty()) throw fatal_error("Error: no sequences in input file");
  const filter_table table =
      make_filter_table(fasta_rule(FOLD_CASE, static_cast<char>(UNALIGNED)));
  alignment aln;
  std::size_t used = 0;
  // Every item's type first: a TypeError before any message on the text.
  std::vector<std::string> labels(names.size()), rows(sequences.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    labels[i] = str_item(names[i], "names", i);
  for (std::size_t i = 0; i < sequences.size(); ++i)
    rows[i] = str_item(sequences[i], "sequences", i);
  for (std::size_t i = 0; i < sequences.size(); ++i) {
    std::string name = std::move(labels[i]);
    std::string& row = rows[i];
    for (std::size_t j = 0; j < row.size(); ++j) {
      const unsigned char c = table[static_cast<unsigned char>(row[j])];
      if (c == 0)
        throw fatal_error("Error: " + record_label(i, name) + " holds " +
                          character_at(row, j) + " in column " +
                          std::to_string(column_at(row, j)) +
                          ", which is neither a residue (a letter) nor a gap");
      row[j] = static_cast<char>(c);
    }
    if (i > 0 && row.size() != rows[0].size())
      throw fatal_error(
          lengths_differ(i, name, row.size(), aln.names[0], rows[0].size()));
    used = aln.append(std::move(name), row, used);
  }
  aln.lseq = rows[0].size();
  if (aln.lseq == 0) throw fatal_error("Error: alignment has no columns");
  auto from = std::make_shared<origin>();
  from->data = py::tuple(py::cast(sequences));
  return {std::make_shared<const alignment>(std::move(aln)), std::nullopt,
          std::move(from)};
}

py::list names_of(const alignment& aln) {
  py::list out(aln.nseq());
  for (std::size_t i = 0; i < aln.nseq(); ++i)
    out[i] = str_of(aln.names[i].data(), aln.names[i].size());
  return out;
}

// Every row as a str, gaps as '-'.
py::list sequences_of(const alignment& aln) {
  py::list out(aln.nseq());
  for (std::size_t i = 0; i < aln.nseq(); ++i) {
    PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(aln.lseq), 127);
    if (s == nullptr) throw py::error_already_set();
    auto* dst = static_cast<char*>(PyUnicode_DATA(s));
    const char* row = aln.row(i);
    for (std::size_t j = 0; j < aln.lseq; ++j)
      dst[j] = row[j] == UNALIGNED ? '-' : row[j];
    out[i] = py::reinterpret_steal<py::str>(s);
  }
  return out;
}

// The columns of aln that mask keeps.
alignment columns_of(const alignment& aln,
                     const std::vector<unsigned char>& mask) {
  const auto width =
      static_cast<std::size_t>(std::count(mask.begin(), mask.end(), 1));
  alignment out;
  out.names = aln.names;
  out.forms = aln.forms;
  out.lseq = width;
  out.residues = big_buffer(std::max<std::size_t>(aln.nseq() * width, 1));
  out.offsets.resize(aln.nseq());
  for (std::size_t i = 0; i < aln.nseq(); ++i) {
    out.offsets[i] = i * width;
    const char* row = aln.row(i);
    char* dst = out.residues.data() + i * width;
    for (std::size_t j = 0; j < aln.lseq; ++j)
      if (mask[j]) *dst++ = row[j];
  }
  return out;
}

// A copy of a table, for the trimmings that change it (stop masking).
std::shared_ptr<alignment> copy_of(const alignment& a) {
  const std::vector<unsigned char> all(a.lseq, 1);
  return std::make_shared<alignment>(columns_of(a, all));
}

struct py_trimming {
  std::shared_ptr<const alignment> input;  // what was trimmed, as given
  std::shared_ptr<alignment> trimmed;      // it, or its stop-masked copy
  input_summary summary;                   // with cds: its letters
  struct trimmed result;
  run_settings set;
  std::optional<std::string> format;
  // The alignment written: the codon alignment with cds, else the trimmed.
  const alignment& written() const {
    return written_alignment(*trimmed, result);
  }
};

// The letters of a built alignment, for cds threading: the strings it was
// built from, or its table's rows. REQUIRES: the GIL.
void letters_of(const py_alignment& a, input_summary* summary) {
  summary->columns =
      make_filter_table(fasta_rule(FOLD_CASE, static_cast<char>(UNALIGNED)));
  summary->letters.resize(a.aln->nseq());
  if (a.from->how == origin::kind::strings) {
    const py::tuple rows = py::reinterpret_borrow<py::tuple>(a.from->data);
    for (std::size_t i = 0; i < rows.size(); ++i)
      summary->letters[i] = text(rows[i]);
    return;
  }
  for (std::size_t i = 0; i < a.aln->nseq(); ++i) {
    std::string& row = summary->letters[i];
    row.assign(a.aln->row(i), a.aln->lseq);
    std::replace(row.begin(), row.end(), static_cast<char>(UNALIGNED), '-');
  }
}

std::shared_ptr<py_trimming> trim_alignment(
    const py_alignment& a, double target, double cst, double maxcst,
    bool henikoff, long long threads, bool codon, const py::object& mask_stops,
    bool ends_only, const py::object& cds, int genetic_code_id) {
  auto r = std::make_shared<py_trimming>();
  run_settings& set = r->set;
  set.target_wt = number_arg("target", target);
  set.cst = number_arg("cst", cst);
  set.maxcst = number_arg("maxcst", maxcst);
  set.henikoff = henikoff ? 1 : 0;
  set.threads = threads_arg(threads);
  set.codon = codon;
  if (!mask_stops.is_none())
    set.mask_stops =
        stop_mask_value("mask_stops", py::str(mask_stops).cast<std::string>());
  set.ends_only = ends_only;
  if (!cds.is_none()) {
    const py::object path = py::module_::import("os").attr("fspath")(cds);
    set.cds = py::isinstance<py::str>(path)
                  ? text(path)
                  : std::string(path.cast<py::bytes>());
  }
  set.genetic_code = genetic_code_id;
  set.max_columns = a.from->opts.max_columns;
  set.fold_case = a.from->opts.fold_case ? 1 : 0;
  check_settings(set, kArgumentNames);
  r->input = a.aln;
  r->format = a.format;
  const bool strings = a.from->how == origin::kind::strings ||
                       a.from->how == origin::kind::table;
  if (set.cds && strings) letters_of(a, &r->summary);
  warnings_of_call warnings;
  without_gil(warnings, [&] {
    thread_pool pool(set.threads, warnings.fn());
    const warn_fn warn = warnings.fn();
    std::optional<sequence_set> coding;
    if (set.cds) coding = load_coding_sequences(set, pool, warn);
    if (set.cds && !strings) {
      // The letters as the input holds them: read it again, as it was.
      input_options opts = a.from->opts;
      opts.keep_letters = true;
      file_state now;
      r->trimmed = std::make_shared<alignment>(
          read_origin(*a.from, opts, pool, {}, &r->summary, &now));
      if (a.from->how == origin::kind::path && !(now == a.from->state))
        throw fatal_error("Error: " + a.from->name +
                          " has changed since it was read; read it again");
    } else if (set.mask_stops != stop_mask::none) {
      r->trimmed = copy_of(*a.aln);
    } else {
      // Nothing changes the table without stop masking.
      r->trimmed = std::const_pointer_cast<alignment>(a.aln);
    }
    r->result = trim_loaded(set, *r->trimmed, r->summary,
                            coding ? &*coding : nullptr, pool, warn);
  });
  return r;
}

py::array_t<bool> bool_array(const std::vector<unsigned char>& v) {
  py::array_t<bool> out(static_cast<py::ssize_t>(v.size()));
  bool* p = out.mutable_data();
  for (std::size_t j = 0; j < v.size(); ++j) p[j] = v[j] != 0;
  return out;
}

py::array_t<double> double_array(const std::vector<double>& v) {
  py::array_t<double> out(static_cast<py::ssize_t>(v.size()));
  std::copy(v.begin(), v.end(), out.mutable_data());
  return out;
}

py_alignment trimmed_alignment(const py_trimming& r, bool remove) {
  const alignment& written = r.written();
  const std::vector<unsigned char> all(written.lseq, 1);
  warnings_of_call warnings;
  auto aln = run_released(warnings, [&] {
    return std::make_shared<const alignment>(
        columns_of(written, remove ? r.result.kept.is_selected : all));
  });
  auto from = std::make_shared<origin>();
  from->how = origin::kind::table;  // its letters for cds are its rows
  return {std::move(aln), r.format, std::move(from)};
}

// Writes the alignment in format f through out.
void write_to(const py_trimming& r, out_format f, bool remove, bool safe_names,
              std::FILE* fp, const std::string& name, thread_pool& pool,
              const warn_fn& warn) {
  const std::vector<std::string> names =
      names_to_write(r.written(), f, safe_names, warn);
  output_buffer out(fp, name);
  write_alignment(out, r.written(), names, r.result.kept, f, remove ? 1 : 0,
                  pool);
  out.flush();
}

void write_trimmed(const py_trimming& r, const py::object& target,
                   const std::string& format, bool remove, bool safe_names,
                   long long threads) {
  const out_format f = out_format_value(format);
  const unsigned n = threads_arg(threads);
  warnings_of_call warnings;
  if (py::isinstance<py::str>(target) || py::hasattr(target, "__fspath__")) {
    const py::object p = py::module_::import("os").attr("fspath")(target);
    const std::string path =
        py::isinstance<py::str>(p) ? text(p) : std::string(p.cast<py::bytes>());
    without_gil(warnings, [&] {
      thread_pool pool(n, warnings.fn());
      // Staged beside the target and renamed over it; a failure leaves no
      // file of ours behind.
      destination d(path, "output", {}, {}, {});
      d.write([&](std::FILE* fp, const std::string& name) {
        write_to(r, f, remove, safe_names, fp, name, pool, warnings.fn());
      });
      d.finish();
      d.commit();
    });
    return;
  }
  if (!py::hasattr(target, "write"))
    throw py::type_error(
        "Trimming.write: the target must be a path or a file object with "
        "write(), not " +
        std::string(py::str(target.get_type().attr("__name__"))));
  // Into memory, then to the file object in one write.
  struct memory_file {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* fp = nullptr;
    ~memory_file() {
      if (fp != nullptr) std::fclose(fp);
      std::free(data);
    }
  } mem;
  without_gil(warnings, [&] {
    mem.fp = open_memstream(&mem.data, &mem.size);
    if (mem.fp == nullptr) throw std::bad_alloc();
    thread_pool pool(n, warnings.fn());
    write_to(r, f, remove, safe_names, mem.fp, "output", pool, warnings.fn());
    std::fclose(mem.fp);
    mem.fp = nullptr;
  });
  const py::bytes bytes(mem.data, mem.size);
  // A text file object takes str: the bytes are ASCII but for the names.
  const bool text_file =
      py::isinstance(target, py::module_::import("io").attr("TextIOBase"));
  target.attr("write")(text_file ? py::object(str_of(mem.data, mem.size))
                                 : py::object(bytes));
}

py::list column_map(const py_trimming& r) {
  const trimming& t = r.result.t;
  py::list out(t.score.size());
  for (std::size_t j = 0; j < t.score.size(); ++j) {
    if (t.rules)
      out[j] = py::make_tuple(j + 1, t.score[j], t.kept.is_selected[j] != 0,
                              t.sel.is_selected[j] != 0);
    else
      out[j] = py::make_tuple(j + 1, t.score[j], t.kept.is_selected[j] != 0);
  }
  return out;
}

// The column map as -l writes it.
py::bytes column_map_text(const py_trimming& r) {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* fp = open_memstream(&data, &size);
  if (fp == nullptr) throw std::bad_alloc();
  try {
    output_buffer out(fp, "column map");
    write_column_map(out, r.result.t.score, r.result.t.kept,
                     r.result.t.rules ? &r.result.t.sel : nullptr);
    out.flush();
  } catch (...) {
    std::fclose(fp);
    std::free(data);
    throw;
  }
  std::fclose(fp);
  py::bytes b(data, size);
  std::free(data);
  return b;
}

}  // namespace

PYBIND11_MODULE(_colsieve, m) {
  m.doc() = "The native part of colsieve; use the colsieve package.";
  m.attr("__version__") = COLSIEVE_VERSION;

  static py::exception<fatal_error> error(m, "Error", PyExc_ValueError);
  g_error = error.ptr();
  g_warning = PyErr_NewExceptionWithDoc(
      "colsieve.ColsieveWarning",
      "A warning of colsieve's: dropped characters, renamed records, fewer "
      "columns than the selection's floor, threads that could not start.",
      PyExc_UserWarning, nullptr);
  m.attr("ColsieveWarning") = py::handle(g_warning);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const fatal_error& e) {
      PyErr_SetString(g_error, e.what());
    }
  });

  py::class_<py_alignment>(m, "Alignment", R"(A multiple sequence alignment.

Alignment(names, sequences) builds one from Python strings, one name and
one sequence a record, all sequences of the same length. Every character
is a column: letters in either case are residues (read as upper case);
'-', '.', '_', '~', '?' and 'X' are gaps. Any other character raises
colsieve.Error. colsieve.read() reads one from a file.)")
      .def(py::init(&build), py::arg("names"), py::arg("sequences"))
      .def_property_readonly(
          "names", [](const py_alignment& a) { return names_of(*a.aln); },
          "The records' names (header text), in input order.")
      .def_property_readonly(
          "sequences",
          [](const py_alignment& a) { return sequences_of(*a.aln); },
          "The rows as the table holds them: residues in upper case, every "
          "gap (and 'X') as '-'. Built on each access.")
      .def_property_readonly(
          "nseq", [](const py_alignment& a) { return a.aln->nseq(); },
          "The number of records.")
      .def_property_readonly(
          "ncol", [](const py_alignment& a) { return a.aln->lseq; },
          "The number of columns.")
      .def_property_readonly(
          "format", [](const py_alignment& a) { return a.format; },
          "The format it was read in (\"FASTA\", \"Stockholm\", ...), or "
          "None for an alignment built from strings.")
      .def("__len__", [](const py_alignment& a) { return a.aln->nseq(); })
      .def("__repr__", [](const py_alignment& a) {
        return "<colsieve.Alignment: " + std::to_string(a.aln->nseq()) +
               " sequences x " + std::to_string(a.aln->lseq) + " columns" +
               (a.format ? ", " + *a.format : std::string()) + ">";
      });

  py::class_<py_trimming, std::shared_ptr<py_trimming>>(
      m, "Trimming",
      R"(The result of colsieve.trim(): the verdict on every column, the scores
and weights behind it, and the trimmed alignment.)")
      .def_property_readonly(
          "kept",
          [](const py_trimming& r) {
            return bool_array(r.result.t.kept.is_selected);
          },
          "NumPy bool array, one per column: the final verdict, what -l "
          "writes as kept (after codon and ends_only).")
      .def_property_readonly(
          "selected",
          [](const py_trimming& r) {
            return bool_array(r.result.t.sel.is_selected);
          },
          "NumPy bool array, one per column: the selection's own verdict, "
          "before codon and ends_only.")
      .def_property_readonly(
          "scores",
          [](const py_trimming& r) { return double_array(r.result.t.score); },
          "NumPy float64 array, one per column: the weighted fraction of "
          "sequences with a residue, scaled by cst.")
      .def_property_readonly(
          "weights",
          [](const py_trimming& r) { return double_array(r.result.t.w.wt); },
          "NumPy float64 array, one per sequence: the Henikoff & Henikoff "
          "weights.")
      .def_property_readonly(
          "target",
          [](const py_trimming& r) { return r.result.t.sel.target_wt; },
          "The target of the final selection pass.")
      .def_property_readonly(
          "fraction",
          [](const py_trimming& r) {
            return static_cast<double>(r.result.t.sel.n_gt_target) /
                   static_cast<double>(r.result.t.score.size());
          },
          "The fraction of columns the selection kept: the summary line's "
          "figure.")
      .def_property_readonly(
          "cst", [](const py_trimming& r) { return r.result.t.cst; },
          "The scale constant the scores used (after the automatic rule and "
          "henikoff).")
      .def_property_readonly(
          "passes", [](const py_trimming& r) { return r.result.t.sel.passes; },
          "The number of selection passes.")
      .def_property_readonly(
          "masked_stops",
          [](const py_trimming& r) {
            return py::make_tuple(r.result.t.masked.terminal,
                                  r.result.t.masked.internal);
          },
          "(terminal, internal): the stop codons mask_stops made gaps.")
      .def("alignment", &trimmed_alignment, py::arg("remove") = true,
           R"(The trimmed alignment as an Alignment.

remove: True leaves out the columns that were not kept; False keeps every
column (the verdict is then in kept). With cds, the codon alignment; with
mask_stops, the stop codons are gaps.)")
      .def("write", &write_trimmed, py::arg("target"), py::kw_only(),
           py::arg("format") = "fasta", py::arg("remove") = true,
           py::arg("safe_names") = false, py::arg("threads") = 0,
           R"(Writes the trimmed alignment, byte for byte as the tool writes it.

target: a path (written to a temporary file beside it and renamed over it,
    so that a failure leaves the old file) or a file object (binary, or
    text).
format: default, phylip, fasta, phylip-relaxed, phylip-strict, nexus,
    clustal, paml or pir (the tool's -f).
remove: for default and phylip, leave out the columns that were not kept
    (the tool's -r); False writes them in lower case, '.' for gaps. The
    other formats always leave them out.
safe_names: names in fasta and pir as the tree formats write them (the
    tool's --safe-names).
threads: threads for formatting, 0 for one per CPU.
Raises colsieve.Error when the names do not fit the format or the file
cannot be written.)")
      .def(
          "column_map", &column_map,
          R"(The column map as rows (column, score, kept), column counted from 1;
with codon or ends_only a fourth item, the selection's own verdict, as -l
writes it.)")
      .def("column_map_text", &column_map_text,
           "The column map as bytes, exactly as the tool's -l writes it.")
      .def("__repr__", [](const py_trimming& r) {
        return "<colsieve.Trimming: " +
               std::to_string(r.result.t.kept.n_gt_target) + " of " +
               std::to_string(r.result.t.score.size()) + " columns kept>";
      });

  m.def("read", &read_source, py::arg("source"), py::kw_only(),
        py::arg("fold_case") = false, py::arg("max_columns") = 45000,
        py::arg("threads") = 0, R"(Reads an alignment.

source: a path (str or os.PathLike), bytes, or a binary file object (read
    from where it stands to its end). FASTA, PIR, A2M, Stockholm, Clustal,
    PHYLIP, NEXUS, MSF, MEGA, SELEX and PSI-BLAST, plain or gzip, told apart
    by their first lines, as the tool does.
fold_case: read FASTA and PIR as full alignments: lower case as residues,
    '.' '_' '~' as gaps (the tool's -u); else lower case and '.' are
    insertions, dropped.
max_columns: most columns a record may have, 0 for no limit.
threads: threads for reading a plain FASTA file, 0 for one per CPU.
Returns an Alignment. Raises colsieve.Error with the tool's message (and
its detail lines) for input it refuses; warnings come as ColsieveWarning.)");

  m.def("trim", &trim_alignment, py::arg("alignment"), py::kw_only(),
        py::arg("target") = 0.85, py::arg("cst") = 1.0,
        py::arg("maxcst") = 1000000.0, py::arg("henikoff") = false,
        py::arg("threads") = 0, py::arg("codon") = false,
        py::arg("mask_stops") = py::none(), py::arg("ends_only") = false,
        py::arg("cds") = py::none(), py::arg("genetic_code") = 0,
        R"(Trims an alignment: weights, column scores, selection.

alignment: an Alignment (from colsieve.read or built); it is not changed.
target: the target weighted fraction of sequences aligning; columns scoring
    above it are kept. It is lowered by 0.05 until at least 40 columns, or
    all, pass (the tool's -t).
cst: scale constant for the scores; 0 or less: automatic, nseq ^ (1 - mean
    conservation) (-c).
maxcst: cap for the automatic scale constant (-m).
henikoff: score every column with a scale of 1.0, not cst's (-H).
threads: threads to use, 0 for one per CPU (at most 1024); results are the
    same for any number (-j).
codon: read the alignment as codons from its first column: a codon is kept
    only when its three columns are all selected (--codon).
mask_stops: with codon, make in-frame stop codons (TAA, TAG, TGA, U as T)
    gaps before weighting: "terminal" (each row's last codon), "internal"
    (the others), "all", or None (--mask-stops).
ends_only: drop only the dropped columns at either end; keep every other
    column (--ends-only).
cds: path of the coding sequences (FASTA or PIR, plain or gzip, unaligned)
    of the protein alignment's records: the trimming then writes their
    codon alignment, trimmed by the protein's columns (--cds). The
    alignment's file is read again for its letters, and must not have
    changed.
genetic_code: with cds, the NCBI translation table its codons are checked
    by: 1-6, 9-16, 21-25; 0 for the standard one (--genetic-code).
Returns a Trimming; its numbers are the tool's, bit for bit. Raises
colsieve.Error with the tool's message.)");
}
