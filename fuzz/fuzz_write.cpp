// libFuzzer target: the output side. Four bytes choose the settings; the
// rest is the input, in whatever format it looks like.
//
//   byte 0: -r, the target, -u, the output buffer's size, -c 0
//   byte 1: the pieces the input and every output read back come in
//   byte 2: low half: the format of the alignment in the destinations
//           (--safe-names from 9 on); high half: how much of an output a
//           destination that fills up takes, in sixteenths
//   byte 3: the kind of each destination (column map, report, alignment)
//           and which one fails
//
// Every output format, with the names output_names gives (safe names
// too), is written with one thread and with several: the same bytes; read
// back where colsieve reads the format: the kept columns, under the names
// written; names unique and plain where the format needs it; into a stream
// that fills up: an error naming the output, and what got out a prefix of
// the whole. Then the column map, the report and the alignment go to real
// destinations in a scratch folder in memory (/dev/shm): new files,
// existing ones, hard-linked ones (written in place) and descriptors
// (/dev/fd/N of a memory file, which may fill up), one of them failing or
// none. A run that fails must leave every staged file as it was, an
// in-place file as it was or whole, and no temporary file; one that
// succeeds must leave each with its content.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/weights.h"
#include "fuzz_support.h"
#include "input/fasta_seq.h"
#include "output/column_map.h"
#include "output/destination.h"
#include "output/formats.h"
#include "output/report.h"
#include "output/side_files.h"

