#include "host/registry_tree.h"

#include "host/registry_script.h"

namespace qoinfo {
namespace {

constexpr std::pair<RegistryRoot, const char16_t*> kRootNames[] = {
    {RegistryRoot::kClassesRoot, u"HKCR"},
    {RegistryRoot::kCurrentUser, u"HKCU"},
    {RegistryRoot::kLocalMachine, u"HKLM"},
    {RegistryRoot::kUsers, u"HKU"},
    {RegistryRoot::kCurrentConfig, u"HKCC"},
};

// The names of `path`, split at '\'; false for an empty name in it.
bool SplitPath(const std::u16string& path, std::vector<std::u16string>* names) {
  std::size_t start = 0;
  while (true) {
    const std::size_t end = path.find(u'\\', start);
    names->push_back(path.substr(start, end - start));
    if (names->back().empty()) return false;
    if (end == std::u16string::npos) return true;
    start = end + 1;
  }
}

void Indent(int depth, std::u16string* out) { out->append(2 * depth, u' '); }

}  // namespace

RegistryTree::Key* RegistryTree::Find(RegistryRoot root,
                                      const std::u16string& path, bool create) {
  std::vector<std::u16string> names;
  if (!SplitPath(path, &names)) return nullptr;
  Key* key = &roots_[root];
  for (const std::u16string& name : names) {
    const std::u16string folded = FoldRegistryName(name);
    auto found = key->children.find(folded);
    if (found == key->children.end()) {
      if (!create) return nullptr;
      found = key->children.emplace(folded, Key{name, {}, {}}).first;
    }
    key = &found->second;
  }
  return key;
}

HRESULT RegistryTree::CreateKey(RegistryRoot root, const std::u16string& path) {
  return Find(root, path, true) != nullptr ? S_OK : E_INVALIDARG;
}

bool RegistryTree::KeyExists(RegistryRoot root, const std::u16string& path) {
  return Find(root, path, false) != nullptr;
}

HRESULT RegistryTree::SetValue(RegistryRoot root, const std::u16string& path,
                               const std::u16string& name,
                               const RegistryValue& value) {
  Key* key = Find(root, path, false);
  if (key == nullptr) return kRegistryNotFound;
  key->values[FoldRegistryName(name)] = {name, value};
  return S_OK;
}

HRESULT RegistryTree::GetValue(RegistryRoot root, const std::u16string& path,
                               const std::u16string& name,
                               RegistryValue* value) {
  Key* key = Find(root, path, false);
  if (key == nullptr) return kRegistryNotFound;
  const auto found = key->values.find(FoldRegistryName(name));
  if (found == key->values.end()) return kRegistryNotFound;
  *value = found->second.second;
  return S_OK;
}

HRESULT RegistryTree::DeleteValue(RegistryRoot root, const std::u16string& path,
                                  const std::u16string& name) {
  Key* key = Find(root, path, false);
  if (key != nullptr) key->values.erase(FoldRegistryName(name));
  return S_OK;
}

HRESULT RegistryTree::DeleteKeyTree(RegistryRoot root,
                                    const std::u16string& path) {
  const std::size_t last = path.rfind(u'\\');
  Key* parent = last == std::u16string::npos
                    ? &roots_[root]
                    : Find(root, path.substr(0, last), false);
  if (parent != nullptr) {
    parent->children.erase(FoldRegistryName(
        last == std::u16string::npos ? path : path.substr(last + 1)));
  }
  return S_OK;
}

HRESULT RegistryTree::EnumerateSubkeys(RegistryRoot root,
                                       const std::u16string& path,
                                       std::vector<std::u16string>* names) {
  names->clear();
  Key* key = path.empty() ? &roots_[root] : Find(root, path, false);
  if (key == nullptr) return kRegistryNotFound;
  for (const auto& [folded, child] : key->children) names->push_back(child.name);
  return S_OK;
}

void RegistryTree::Write(const Key& key, int depth, std::u16string* out) {
  Indent(depth, out);
  *out += QuoteForScript(key.name);
  const auto default_value = key.values.find(std::u16string());
  if (default_value != key.values.end()) {
    *out += u" = " + ValueForScript(default_value->second.second);
  }
  *out += u'\n';
  if (key.children.empty() &&
      key.values.size() == (default_value != key.values.end() ? 1u : 0u)) {
    return;
  }
  Indent(depth, out);
  *out += u"{\n";
  for (const auto& [folded, named] : key.values) {
    if (folded.empty()) continue;
    Indent(depth + 1, out);
    *out += u"val " + QuoteForScript(named.first) + u" = " +
            ValueForScript(named.second) + u'\n';
  }
  for (const auto& [folded, child] : key.children) Write(child, depth + 1, out);
  Indent(depth, out);
  *out += u"}\n";
}

std::u16string RegistryTree::ToScript() const {
  std::u16string out;
  for (const auto& [root, name] : kRootNames) {
    const auto found = roots_.find(root);
    if (found == roots_.end() || found->second.children.empty()) continue;
    out += std::u16string(name) + u"\n{\n";
    for (const auto& [folded, key] : found->second.children) {
      Write(key, 1, &out);
    }
    out += u"}\n";
  }
  return out;
}

HRESULT RegistryTree::FromScript(std::u16string_view script, std::string* why) {
  roots_.clear();
  const HRESULT hr = RunRegistryScript(script, Replacements(),
                                       ScriptDirection::kRegister, *this, why);
  if (FAILED(hr)) roots_.clear();
  return hr;
}

}  // namespace qoinfo
