#include "output/formats.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "base/error.h"
#include "base/text.h"
#include "core/alphabet.h"
#include "input/fasta_seq.h"
#include "output/writer.h"

namespace {

constexpr std::size_t kWidth = 60;  // residues a line, where lines break

name_rule rule_of(out_format f, bool safe_names) {
  const name_rule rule = out_format_row_of(f).names;
  return rule == name_rule::record && safe_names ? name_rule::newick : rule;
}

const char* name_of(out_format f) { return out_format_row_of(f).name; }

bool refused_in_newick(unsigned char c) {
  return c <= ' ' || c == 0x7f || std::strchr("()[]:;,'", c) != nullptr;
}

bool nexus_word_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '_' || c == '.';
}

// The characters each rule replaces, as its warning names them.
const char* replaced_text(name_rule rule) {
  return rule == name_rule::nexus
             ? "blanks and characters other than letters, digits, '.' and '_'"
             : "blanks and ( ) [ ] : ; , '";
}

// The word a tree format's name is made from: the first word, or a quoted
// NEXUS name whole.
std::string_view name_word(std::string_view text, name_form form) {
  return form == name_form::quoted ? text : first_word(text);
}

// word with the characters the rule refuses replaced by '_'.
std::string safe_name(std::string_view word, name_rule rule) {
  if (word.empty()) return "_";
  std::string name;
  name.reserve(word.size());
  for (std::size_t i = 0; i < word.size();) {
    const auto c = static_cast<unsigned char>(word[i]);
    if (rule == name_rule::newick) {
      name += refused_in_newick(c) ? '_' : word[i];
      ++i;
    } else {
      name += nexus_word_char(c) ? word[i] : '_';
      const std::size_t n = c >= 0x80 ? utf8_length(word.substr(i)) : 0;
      i += n > 0 ? n : 1;  // a whole character becomes one '_'
    }
  }
  return name;
}

// Writes one record in a format that holds the kept columns only.
class kept_formatter : public record_formatter {
 public:
  kept_formatter(out_format f, const alignment& aln,
                 const std::vector<std::string>& names, const selection& sel)
      : f_(f),
        aln_(aln),
        names_(names),
        kept_(sel.is_selected, 1, 0),
        count_(static_cast<std::size_t>(sel.n_gt_target)) {
    for (const std::string& n : names) width_ = std::max(width_, n.size());
  }

  // Every written name is at most its header plus a type code.
  std::size_t bound(std::string_view name, std::size_t) const override {
    return 2 * name.size() + width_ + count_ + count_ / kWidth + 32;
  }

  std::size_t format(char* dst, std::size_t index, std::string_view header,
                     const char* row, std::size_t len) const override {
    char* out = dst;
    const auto put = [&](std::string_view s) {
      std::memcpy(out, s.data(), s.size());
      out += s.size();
    };
    const auto pad = [&](std::size_t n) {
      std::memset(out, ' ', n);
      out += n;
    };
    const std::string& name = names_[index];
    switch (f_) {
      case out_format::fasta:
      case out_format::pir: {
        if (f_ == out_format::fasta) {
          put(">");
          put(name);
          put("\n");
        } else {
          // A PIR record keeps its own type code; the others are P1 (a name
          // that starts with a code is written as it is). The description
          // line repeats the name: reading the output back and writing it
          // again gives the same bytes.
          const bool pir = aln_.form(index) == name_form::pir;
          const bool coded = !pir && has_pir_code(name);
          put(">");
          put(pir ? header.substr(0, 3) : coded ? "" : "P1;");
          put(name);
          put("\n");
          put(coded ? std::string_view(name).substr(3) : name);
          put("\n");
        }
        // The kept columns, then broken into lines of 60.
        char* seq = out + count_ / kWidth + 8;  // room for the line ends
        const std::size_t n = kept_.kept(seq, row, len);
        for (std::size_t i = 0; i < n; i += kWidth) {
          const std::size_t k = std::min(kWidth, n - i);
          std::memmove(out, seq + i, k);
          out += k;
          if (i + k < n || f_ == out_format::fasta) *out++ = '\n';
        }
        if (f_ == out_format::pir) put("*\n");
        break;
      }
      case out_format::phylip_relaxed:
        put(name);
        pad(width_ + 1 - name.size());
        out += kept_.kept(out, row, len);
        put("\n");
        break;
      case out_format::phylip_strict:
        put(name);
        pad(10 - name.size());
        out += kept_.kept(out, row, len);
        put("\n");
        break;
      case out_format::paml:
        put(name);
        put("  ");
        out += kept_.kept(out, row, len);
        put("\n");
        break;
      case out_format::nexus:
        put("  ");
        put(name);
        pad(width_ + 2 - name.size());
        out += kept_.kept(out, row, len);
        put("\n");
        break;
      default:
        break;
    }
    return static_cast<std::size_t>(out - dst);
  }

 private:
  out_format f_;
  const alignment& aln_;
  const std::vector<std::string>& names_;
  trimmed_writer kept_;
  std::size_t count_;
  std::size_t width_ = 0;
};

