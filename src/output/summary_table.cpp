#include "output/summary_table.h"

#include <cstdio>
#include <string_view>

#include "base/text.h"

const char* const SUMMARY_FIELDS[16] = {
    "input",
    "format",
    "sequences",
    "columns",
    "kept_columns",
    "kept_fraction",
    "target",
    "variable_before",
    "variable_after",
    "parsimony_informative_before",
    "parsimony_informative_after",
    "missing_percent_before",
    "missing_percent_after",
    "gc_percent",
    "status",
    "error",
};

const char* const SUMMARY_JOIN_FIELDS[2] = {"concat_start", "concat_end"};

namespace {

// One field: its text, whether it is a string, and whether it applies.
struct field {
  std::string text;
  bool string = false;
  bool applies = true;
};

std::vector<field> fields_of(const summary_row& r, bool joined) {
  const auto count = [&r](std::size_t n) {
    return field{std::to_string(n), false, r.ok};
  };
  const auto real = [&r](double v, bool applies = true) {
    return field{fixed_decimals(v), false, r.ok && applies};
  };
  std::vector<field> f = {
      {r.input, true, true},
      {r.format, true, !r.format.empty()},
      count(r.sequences),
      count(r.columns),
      count(r.kept_columns),
      real(r.kept_fraction),
      real(r.target),
      count(r.before.variable),
      count(r.after.variable),
      count(r.before.parsimony_informative),
      count(r.after.parsimony_informative),
      real(r.before.missing_percent),
      real(r.after.missing_percent),
      real(r.after.gc_percent, r.nucleotides),
      {r.ok ? "ok" : "failed", true, true},
      {r.error, true, !r.ok},
  };
  if (joined)
    for (const std::size_t col : {r.concat_start, r.concat_end})
      f.push_back({std::to_string(col), false, r.concat_start != 0});
  return f;
}

// The field names of a table.
std::vector<const char*> field_names(bool joined) {
  std::vector<const char*> names(SUMMARY_FIELDS, SUMMARY_FIELDS + 16);
  if (joined)
    names.insert(names.end(), SUMMARY_JOIN_FIELDS, SUMMARY_JOIN_FIELDS + 2);
  return names;
}

// JSON text is Unicode: a byte that is not UTF-8 (a file name in Latin-1,
// say) would make the whole file unreadable to a strict reader such as
// Python's json.load. Each such byte is written as U+FFFD, the replacement
// character, rather than guessed at: its Latin-1 reading would name another
// file without a sign. The tab-separated table keeps the bytes.
std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n =
        c < 0x80 ? 1 : utf8_length(std::string_view(s).substr(i));
    if (n == 0) {
      out += "\\ufffd";
      ++i;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += s[i++];
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      ++i;
    } else {
      out.append(s, i, n);
      i += n;
    }
  }
  return out + "\"";
}

// The code point of the valid UTF-8 character of n bytes at the start of s.
unsigned code_point(std::string_view s, std::size_t n) {
  unsigned cp = static_cast<unsigned char>(s[0]) & (0x7f >> n);
  for (std::size_t k = 1; k < n; ++k)
    cp = cp << 6 | (static_cast<unsigned char>(s[k]) & 0x3f);
  return cp;
}

// Characters other than '\n' and '\r' at which MultiQC (Python's
// splitlines) and YAML end a line.
bool line_break(unsigned cp) {
  return cp == 0x85 || cp == 0x2028 || cp == 0x2029;
}

// A cell of the table MultiQC reads: as table_cell(), and whatever would end
// its line or stop MultiQC reading the file as UTF-8 text as well: control
// characters and line separators as blanks, bytes that are not UTF-8 as
// '?'.
std::string multiqc_cell(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : utf8_length(s.substr(i));
    if (n == 0) {
      out += '?';
      ++i;
      continue;
    }
    if (c < 0x20 || (n > 1 && line_break(code_point(s.substr(i), n))))
      out += ' ';
    else
      out.append(s, i, n);
    i += n;
  }
  return out;
}

