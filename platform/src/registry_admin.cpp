// Whole-hive operations behind `reg export` and `reg import`.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "plat/registry.h"
#include "registry_store.h"
#include "registry_text.h"

namespace plat {

LONG RegCheckHive(std::string* error) {
  reg::Key root;
  return reg::LoadHive(root, error);
}

LONG RegExportHive(const std::string& file, std::string* error) {
  reg::Key root;
  if (const LONG loaded = reg::LoadHive(root, error); loaded != ERROR_SUCCESS) return loaded;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << reg::WriteRegistryText(root);
  out.close();
  if (!out) {
    if (error != nullptr) *error = "cannot write " + file + ": " + std::strerror(errno);
    return ERROR_CANTWRITE;
  }
  return ERROR_SUCCESS;
}

LONG RegImportHive(const std::string& file, std::string* error) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) {
    if (error != nullptr) *error = "cannot read " + file + ": " + std::strerror(errno);
    return ERROR_CANTREAD;
  }
  return reg::UpdateHive(
      [&](reg::Key& root) {
        reg::TextError text_error;
        if (reg::ParseRegistryText(text.str(), root, &text_error)) return ERROR_SUCCESS;
        if (error != nullptr) *error = reg::DescribeTextError(file, text_error.line, text_error.what);
        return ERROR_BADDB;
      },
      error);
}

}  // namespace plat
