#include "host/windows/windows_registry_win.h"

namespace qoinfo::win {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

HRESULT FromError(LONG error) {
  return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kUsers:
      return HKEY_USERS;
    case RegistryRoot::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
  }
  return HKEY_CLASSES_ROOT;
}

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The default value's name is null.
const wchar_t* ValueName(const std::u16string& name) {
  return name.empty() ? nullptr : Wide(name);
}

// An open key, closed when it goes out of scope.
class OpenKey {
 public:
  LONG Open(RegistryRoot root, const std::u16string& path, REGSAM access) {
    return RegOpenKeyExW(RootKey(root), Wide(path), 0, access, &key_);
  }
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

HRESULT WindowsRegistry::CreateKey(RegistryRoot root, const std::u16string& path) {
  HKEY key = nullptr;
  const LONG error = RegCreateKeyExW(RootKey(root), Wide(path), 0, nullptr, 0,
                                     KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  if (error == ERROR_SUCCESS) RegCloseKey(key);
  return FromError(error);
}

bool WindowsRegistry::KeyExists(RegistryRoot root, const std::u16string& path) {
  OpenKey key;
  return key.Open(root, path, KEY_READ) == ERROR_SUCCESS;
}

HRESULT WindowsRegistry::SetValue(RegistryRoot root, const std::u16string& path,
                                  const std::u16string& name,
                                  const RegistryValue& value) {
  OpenKey key;
  LONG error = key.Open(root, path, KEY_SET_VALUE);
  if (error != ERROR_SUCCESS) return FromError(error);
  switch (value.type) {
    case RegistryValue::Type::kString:
      error = RegSetValueExW(
          key.get(), ValueName(name), 0, REG_SZ,
          reinterpret_cast<const BYTE*>(value.text.c_str()),
          static_cast<DWORD>((value.text.size() + 1) * sizeof(char16_t)));
      break;
    case RegistryValue::Type::kNumber: {
      const DWORD number = value.number;
      error = RegSetValueExW(key.get(), ValueName(name), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&number),
                             sizeof(number));
      break;
    }
    case RegistryValue::Type::kBytes:
      error = RegSetValueExW(key.get(), ValueName(name), 0, REG_BINARY,
                             value.bytes.data(),
                             static_cast<DWORD>(value.bytes.size()));
      break;
  }
  return FromError(error);
}

HRESULT WindowsRegistry::GetValue(RegistryRoot root, const std::u16string& path,
                                  const std::u16string& name,
                                  RegistryValue* value) {
  OpenKey key;
  LONG error = key.Open(root, path, KEY_QUERY_VALUE);
  if (error != ERROR_SUCCESS) return FromError(error);
  DWORD type = 0;
  DWORD size = 0;
  error = RegQueryValueExW(key.get(), ValueName(name), nullptr, &type, nullptr,
                           &size);
  std::vector<BYTE> data;
  // The value may grow between the two calls.
  while (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
    data.resize(size);
    error = RegQueryValueExW(key.get(), ValueName(name), nullptr, &type,
                             data.data(), &size);
    if (error == ERROR_SUCCESS) break;
  }
  if (error != ERROR_SUCCESS) return FromError(error);
  data.resize(size);
  *value = RegistryValue();
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::u16string text(data.size() / sizeof(char16_t), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    value->text = std::move(text);
  } else if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
    value->type = RegistryValue::Type::kNumber;
    value->number = static_cast<std::uint32_t>(data[0] | (data[1] << 8) |
                                               (data[2] << 16)) |
                    (static_cast<std::uint32_t>(data[3]) << 24);
  } else {
    value->type = RegistryValue::Type::kBytes;
    value->bytes.assign(data.begin(), data.end());
  }
  return S_OK;
}

HRESULT WindowsRegistry::DeleteValue(RegistryRoot root, const std::u16string& path,
                                     const std::u16string& name) {
  OpenKey key;
  LONG error = key.Open(root, path, KEY_SET_VALUE);
  if (error == ERROR_SUCCESS) error = RegDeleteValueW(key.get(), ValueName(name));
  return error == ERROR_FILE_NOT_FOUND ? S_OK : FromError(error);
}

HRESULT WindowsRegistry::DeleteKeyTree(RegistryRoot root,
                                       const std::u16string& path) {
  const LONG error = RegDeleteTreeW(RootKey(root), Wide(path));
  if (error == ERROR_FILE_NOT_FOUND) return S_OK;
  if (error != ERROR_SUCCESS) return FromError(error);
  // RegDeleteTreeW empties the key; some versions leave the key itself.
  RegDeleteKeyW(RootKey(root), Wide(path));
  return S_OK;
}

HRESULT WindowsRegistry::EnumerateSubkeys(RegistryRoot root,
                                          const std::u16string& path,
                                          std::vector<std::u16string>* names) {
  names->clear();
  OpenKey key;
  LONG error = key.Open(root, path, KEY_ENUMERATE_SUB_KEYS);
  if (error != ERROR_SUCCESS) return FromError(error);
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];  // a key name has at most 255 characters
    DWORD length = 256;
    error = RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr,
                          nullptr, nullptr);
    if (error == ERROR_NO_MORE_ITEMS) return S_OK;
    if (error != ERROR_SUCCESS) return FromError(error);
    names->emplace_back(reinterpret_cast<const char16_t*>(name), length);
  }
}

}  // namespace qoinfo::win
