// Folders given as a batch's inputs: the alignment files in them.
#ifndef COLSIEVE_RUN_FOLDERS_H
#define COLSIEVE_RUN_FOLDERS_H

#include <string>
#include <vector>

#include "base/error.h"

// The inputs of a batch with each folder among them replaced by the
// alignment files in it, in the order of their names (byte by byte): the
// regular files whose format colsieve tells from their first bytes. Hidden
// files (".name"), folders and files of no format colsieve reads are left
// out; warn gets one line for each folder that left some out or holds no
// alignment, with their count and names. Other inputs stay as they are, also
// when they do not exist (their run says why). Throws fatal_error when a folder
// cannot be read.
std::vector<std::string> batch_inputs(const std::vector<std::string>& args,
                                      const warn_fn& warn);

#endif  // COLSIEVE_RUN_FOLDERS_H