// A YAML double-quoted string, which MultiQC's reader (PyYAML) takes
// whatever the bytes: control characters, bytes that are not UTF-8, line
// separators and the characters YAML does not allow in a stream escaped.
std::string yaml_string(std::string_view s) {
  std::string out = "\"";
  char buf[12];
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c < 0x7f) {
      if (c == '"' || c == '\\') out += '\\';
      out += s[i++];
      continue;
    }
    const std::size_t n = utf8_length(s.substr(i));
    if (n == 0) {  // a control character, or a byte that is not UTF-8
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
      ++i;
      continue;
    }
    const unsigned cp = code_point(s.substr(i), n);
    if ((cp >= 0x80 && cp < 0xa0) || line_break(cp) || cp == 0xfffe ||
        cp == 0xffff) {
      std::snprintf(buf, sizeof buf, "\\u%04x", cp);
      out += buf;
    } else {
      out.append(s, i, n);
    }
    i += n;
  }
  return out + "\"";
}

template <typename Quote>
std::string list_of(const std::vector<std::string>& items, Quote quote) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i)
    out += (i > 0 ? ", " : "") + quote(items[i]);
  return out + "]";
}

// The lines MultiQC reads before the table: the section and its table, the
// count columns shown as whole numbers.
void write_multiqc_header(output_buffer& fp,
                          const std::vector<std::string>& command_line,
                          bool joined) {
  const std::string version = COLSIEVE_VERSION;
  std::string h =
      "# id: \"colsieve\"\n"
      "# section_name: \"colsieve\"\n"
      "# description: \"Alignments trimmed by colsieve " +
      version +
      ", one row each.\"\n"
      "# plot_type: \"table\"\n"
      "# pconfig:\n"
      "#     id: \"colsieve_summary\"\n"
      "#     title: \"colsieve: trimmed alignments\"\n"
      "#     namespace: \"colsieve\"\n"
      "# headers:\n";
  for (const char* count :
       {"sequences", "columns", "kept_columns", "variable_before",
        "variable_after", "parsimony_informative_before",
        "parsimony_informative_after"})
    h += std::string("#     ") + count + ": {format: \"{:,.0f}\"}\n";
  for (int k = 0; k < 2 && joined; ++k)
    h += std::string("#     ") + SUMMARY_JOIN_FIELDS[k] +
         ": {format: \"{:.0f}\"}\n";
  h += "# tool: \"colsieve\"\n"
       "# version: \"" +
       version +
       "\"\n"
       "# command_line: " +
       list_of(command_line, yaml_string) + "\n";
  fp.write(h);
}

}  // namespace

summary_format summary_format_of(const std::string& path) {
  if (path.ends_with(".json")) return summary_format::json;
  if (path.ends_with("_mqc.tsv")) return summary_format::multiqc_tsv;
  return summary_format::tsv;
}

void write_summary_table(output_buffer& fp,
                         const std::vector<summary_row>& rows,
                         summary_format format,
                         const std::vector<std::string>& command_line,
                         bool joined) {
  const std::vector<const char*> names = field_names(joined);
  if (format != summary_format::json) {
    if (format == summary_format::multiqc_tsv)
      write_multiqc_header(fp, command_line, joined);
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (k > 0) fp.put('\t');
      fp.write(std::string(names[k]));
    }
    fp.put('\n');
    for (const summary_row& r : rows) {
      const std::vector<field> f = fields_of(r, joined);
      for (std::size_t k = 0; k < f.size(); ++k) {
        if (k > 0) fp.put('\t');
        if (!f[k].applies) continue;
        if (format == summary_format::tsv) {
          fp.write(table_cell(f[k].text));
        } else {
          // MultiQC takes a line that starts with '#' as part of the
          // header: "./#a.fa" names the same file as "#a.fa".
          if (k == 0 && f[k].text[0] == '#') fp.write(std::string("./"));
          fp.write(multiqc_cell(f[k].text));
        }
      }
      fp.put('\n');
    }
    return;
  }
  // The run first, then its rows, one a line as in a table.
  fp.write(std::string("{\n  \"tool\": \"colsieve\",\n  \"version\": ") +
           json_string(COLSIEVE_VERSION) +
           ",\n  \"command_line\": " + list_of(command_line, json_string) +
           ",\n  \"rows\": [" + (rows.empty() ? "" : "\n"));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::vector<field> f = fields_of(rows[i], joined);
    fp.write(std::string("    {"));
    for (std::size_t k = 0; k < f.size(); ++k) {
      fp.write(std::string(k > 0 ? ", " : "") + json_string(names[k]) + ": ");
      fp.write(!f[k].applies ? std::string("null")
               : f[k].string ? json_string(f[k].text)
                             : f[k].text);
    }
    fp.write(std::string(i + 1 < rows.size() ? "},\n" : "}\n"));
  }
  fp.write(std::string(rows.empty() ? "]\n}\n" : "  ]\n}\n"));
}