char shown_residue(char c) { return c == UNALIGNED ? '-' : c; }

// Clustal interleaves the records, block by block; each block is taken
// from the rows as it is written, without a copy of the alignment, and
// its columns from the mask as the blocks go.
void write_clustal(output_buffer& fp, const alignment& aln,
                   const std::vector<std::string>& names,
                   const selection& sel) {
  const std::vector<unsigned char>& mask = sel.is_selected;
  std::size_t width = 0;
  for (const std::string& name : names) width = std::max(width, name.size());
  width = std::max<std::size_t>(width + 6, 16);
  fp.write(std::string(
      "CLUSTAL W multiple sequence alignment, written by colsieve\n\n"));
  std::string line;
  // A window of columns at a time, as many blocks as about 4 MB of rows
  // hold: rows read again from their file come through it.
  const std::size_t budget =
      std::max<std::size_t>(1, (std::size_t{4} << 20) / aln.nseq());
  std::unique_ptr<char[]> window;
  std::size_t window_room = 0;
  std::vector<const char*> rows(aln.nseq());
  std::vector<std::size_t> cols;  // the window's columns, block by block
  for (std::size_t next = 0; next < aln.lseq;) {
    cols.clear();
    const std::size_t lo = next;
    while (next < aln.lseq) {
      if (mask[next++] != 0) cols.push_back(next - 1);
      if (cols.size() % kWidth == 0 && next - lo >= budget) break;
    }
    const std::size_t hi = next, span = hi - lo;
    if (window_room < aln.nseq() * span) {
      window_room = aln.nseq() * span;
      window.reset(new char[window_room]);
    }
    for (std::size_t i = 0; i < aln.nseq(); ++i)
      rows[i] = aln.segment(i, lo, hi, window.get() + i * span);
    for (std::size_t b = 0; b < cols.size(); b += kWidth) {
      const std::size_t k = std::min(kWidth, cols.size() - b);
      fp.put('\n');
      for (std::size_t i = 0; i < aln.nseq(); ++i) {
        const char* r = rows[i];  // row i's columns from lo on
        line.assign(names[i]);
        line.append(width - names[i].size(), ' ');
        for (std::size_t j = 0; j < k; ++j)
          line += shown_residue(r[cols[b + j] - lo]);
        line += '\n';
        fp.write(line);
      }
      // Conservation: '*' where every sequence has the same residue (a
      // column of gaps only has none); the line spans the whole block, as
      // readers expect.
      line.assign(width, ' ');
      for (std::size_t j = 0; j < k; ++j) {
        const std::size_t col = cols[b + j] - lo;
        const char c = rows[0][col];
        bool same = c != UNALIGNED;
        for (std::size_t i = 1; same && i < aln.nseq(); ++i)
          same = rows[i][col] == c;
        line += same ? '*' : ' ';
      }
      line += '\n';
      fp.write(line);
    }
  }
}

// The two layouts of old: unselected columns kept in lower case unless
// remove_cols; PHYLIP with its header of counts.
template <int phylip>
void write_layout(output_buffer& fp, const alignment& aln,
                  const std::vector<std::string>&, const selection& sel,
                  int remove_cols, thread_pool& pool) {
  if (phylip)
    fp.write(std::to_string(aln.nseq()) + " " +
             std::to_string(sel.n_gt_target) + "\n");
  if (phylip && remove_cols && sel.n_gt_target == 0) {
    // The writer would run the names into one line; a file of no columns
    // (a complement where nothing was dropped) has one name a line.
    for (const std::string& name : aln.names) fp.write(name + "\n");
    return;
  }
  const trimmed_writer writer(sel.is_selected, remove_cols, phylip);
  write_records(fp, aln, writer, pool);
}

// The formats that hold the kept columns only, record after record.
template <out_format f>
void write_kept(output_buffer& fp, const alignment& aln,
                const std::vector<std::string>& names, const selection& sel,
                int, thread_pool& pool) {
  if (f == out_format::nexus) {
    // The data type from the letters that are written (the alignment's,
    // where they cannot tell: a complement of no columns is no protein).
    const alphabet a = written_alphabet(aln, sel.is_selected);
    const char* type = a == alphabet::dna   ? "DNA"
                       : a == alphabet::rna ? "RNA"
                                            : "PROTEIN";
    fp.write("#NEXUS\n\nBEGIN DATA;\n  DIMENSIONS NTAX=" +
             std::to_string(aln.nseq()) +
             " NCHAR=" + std::to_string(sel.n_gt_target) +
             ";\n  FORMAT DATATYPE=" + type + " GAP=- MISSING=?;\n  MATRIX\n");
  } else if (f != out_format::fasta && f != out_format::pir) {
    fp.write(std::to_string(aln.nseq()) + " " +  // the PHYLIP formats, PAML
             std::to_string(sel.n_gt_target) + "\n");
  }
  const kept_formatter fmt(f, aln, names, sel);
  write_records(fp, aln, fmt, pool);
  if (f == out_format::nexus) fp.write(std::string("  ;\nEND;\n"));
}