namespace {

constexpr out_format kFormats[] = {
    out_format::default_layout, out_format::phylip,        out_format::fasta,
    out_format::phylip_relaxed, out_format::phylip_strict, out_format::nexus,
    out_format::clustal,        out_format::paml,          out_format::pir,
};

std::string format_label(out_format f, bool safe) {
  return "format " + std::to_string(static_cast<int>(f)) +
         (safe ? " with safe names" : "");
}

// The kept columns of every row, as the formats write them.
std::vector<std::string> kept_rows(const alignment& aln, const selection& sel) {
  std::vector<std::string> rows;
  for (std::size_t i = 0; i < aln.nseq(); ++i) {
    std::string r;
    for (std::size_t j = 0; j < aln.lseq; ++j)
      if (sel.is_selected[j] != 0)
        r += aln.row(i)[j] == UNALIGNED ? '-' : aln.row(i)[j];
    rows.push_back(r);
  }
  return rows;
}

std::string render(const alignment& aln, const std::vector<std::string>& names,
                   const selection& sel, out_format f, int remove_cols,
                   thread_pool& pool) {
  capped_file mem;
  {
    output_buffer ob(mem.fp(), "fuzz output");
    write_alignment(ob, aln, names, sel, f, remove_cols, pool);
    ob.flush();
  }
  mem.close();
  return mem.text();
}

// Whether the names a format needs unique and plain are so.
void check_names(const std::vector<std::string>& names, out_format f,
                 bool nexus_rule, const std::string& label) {
  std::set<std::string> seen;
  for (const std::string& n : names) {
    if (n.empty() || !seen.insert(n).second)
      fault(label + ": empty or doubled name");
    if (f == out_format::phylip_strict && n.size() > 10)
      fault(label + ": strict name over 10 bytes");
    for (const char ch : n) {
      const auto c = static_cast<unsigned char>(ch);
      const bool ok = nexus_rule
                          ? std::isalnum(c) || c == '_' || c == '.'
                          : c > ' ' && c != 0x7f && !std::strchr("()[]:;,'", c);
      if (!ok) fault(label + ": a character the format refuses in a name");
    }
  }
}

// A name every PHYLIP reading takes whole: one word, no control bytes.
bool plain_word(const std::string& n) {
  if (n.empty()) return false;
  for (const char ch : n)
    if (static_cast<unsigned char>(ch) <= ' ' || ch == 0x7f) return false;
  return true;
}

// The names an output read back must carry, or false when the format is
// not one colsieve reads back as written.
bool names_read_back(const alignment& aln,
                     const std::vector<std::string>& names, out_format f,
                     int remove_cols, std::vector<std::string>* want) {
  switch (f) {
    case out_format::phylip: {
      // The whole headers, with every column unless -r: only plain words
      // that differ read back.
      std::set<std::string> seen;
      for (const std::string& n : names)
        if (!plain_word(n) || !seen.insert(n).second) return false;
      if (remove_cols == 0) return false;
      *want = names;
      return true;
    }
    case out_format::pir:
      // The description line repeats the name, and the record reader
      // takes a '>' anywhere in the lines after a header as the start of
      // the next record: such names do not read back.
      for (const std::string& n : names)
        if (n.find('>') != std::string::npos) return false;
      // A PIR record keeps its type code; the others get "P1;" unless
      // their name starts with a code.
      want->clear();
      for (std::size_t i = 0; i < aln.nseq(); ++i) {
        const bool pir = aln.form(i) == name_form::pir;
        want->push_back((pir                      ? aln.names[i].substr(0, 3)
                         : has_pir_code(names[i]) ? ""
                                                  : "P1;") +
                        names[i]);
      }
      return true;
    default:
      *want = names;
      return true;
  }
}

void check_read_back(const std::string& text, const alignment& aln,
                     const std::vector<std::string>& names,
                     const selection& sel, out_format f, int remove_cols,
                     const std::vector<std::size_t>& pieces,
                     const std::string& label) {
  std::vector<std::string> want_names;
  if (!names_read_back(aln, names, f, remove_cols, &want_names)) return;
  input_options opts;
  opts.max_columns = 0;
  const read_result back = read_pieces(text, pieces, opts);
  if (!back.ok) fault(label + " read back: " + back.error);
  if (back.aln.names != want_names) fault(label + " read back: names");
  if (rows_of(back.aln) != kept_rows(aln, sel))
    fault(label + " read back: rows");
}

// Every output format: threads, names, reading back, a stream that fills
// up.
void check_formats(const alignment& aln, const selection& sel, int remove_cols,
                   std::size_t capacity, unsigned fill,
                   const std::vector<std::size_t>& pieces) {
  thread_pool serial(1), pool(3);
  pool.set_min_work(0);
  for (const out_format f : kFormats) {
    for (const bool safe : {false, true}) {
      const bool named_safely = f == out_format::fasta || f == out_format::pir;
      if (safe && !named_safely) continue;
      const std::string label = format_label(f, safe);
      const bool whole =
          f == out_format::default_layout || f == out_format::phylip;
      std::vector<std::string> names;
      try {
        names = output_names(aln, f, safe, [](const std::string&) {});
      } catch (const fatal_error& e) {
        // Only names that must differ can be refused.
        if (whole || (named_safely && !safe))
          fault(label + ": names refused: " + e.what());
        continue;
      }
      if (names.size() != aln.nseq()) fault(label + ": name count");
      if (!whole && (safe || !named_safely))
        check_names(names, f, f == out_format::nexus, label);
      const std::string text = render(aln, names, sel, f, remove_cols, serial);
      if (render(aln, names, sel, f, remove_cols, pool) != text)
        fault(label + ": bytes differ across threads");
      check_read_back(text, aln, names, sel, f, remove_cols, pieces, label);

      const std::size_t room = text.size() * fill / 256;
      capped_file full(room);
      bool refused = false;
      try {
        output_buffer ob(full.fp(), "fuzz output", capacity);
        write_alignment(ob, aln, names, sel, f, remove_cols, pool);
        ob.flush();
      } catch (const fatal_error& e) {
        refused = std::strstr(e.what(), "fuzz output") != nullptr;
      }
      full.close();
      if (!refused) fault(label + ": full stream not refused");
      const std::string& got = full.text();
      if (got.size() > room || text.compare(0, got.size(), got) != 0)
        fault(label + ": a full stream got other bytes than the output's");
    }
  }
}

// The column map read back: one line a column, in order, its mask.
void check_column_map(const std::string& map, const selection& sel) {
  std::size_t at = map.find('\n');
  if (map.compare(0, at, "column\tscore\tkept") != 0) fault("map header");
  for (std::size_t j = 0; j < sel.is_selected.size(); ++j) {
    const std::size_t end = map.find('\n', at + 1);
    if (end == std::string::npos) fault("map too short");
    const std::string line = map.substr(at + 1, end - at - 1);
    const std::string num = std::to_string(j + 1) + "\t";
    if (line.compare(0, num.size(), num) != 0 ||
        line.back() != static_cast<char>('0' + sel.is_selected[j]) ||
        line[line.size() - 2] != '\t')
      fault("map line " + std::to_string(j + 1));
    at = end;
  }
  if (at + 1 != map.size()) fault("map too long");
}

bool file_text(const std::string& path, std::string* text) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  *text = fd_text(fd);
  close(fd);
  return true;
}

