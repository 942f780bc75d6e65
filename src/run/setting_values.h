// The values of settings as the faces get them, as text: each read in one
// place, with the one message that refuses it. `name` is how the face
// calls the setting ("--threads", "threads").
#ifndef COLSIEVE_RUN_SETTING_VALUES_H
#define COLSIEVE_RUN_SETTING_VALUES_H

#include <cstddef>
#include <span>
#include <string>

#include "base/error.h"
#include "core/trimming.h"
#include "input/read_input.h"
#include "output/formats.h"
#include "output/supermatrix.h"

// Each throws fatal_error for a value it does not take.

// A whole number from 0 to largest: digits only, after an optional '+'.
// Digits past what size_t holds count as its largest value. `what` says
// what the setting is, for the message.
std::size_t count_value(const char* name, const std::string& text,
                        const char* what, std::size_t largest);

// Threads: 0 for one per CPU; more than 1024 are 1024.
unsigned threads_value(const char* name, const std::string& text);
// The column limit: 0 for none, at most MAX_WIDTH.
std::size_t max_columns_value(const char* name, const std::string& text);
// An NCBI translation table colsieve has.
int genetic_code_value(const char* name, const std::string& text);
// The error for a table colsieve does not have: the setting's name and
// the table as the message shows it.
fatal_error unknown_genetic_code(const std::string& name,
                                 const std::string& shown);

// The words some settings take, in the order help and completion list them.
std::span<const char* const> stop_mask_words();        // terminal internal all
std::span<const char* const> streaming_words();        // auto always never
std::span<const char* const> partition_style_words();  // raxml nexus
std::span<const char* const> partition_split_words();  // gene codon
std::span<const char* const> missing_char_words();     // - ?

stop_mask stop_mask_value(const char* name, const std::string& text);
input_options::streaming streaming_value(const char* name,
                                         const std::string& text);
out_format out_format_value(const std::string& text);
partition_style partition_style_value(const char* name,
                                      const std::string& text);
partition_split partition_split_value(const char* name,
                                      const std::string& text);
char missing_char_value(const char* name, const std::string& text);

#endif  // COLSIEVE_RUN_SETTING_VALUES_H
