// The names of a batch's outputs, made from each input's file name:
// {name} is the file name without ".gz", {stem} that without its last
// extension, {ext} the output format's extension.
#ifndef COLSIEVE_RUN_NAMING_H
#define COLSIEVE_RUN_NAMING_H

#include <string>

// The file name of a path: what follows its last '/'.
std::string file_name(const std::string& path);

// {name}: the file name without ".gz" ("a.fa.gz" gives "a.fa").
std::string name_of_input(const std::string& path);

// {stem}: {name} without its last extension ("a.b.fa" gives "a.b"); a name
// whose only dot starts it (".fa") keeps it.
std::string stem_of_input(const std::string& path);

// True when templ names each input's output apart: it holds {stem} or
// {name}.
bool names_each_input(const std::string& templ);

// The template with its placeholders filled in for the input at path, in
// one pass: a value is never searched for placeholders itself (an input
// may be named a{ext}.fa).
std::string expand_template(const std::string& templ, const std::string& path,
                            const std::string& ext);

#endif  // COLSIEVE_RUN_NAMING_H