void put_file(const std::string& path, const std::string& text) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 ||
      write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    fault("scratch file");
  close(fd);
}

// One of the run's outputs at a destination of the kind chosen.
struct output_place {
  enum kind { fresh, existing, linked, descriptor } how;
  std::string file;  // in the scratch folder; for a descriptor, /dev/fd/N
  int fd = -1;       // the memory file behind a descriptor
  std::string content;
  bool fails = false;
  std::size_t room = 0;  // what a failing output gets out

  // Makes the destination ready; a failing descriptor takes `room` bytes.
  void prepare() {
    unlink(file.c_str());
    unlink((file + ".link").c_str());
    if (how == existing || how == linked) put_file(file, "old\n");
    if (how == linked && link(file.c_str(), (file + ".link").c_str()) != 0)
      fault("link");
    if (how == descriptor) {
      fd = memory_fd("");
      if (fails && (ftruncate(fd, static_cast<off_t>(room)) != 0 ||
                    fcntl(fd, F_ADD_SEALS, F_SEAL_GROW) != 0))
        fault("seal");
      file = "/dev/fd/" + std::to_string(fd);
    }
  }

  // What reached it.
  std::string result() const {
    std::string text = "(none)";
    if (how == descriptor) {
      text = fd_text(fd);
      if (fails) {
        // A memory file made `room` bytes long: what was written, then the
        // zeros it was made of.
        std::size_t k = 0;
        while (k < text.size() && k < content.size() && text[k] == content[k])
          ++k;
        if (text.find_first_not_of('\0', k) != std::string::npos)
          fault(file + ": descriptor got other bytes");
        text.resize(k);
      }
    } else {
      file_text(file, &text);
    }
    return text;
  }

  void check(bool failed, const std::string& message) const {
    const std::string got = result();
    const bool whole = got == content;
    const bool prefix = content.compare(0, got.size(), got) == 0;
    if (!failed) {
      if (!whole) fault(file + ": content");
    } else if (how == fresh || how == existing) {
      if (got != (how == fresh ? "(none)" : "old\n"))
        fault(file + ": a staged file was changed by a failed run");
    } else if (how == linked) {
      // Files written in place cannot be taken back: written whole before
      // another failed, or cut short with a note saying so.
      const bool noted =
          message.find(file + " may be incomplete") != std::string::npos;
      if (got != "old\n" && !whole && !(noted && prefix))
        fault(file + ": in-place file garbled");
    } else if (!prefix) {
      fault(file + ": descriptor got other bytes");
    }
    if (how == linked) {
      struct stat st {};
      if (stat(file.c_str(), &st) != 0 || st.st_nlink != 2)
        fault(file + ": hard link cut");
    }
  }

  ~output_place() {
    if (fd >= 0) close(fd);
  }
};

// A writer that writes room bytes of its content, then fails as a full
// disk does.
content_writer failing_writer(const std::string& content, std::size_t room) {
  return [&content, room](std::FILE* fp, const std::string& name) {
    output_buffer out(fp, name);
    out.write(content.data(), room);
    out.flush();
    throw write_error(name, ENOSPC);
  };
}

content_writer text_writer(const std::string& content) {
  return [&content](std::FILE* fp, const std::string& name) {
    output_buffer out(fp, name);
    out.write(content);
    out.flush();
  };
}

