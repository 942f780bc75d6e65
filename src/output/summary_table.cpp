#include "output/summary_table.h"

#include <cstdio>

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

namespace {

// One field: its text, whether it is a string, and whether it applies.
struct field {
  std::string text;
  bool string = false;
  bool applies = true;
};

std::string number(double v) {
  char buf[400];  // room for any double in "%f"
  std::snprintf(buf, sizeof buf, "%f", v);
  return buf;
}

std::vector<field> fields_of(const summary_row& r) {
  const auto count = [&r](std::size_t n) {
    return field{std::to_string(n), false, r.ok};
  };
  const auto real = [&r](double v, bool applies = true) {
    return field{number(v), false, r.ok && applies};
  };
  return {
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
}

// Text in a table cell: tabs and line ends would break the table.
std::string cell(std::string s) {
  for (char& c : s)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return s;
}

std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

}  // namespace

void write_summary_table(output_buffer& fp,
                         const std::vector<summary_row>& rows, bool json) {
  if (!json) {
    for (int k = 0; k < 16; ++k) {
      if (k > 0) fp.put('\t');
      fp.write(std::string(SUMMARY_FIELDS[k]));
    }
    fp.put('\n');
    for (const summary_row& r : rows) {
      const std::vector<field> f = fields_of(r);
      for (std::size_t k = 0; k < f.size(); ++k) {
        if (k > 0) fp.put('\t');
        if (f[k].applies) fp.write(cell(f[k].text));
      }
      fp.put('\n');
    }
    return;
  }
  fp.write(std::string(rows.empty() ? "[" : "[\n"));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::vector<field> f = fields_of(rows[i]);
    fp.write(std::string("  {"));
    for (std::size_t k = 0; k < f.size(); ++k) {
      fp.write(std::string(k > 0 ? ", " : "") + json_string(SUMMARY_FIELDS[k]) +
               ": ");
      fp.write(!f[k].applies ? std::string("null")
               : f[k].string ? json_string(f[k].text)
                             : f[k].text);
    }
    fp.write(std::string(i + 1 < rows.size() ? "},\n" : "}\n"));
  }
  fp.write(std::string("]\n"));
}
