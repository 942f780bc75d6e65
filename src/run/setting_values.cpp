#include "run/setting_values.h"

#include <algorithm>

#include "base/error.h"
#include "core/genetic_code.h"

namespace {

constexpr const char* kStopMasks[] = {"terminal", "internal", "all"};
constexpr stop_mask kStopMaskValues[] = {stop_mask::terminal,
                                         stop_mask::internal, stop_mask::all};
constexpr const char* kStreamings[] = {"auto", "always", "never"};
constexpr input_options::streaming kStreamingValues[] = {
    input_options::streaming::automatic, input_options::streaming::always,
    input_options::streaming::never};
constexpr const char* kPartitionStyles[] = {"raxml", "nexus"};
constexpr partition_style kPartitionStyleValues[] = {partition_style::raxml,
                                                     partition_style::nexus};
constexpr const char* kPartitionSplits[] = {"gene", "codon"};
constexpr partition_split kPartitionSplitValues[] = {partition_split::gene,
                                                     partition_split::codon};
constexpr const char* kMissingChars[] = {"-", "?"};

// The word's index in words, or throws: `unknown NAME "x"; it is a, b or c`.
std::size_t word_index(const char* name, const std::string& text,
                       std::span<const char* const> words) {
  for (std::size_t k = 0; k < words.size(); ++k)
    if (text == words[k]) return k;
  std::string list;
  for (std::size_t k = 0; k < words.size(); ++k)
    list += std::string(k == 0                  ? ""
                        : k + 1 == words.size() ? " or "
                                                : ", ") +
            words[k];
  throw fatal_error(std::string("Error: unknown ") + name + " \"" + text +
                    "\"; it is " + list);
}

}  // namespace

std::size_t count_value(const char* name, const std::string& text,
                        const char* what, std::size_t largest) {
  constexpr std::size_t kMax = static_cast<std::size_t>(-1);
  std::size_t v = 0;
  const char* p = text.c_str();
  if (*p == '+') ++p;
  bool digits = *p != 0;
  for (; *p != 0 && digits; ++p) {
    digits = *p >= '0' && *p <= '9';
    const std::size_t d = digits ? static_cast<std::size_t>(*p - '0') : 0;
    v = v > (kMax - d) / 10 ? kMax : v * 10 + d;
  }
  if (!digits)
    throw fatal_error(std::string("Error: ") + name + " (" + text +
                      ") must be a whole number, 0 or more: " + what);
  if (v > largest)
    throw fatal_error(std::string("Error: ") + name + " (" + text +
                      ") is too large: the largest value allowed is " +
                      std::to_string(largest) + " (" + what + ")");
  return v;
}

unsigned threads_value(const char* name, const std::string& text) {
  return static_cast<unsigned>(std::min<std::size_t>(
      1024, count_value(name, text, "the number of threads, 0 for one per CPU",
                        static_cast<std::size_t>(-1))));
}

std::size_t max_columns_value(const char* name, const std::string& text) {
  return count_value(name, text,
                     "the most columns a record may have, 0 for no limit",
                     MAX_WIDTH);
}

int genetic_code_value(const char* name, const std::string& text) {
  const std::size_t id =
      count_value(name, text, "an NCBI translation table", 1000);
  if (genetic_code::find(static_cast<int>(id)) == nullptr)
    throw unknown_genetic_code(name, text);
  return static_cast<int>(id);
}

fatal_error unknown_genetic_code(const std::string& name,
                                 const std::string& shown) {
  return fatal_error("Error: " + name + " (" + shown +
                     ") is not a translation table colsieve has; it has " +
                     genetic_code::known());
}

std::span<const char* const> stop_mask_words() { return kStopMasks; }
std::span<const char* const> streaming_words() { return kStreamings; }
std::span<const char* const> partition_style_words() {
  return kPartitionStyles;
}
std::span<const char* const> partition_split_words() {
  return kPartitionSplits;
}
std::span<const char* const> missing_char_words() { return kMissingChars; }

stop_mask stop_mask_value(const char* name, const std::string& text) {
  return kStopMaskValues[word_index(name, text, kStopMasks)];
}

input_options::streaming streaming_value(const char* name,
                                         const std::string& text) {
  return kStreamingValues[word_index(name, text, kStreamings)];
}

out_format out_format_value(const std::string& text) {
  const std::optional<out_format> f = parse_out_format(text);
  if (!f)
    throw fatal_error("Error: unknown output format \"" + text +
                      "\"; the formats are " + out_format_names());
  return *f;
}

partition_style partition_style_value(const char* name,
                                      const std::string& text) {
  return kPartitionStyleValues[word_index(name, text, kPartitionStyles)];
}

partition_split partition_split_value(const char* name,
                                      const std::string& text) {
  return kPartitionSplitValues[word_index(name, text, kPartitionSplits)];
}

char missing_char_value(const char* name, const std::string& text) {
  return kMissingChars[word_index(name, text, kMissingChars)][0];
}