void check_destinations(const alignment& aln, const weighting& w,
                        const std::vector<double>& score, const selection& sel,
                        double target, int remove_cols, unsigned fill,
                        unsigned kinds, unsigned format_code) {
  const out_format f = kFormats[format_code % 9];
  std::vector<std::string> names;
  try {
    names = output_names(aln, f, format_code >= 9, [](const std::string&) {});
  } catch (const fatal_error&) {
    return;
  }
  thread_pool pool(2);
  pool.set_min_work(0);
  output_place places[3];
  const char* files[] = {"map.tsv", "report.html", "out.txt"};
  const unsigned failing = kinds >> 6;  // 0: none, else 1 + the output
  for (int k = 0; k < 3; ++k) {
    output_place& p = places[k];
    p.how = static_cast<output_place::kind>((kinds >> (2 * k)) & 3);
    p.file = scratch() + "/" + files[k];
    p.fails = failing == static_cast<unsigned>(k + 1);
  }
  {
    capped_file mem;
    output_buffer ob(mem.fp(), "map");
    write_column_map(ob, score, sel);
    ob.flush();
    mem.close();
    places[0].content = mem.text();
    check_column_map(places[0].content, sel);
  }
  {
    capped_file mem;
    output_buffer ob(mem.fp(), "report");
    write_report(ob, {"fuzz", aln, w.wt, score, sel, w.cst, target});
    ob.flush();
    mem.close();
    places[1].content = mem.text();
  }
  places[2].content = render(aln, names, sel, f, remove_cols, pool);
  for (output_place& p : places) {
    p.room = p.content.size() * fill / 256;
    p.prepare();
  }

  output_paths paths;
  paths.column_map = places[0].file;
  paths.report = places[1].file;
  paths.alignment = places[2].file;
  output_contents contents;
  content_writer* writers[] = {&contents.column_map, &contents.report,
                               &contents.alignment};
  for (int k = 0; k < 3; ++k) {
    const output_place& p = places[k];
    *writers[k] = p.fails && p.how != output_place::descriptor
                      ? failing_writer(p.content, p.room)
                      : text_writer(p.content);
  }
  contents.side_work = aln.nseq() * aln.lseq;
  bool failed = false;
  std::string message;
  try {
    side_files out(paths, {}, {{stdout}, {stderr}});
    out.write(contents, pool);
  } catch (const fatal_error& e) {
    failed = true;
    message = e.what();
  }
  if (failing != 0) {
    const output_place& p = places[failing - 1];
    if (failed !=
        (p.how != output_place::descriptor || p.room < p.content.size()))
      fault("a failing destination did not fail the run, or the other way");
    if (failed && message.find(p.file) == std::string::npos)
      fault("the message does not name the failing destination: " + message);
  } else if (failed) {
    fault("destinations failed: " + message);
  }
  for (const output_place& p : places) p.check(failed, message);
  // No temporary file is left, whatever happened.
  DIR* dir = opendir(scratch().c_str());
  if (dir == nullptr) fault("opendir");
  while (const dirent* e = readdir(dir))
    if (std::strstr(e->d_name, ".colsieve-") != nullptr)
      fault(std::string("temporary file left: ") + e->d_name);
  closedir(dir);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 5) return 0;
  static const double kTargets[] = {0.85, 0.0, 1.0, 0.5};
  static const std::size_t kCapacities[] = {16,   17,   64,      100,
                                            1000, 4096, 1 << 16, 1 << 20};
  const int remove_cols = data[0] & 1;
  const double target = kTargets[(data[0] >> 1) & 3];
  input_options opts;
  opts.fold_case = (data[0] >> 3) & 1;
  const std::size_t capacity = kCapacities[(data[0] >> 4) & 7];
  const double cst = data[0] >> 7 ? 0.0 : 1.0;
  const std::vector<std::size_t> pieces = pieces_of(data[1]);
  // A destination that fills up takes (16 * k + 8) / 256 of its output.
  const unsigned fill = 16 * (data[2] >> 4) + 8;
  const std::string text(reinterpret_cast<const char*>(data) + 4, size - 4);

  const read_result in = read_pieces(text, pieces, opts);
  if (!in.ok) return 0;
  const alignment& aln = in.aln;
  thread_pool serial(1);
  const weighting w = weigh_sequences(aln, cst, 1e6, serial);
  const std::vector<double> score =
      column_scores(aln, w.wt, w.cst, w.total_wt, serial);
  selection sel;
  try {
    sel = select_columns(score, target);
  } catch (const fatal_error&) {  // selection that cannot end
    return 0;
  }
  check_formats(aln, sel, remove_cols, capacity, fill, pieces);
  check_destinations(aln, w, score, sel, target, remove_cols, fill, data[3],
                     data[2] & 15);
  return 0;
}