void write_clustal_format(output_buffer& fp, const alignment& aln,
                          const std::vector<std::string>& names,
                          const selection& sel, int, thread_pool&) {
  write_clustal(fp, aln, names, sel);
}

constexpr out_format_row kFormats[] = {
    {out_format::default_layout, "default", "fa", name_rule::whole,
     write_layout<0>},
    {out_format::phylip, "phylip", "phy", name_rule::whole, write_layout<1>},
    {out_format::fasta, "fasta", "fa", name_rule::record,
     write_kept<out_format::fasta>},
    {out_format::phylip_relaxed, "phylip-relaxed", "phy", name_rule::newick,
     write_kept<out_format::phylip_relaxed>},
    {out_format::phylip_strict, "phylip-strict", "phy", name_rule::newick,
     write_kept<out_format::phylip_strict>},
    {out_format::nexus, "nexus", "nex", name_rule::nexus,
     write_kept<out_format::nexus>},
    {out_format::clustal, "clustal", "aln", name_rule::newick,
     write_clustal_format},
    {out_format::paml, "paml", "phy", name_rule::newick,
     write_kept<out_format::paml>},
    {out_format::pir, "pir", "pir", name_rule::record,
     write_kept<out_format::pir>},
};

}  // namespace

std::span<const out_format_row> out_format_table() { return kFormats; }

const out_format_row& out_format_row_of(out_format f) {
  for (const out_format_row& row : kFormats)
    if (row.format == f) return row;
  return kFormats[0];
}

std::optional<out_format> parse_out_format(std::string_view name) {
  for (const out_format_row& row : kFormats)
    if (name == row.name) return row.format;
  return std::nullopt;
}

std::string out_format_names() {
  std::string s;
  for (const out_format_row& row : kFormats) {
    if (!s.empty()) s += ", ";
    s += row.name;
  }
  return s;
}

std::string_view record_name_text(const alignment& aln, std::size_t i) {
  const std::string_view header = aln.names[i];
  if (aln.form(i) == name_form::pir && header.size() >= 3 && header[2] == ';')
    return header.substr(3);
  return header;
}

std::string name_in_format(std::string_view text, out_format f,
                           bool safe_names) {
  const name_rule rule = rule_of(f, safe_names);
  if (rule == name_rule::whole || rule == name_rule::record)
    return std::string(text);
  std::string name = safe_name(text, rule);
  if (f == out_format::phylip_strict) name = utf8_prefix(name, 10);
  return name;
}

std::vector<std::string> names_to_write(const alignment& aln, out_format f,
                                        bool safe_names, const warn_fn& warn) {
  if (out_format_row_of(f).names == name_rule::whole) return {};
  return output_names(aln, f, safe_names, warn);
}

std::vector<std::string> output_names(const alignment& aln, out_format f,
                                      bool safe_names, const warn_fn& warn) {
  const name_rule rule = rule_of(f, safe_names);
  std::vector<std::string> names;
  names.reserve(aln.nseq());
  if (rule == name_rule::whole) return aln.names;
  if (rule == name_rule::record) {
    for (std::size_t i = 0; i < aln.nseq(); ++i)
      names.emplace_back(record_name_text(aln, i));
    return names;
  }
  std::size_t changed = 0;
  std::string first_before, first_after;
  for (std::size_t i = 0; i < aln.nseq(); ++i) {
    const std::string_view word =
        name_word(record_name_text(aln, i), aln.form(i));
    std::string name = safe_name(word, rule);
    if (name != word && changed++ == 0) {
      first_before = shown(word);
      first_after = shown(name);
    }
    if (f == out_format::phylip_strict) name = utf8_prefix(name, 10);
    names.push_back(std::move(name));
  }
  // Two records with one name break tree programs: refuse, naming both.
  std::unordered_map<std::string_view, std::size_t> seen;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto [it, fresh] = seen.emplace(names[i], i);
    if (!fresh)
      throw fatal_error("Error: records " + std::to_string(it->second + 1) +
                        " (\"" + shown(aln.names[it->second]) + "\") and " +
                        std::to_string(i + 1) + " (\"" + shown(aln.names[i]) +
                        "\") would both be named \"" + shown(names[i]) +
                        "\" in " + name_of(f) +
                        " output; tree programs need names that differ");
  }
  if (changed > 0)
    warn("Warning: " + std::to_string(changed) +
         (changed == 1 ? " name was" : " names were") + " changed for " +
         name_of(f) + " output (" + replaced_text(rule) +
         " became '_'); the first: \"" + first_before + "\" became \"" +
         first_after + "\"");
  return names;
}

void write_alignment(output_buffer& fp, const alignment& aln,
                     const std::vector<std::string>& names,
                     const selection& sel, out_format f, int remove_cols,
                     thread_pool& pool) {
  out_format_row_of(f).write(fp, aln, names, sel, remove_cols, pool);
}
