#include "run/naming.h"

#include <string_view>
#include <utility>

std::string file_name(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string name_of_input(const std::string& path) {
  std::string name = file_name(path);
  if (name.ends_with(".gz")) name.resize(name.size() - 3);
  return name;
}

std::string stem_of_input(const std::string& path) {
  std::string name = name_of_input(path);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

bool names_each_input(const std::string& templ) {
  return templ.find("{stem}") != std::string::npos ||
         templ.find("{name}") != std::string::npos;
}

std::string expand_template(const std::string& templ, const std::string& path,
                            const std::string& ext) {
  const std::string stem = stem_of_input(path), name = name_of_input(path);
  const std::pair<std::string_view, const std::string*> keys[] = {
      {"{stem}", &stem}, {"{ext}", &ext}, {"{name}", &name}};
  std::string out;
  for (std::size_t at = 0; at < templ.size();) {
    bool found = false;
    for (const auto& [key, value] : keys)
      if (templ.compare(at, key.size(), key) == 0) {
        out += *value;
        at += key.size();
        found = true;
        break;
      }
    if (!found) out += templ[at++];
  }
  return out;
}
