#include "registry_tree.h"

#include <algorithm>

namespace plat::reg {

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

Key* Key::Child(std::string_view child_name) const {
  auto it = children.find(FoldName(child_name));
  return it == children.end() ? nullptr : it->second.get();
}

Key& Key::AddChild(std::string_view child_name, bool* created) {
  auto [it, inserted] = children.try_emplace(FoldName(child_name));
  if (inserted) {
    it->second = std::make_unique<Key>();
    it->second->name = std::string(child_name);
  }
  if (created != nullptr) *created = inserted;
  return *it->second;
}

bool Key::RemoveChild(std::string_view child_name) { return children.erase(FoldName(child_name)) > 0; }

Value* Key::FindValue(std::string_view value_name) {
  const std::string folded = FoldName(value_name);
  auto it = std::find_if(values.begin(), values.end(),
                         [&](const Value& v) { return v.folded == folded; });
  return it == values.end() ? nullptr : &*it;
}

void Key::SetValue(std::string_view value_name, DWORD type, std::string data) {
  if (Value* existing = FindValue(value_name)) {
    existing->type = type;
    existing->data = std::move(data);
    return;
  }
  values.push_back(Value{std::string(value_name), FoldName(value_name), type, std::move(data)});
}

bool Key::DeleteValue(std::string_view value_name) {
  const std::string folded = FoldName(value_name);
  auto it = std::find_if(values.begin(), values.end(),
                         [&](const Value& v) { return v.folded == folded; });
  if (it == values.end()) return false;
  values.erase(it);
  return true;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string>* parts) {
  parts->clear();
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.empty()) return true;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = path.find('\\', start);
    std::string_view part = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
    if (part.empty()) return false;
    for (char c : part) {
      if (static_cast<unsigned char>(c) < 0x20) return false;
    }
    parts->emplace_back(part);
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

Key* FindKey(Key& root, const std::vector<std::string>& parts) {
  Key* key = &root;
  for (const std::string& part : parts) {
    key = key->Child(part);
    if (key == nullptr) return nullptr;
  }
  return key;
}

}  // namespace plat::reg
