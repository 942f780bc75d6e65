#include "input/msf.h"

#include <vector>

#include "base/error.h"
#include "input/text_lines.h"

namespace {

constexpr std::size_t kHeaderLine = 64 << 10;  // of a line looked at, kept

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool digits_only(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

bool numbers_only(std::string_view s) {
  return s.find_first_not_of("0123456789 \t") == std::string::npos;
}

// The count after "MSF:" on the header line, or 0.
std::size_t declared_length(std::string_view line) {
  const std::size_t at = line.find("MSF:");
  if (at == std::string_view::npos) return 0;
  std::string_view rest = line.substr(at + 4);
  const std::string_view w = take_word(&rest);
  if (!digits_only(w) || w.size() > 12) return 0;
  return static_cast<std::size_t>(std::stoull(std::string(w)));
}

}  // namespace

bool looks_like_msf(std::string_view line, std::string_view) {
  std::string_view rest = line;
  const std::string_view w = take_word(&rest);
  if (w == "!!AA_MULTIPLE_ALIGNMENT" || w == "!!NA_MULTIPLE_ALIGNMENT" ||
      starts_with(w, "PileUp"))
    return true;
  const std::string_view t = trim(line);
  return !starts_with(t, ">") && t.find("MSF:") != std::string_view::npos &&
         t.size() >= 2 && t.substr(t.size() - 2) == "..";
}

loaded_input read_msf(byte_source* src, const read_context& ctx) {
  line_reader lines(src);
  const auto fail = [&](std::size_t line, const std::string& what) {
    throw fatal_error("Error: " + ctx.where + ", line " + std::to_string(line) +
                      ": " + what);
  };

  // The header: what precedes the "MSF:" line is free text; the "Name:"
  // lines list the records.
  std::vector<std::string> names;
  std::size_t declared = 0;
  std::string text, name;
  bool ended = false;
  while (!ended && lines.start()) {
    text.clear();
    lines.take(kLineEnd, &text, kHeaderLine);
    lines.finish();
    std::string_view rest = text;
    const std::string_view first = take_word(&rest);
    if (first == "//") {
      ended = true;
    } else if (first == "Name:") {
      const std::string_view n = take_word(&rest);
      if (n.empty()) fail(lines.number(), "a \"Name:\" line with no name");
      names.emplace_back(n);
    } else if (declared == 0) {
      declared = declared_length(text);
    }
  }
  if (!ended)
    throw fatal_error("Error: the MSF header of " + ctx.where +
                      " has no \"//\" line ending it (a file cut short?)");

  block_rows rows(block_rows::key::position, ctx,
                  full_row_table(".-_~", ctx.keep_letters));
  std::size_t blocks = 0;  // blocks read, rows in each
  const auto end_block = [&](std::size_t line) {
    if (rows.block_size() == 0) return;
    if (blocks == 0 && rows.block_size() < names.size())
      fail(line, "the first block has " + std::to_string(rows.block_size()) +
                     " rows, but the header names " +
                     std::to_string(names.size()) + " sequences (" +
                     quoted(names[rows.block_size()]) + " is missing)");
    rows.end_block(line);
    ++blocks;
  };
  std::string held;
  while (lines.start()) {
    const int c0 = lines.peek();
    lines.skip_blanks();
    if (lines.peek() < 0) {  // a blank line ends a block
      end_block(lines.number());
      lines.finish();
      continue;
    }
    name.clear();
    lines.take(kBlankOrEnd, &name);
    // A block that holds every record the header names is whole: a row
    // that follows starts the next.
    if (!names.empty() && rows.block_size() == names.size())
      end_block(lines.number());
    const std::size_t k = rows.block_size();
    held.clear();
    if (digits_only(name) &&
        (c0 == ' ' || c0 == '\t' || k >= names.size() || name != names[k])) {
      // Column numbers above a block ("1  50"), unless the rest says this
      // is a row after all.
      const int stop = lines.take(kLineEnd, &held, kHeaderLine);
      if (stop != byte_stream::kFull && numbers_only(held)) {
        end_block(lines.number());
        lines.finish();
        continue;
      }
    }
    if (!names.empty() && (k >= names.size() || name != names[k]))
      fail(lines.number(),
           k >= names.size()
               ? "this block has more rows than the header names sequences (" +
                     std::to_string(names.size()) + ")"
               : "row " + std::to_string(k + 1) + " of this block is " +
                     quoted(name) + ", but sequence " + std::to_string(k + 1) +
                     " of the header is " + quoted(names[k]));
    rows.begin_row(name, lines.number());
    rows.add(held);
    rows.add_rest_of_line(lines);
    rows.end_row();
    lines.finish();
  }
  end_block(lines.number());
  if (blocks == 0 && !names.empty())
    throw fatal_error("Error: the MSF header of " + ctx.where + " names " +
                      std::to_string(names.size()) +
                      " sequences, but no rows follow its \"//\" line");
  loaded_input in = rows.take(lines.number());
  for (std::size_t i = 0; i < in.lengths.size() && declared > 0; ++i)
    if (in.lengths[i] != declared)
      throw fatal_error(
          "Error: " + ctx.where + ": " + record_label(i, in.aln.names[i]) +
          " has " + std::to_string(in.lengths[i]) +
          " columns, but the header says MSF: " + std::to_string(declared) +
          (in.lengths[i] < declared ? " (a file cut short?)" : ""));
  return in;
}
