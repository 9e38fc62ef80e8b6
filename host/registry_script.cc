#include "host/registry_script.h"

#include <cstddef>
#include <utility>

#include "platform/utf8.h"

namespace qoinfo {
namespace {

bool SameWord(std::u16string_view a, std::u16string_view b) {
  return FoldRegistryName(a) == FoldRegistryName(b);
}

struct Token {
  enum class Kind { kOpen, kClose, kEquals, kWord };
  Kind kind;
  bool quoted = false;
  std::u16string text;  // placeholders replaced
  int line = 1;
};

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool EndsBareWord(char16_t c) {
  return IsSpace(c) || c == u'{' || c == u'}' || c == u'=' || c == u'\'';
}

// Reads a script's tokens, replacing the placeholders inside each word.
class Lexer {
 public:
  Lexer(std::u16string_view text, const Replacements& replacements,
        std::string* why)
      : text_(text), replacements_(replacements), why_(why) {}

  bool Run(std::vector<Token>* tokens) {
    while (true) {
      while (at_ < text_.size() && IsSpace(text_[at_])) {
        if (text_[at_] == u'\n') ++line_;
        ++at_;
      }
      if (at_ == text_.size()) return true;
      Token token{Token::Kind::kWord, false, {}, line_};
      const char16_t c = text_[at_];
      if (c == u'{' || c == u'}' || c == u'=') {
        token.kind = c == u'{'   ? Token::Kind::kOpen
                     : c == u'}' ? Token::Kind::kClose
                                 : Token::Kind::kEquals;
        ++at_;
      } else if (!ReadWord(&token)) {
        return false;
      }
      tokens->push_back(std::move(token));
    }
  }

 private:
  bool ReadWord(Token* token) {
    std::u16string raw;
    if (text_[at_] == u'\'') {
      token->quoted = true;
      for (++at_;; ++at_) {
        if (at_ == text_.size()) return Fail("a quoted text does not end");
        if (text_[at_] == u'\'') {
          if (at_ + 1 < text_.size() && text_[at_ + 1] == u'\'') {
            raw += u'\'';
            ++at_;
            continue;
          }
          ++at_;
          break;
        }
        if (text_[at_] == u'\n') ++line_;
        raw += text_[at_];
      }
    } else {
      while (at_ < text_.size() && !EndsBareWord(text_[at_])) {
        raw += text_[at_++];
      }
    }
    return Replace(raw, &token->text);
  }

  bool Replace(std::u16string_view raw, std::u16string* out) {
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != u'%') {
        *out += raw[i];
        continue;
      }
      const std::size_t end = raw.find(u'%', i + 1);
      if (end == std::u16string_view::npos) return Fail("a '%' is not closed");
      const std::u16string_view name = raw.substr(i + 1, end - i - 1);
      std::u16string value;
      if (name.empty()) {
        *out += u'%';
      } else if (replacements_.Find(name, &value)) {
        *out += value;
      } else {
        return Fail("no value for %" + platform::Utf16ToUtf8(name) + "%");
      }
      i = end;
    }
    return true;
  }

  bool Fail(const std::string& what) {
    if (why_ != nullptr) *why_ = "line " + std::to_string(line_) + ": " + what;
    return false;
  }

  std::u16string_view text_;
  const Replacements& replacements_;
  std::string* why_;
  std::size_t at_ = 0;
  int line_ = 1;
};

struct RootName {
  const char16_t* short_name;
  const char16_t* long_name;
  RegistryRoot root;
};

constexpr RootName kRoots[] = {
    {u"HKCR", u"HKEY_CLASSES_ROOT", RegistryRoot::kClassesRoot},
    {u"HKCU", u"HKEY_CURRENT_USER", RegistryRoot::kCurrentUser},
    {u"HKLM", u"HKEY_LOCAL_MACHINE", RegistryRoot::kLocalMachine},
    {u"HKU", u"HKEY_USERS", RegistryRoot::kUsers},
    {u"HKCC", u"HKEY_CURRENT_CONFIG", RegistryRoot::kCurrentConfig},
};

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

bool ParseNumber(std::u16string_view text, std::uint32_t* number) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == u'0' &&
      (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t value = 0;
  for (char16_t c : text) {
    const int digit = HexDigit(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) return false;
    value = value * base + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFu) return false;
  }
  *number = static_cast<std::uint32_t>(value);
  return true;
}

bool ParseBytes(std::u16string_view text, std::vector<std::uint8_t>* bytes) {
  if (text.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes->push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}

// Builds the script's tree from its tokens, by the grammar atop the header.
class Parser {
 public:
  Parser(const std::vector<Token>& tokens, std::string* why)
      : tokens_(tokens), why_(why) {}

  bool Run(std::vector<ScriptRoot>* script) {
    while (at_ < tokens_.size()) {
      ScriptRoot root;
      if (!ParseRootName(&root.root) || !Expect(Token::Kind::kOpen, "'{'")) {
        return false;
      }
      while (!Next(Token::Kind::kClose)) {
        if (at_ == tokens_.size()) return Fail("a '}' is missing");
        if (IsKeyword(u"val")) return Fail("a value outside a key");
        ScriptKey key;
        if (!ParseKey(&key)) return false;
        root.keys.push_back(std::move(key));
      }
      script->push_back(std::move(root));
    }
    return true;
  }

 private:
  bool ParseRootName(RegistryRoot* root) {
    if (at_ < tokens_.size() && IsBare(tokens_[at_])) {
      for (const RootName& name : kRoots) {
        if (SameWord(tokens_[at_].text, name.short_name) ||
            SameWord(tokens_[at_].text, name.long_name)) {
          *root = name.root;
          ++at_;
          return true;
        }
      }
    }
    return Fail("a root key (HKCR, HKCU, HKLM, HKU, HKCC) is expected");
  }

  bool ParseKey(ScriptKey* key) {
    if (IsKeyword(u"NoRemove")) {
      key->mark = ScriptKey::Mark::kNoRemove;
    } else if (IsKeyword(u"ForceRemove")) {
      key->mark = ScriptKey::Mark::kForceRemove;
    }
    if (key->mark != ScriptKey::Mark::kNone) ++at_;
    if (!ParseName(&key->name)) return false;
    if (key->name.find(u'\\') != std::u16string::npos) {
      return Fail("a key name holds a '\\'");
    }
    if (Next(Token::Kind::kEquals)) {
      ScriptValue value;
      if (!ParseValue(&value.value)) return false;
      key->values.push_back(std::move(value));
    }
    if (!Next(Token::Kind::kOpen)) return true;
    while (!Next(Token::Kind::kClose)) {
      if (at_ == tokens_.size()) return Fail("a '}' is missing");
      if (IsKeyword(u"val")) {
        ++at_;
        ScriptValue value;
        if (!ParseName(&value.name) || !Expect(Token::Kind::kEquals, "'='") ||
            !ParseValue(&value.value)) {
          return false;
        }
        key->values.push_back(std::move(value));
      } else {
        ScriptKey child;
        if (!ParseKey(&child)) return false;
        key->children.push_back(std::move(child));
      }
    }
    return true;
  }

  bool ParseValue(RegistryValue* value) {
    std::u16string type;
    std::u16string text;
    if (at_ == tokens_.size() || !IsBare(tokens_[at_])) {
      return Fail("a value type (s, d, b) is expected");
    }
    type = FoldRegistryName(tokens_[at_++].text);
    if (!ParseWord(&text)) return false;
    if (type == u"S") {
      value->type = RegistryValue::Type::kString;
      value->text = std::move(text);
    } else if (type == u"D") {
      value->type = RegistryValue::Type::kNumber;
      if (!ParseNumber(text, &value->number)) {
        return Fail("not a 32-bit number");
      }
    } else if (type == u"B") {
      value->type = RegistryValue::Type::kBytes;
      if (!ParseBytes(text, &value->bytes)) return Fail("not hexadecimal bytes");
    } else {
      --at_;
      return Fail("unknown value type");
    }
    return true;
  }

  // A text: one word, quoted or bare.
  bool ParseWord(std::u16string* text) {
    if (at_ == tokens_.size() || tokens_[at_].kind != Token::Kind::kWord) {
      return Fail("a name or a text is expected");
    }
    *text = tokens_[at_++].text;
    return true;
  }

  // A key's or a value's name: a word that is not empty.
  bool ParseName(std::u16string* name) {
    if (!ParseWord(name)) return false;
    if (name->empty()) {
      --at_;
      return Fail("an empty name");
    }
    return true;
  }

  static bool IsBare(const Token& token) {
    return token.kind == Token::Kind::kWord && !token.quoted;
  }

  bool IsKeyword(std::u16string_view word) const {
    return at_ < tokens_.size() && IsBare(tokens_[at_]) &&
           SameWord(tokens_[at_].text, word);
  }

  bool Next(Token::Kind kind) {
    if (at_ < tokens_.size() && tokens_[at_].kind == kind) {
      ++at_;
      return true;
    }
    return false;
  }

  bool Expect(Token::Kind kind, const char* what) {
    return Next(kind) || Fail(std::string(what) + " is expected");
  }

  bool Fail(const std::string& what) {
    if (why_ != nullptr) {
      const int line = tokens_.empty() ? 1
                       : at_ < tokens_.size() ? tokens_[at_].line
                                              : tokens_.back().line;
      *why_ = "line " + std::to_string(line) + ": " + what;
    }
    return false;
  }

  const std::vector<Token>& tokens_;
  std::string* why_;
  std::size_t at_ = 0;
};

std::u16string Below(const std::u16string& parent, const std::u16string& name) {
  return parent.empty() ? name : parent + u'\\' + name;
}

HRESULT Register(RegistryRoot root, const std::u16string& parent,
                 const ScriptKey& key, Registry& registry) {
  const std::u16string path = Below(parent, key.name);
  HRESULT hr = S_OK;
  if (key.mark == ScriptKey::Mark::kForceRemove) {
    hr = registry.DeleteKeyTree(root, path);
    if (FAILED(hr)) return hr;
  }
  hr = registry.CreateKey(root, path);
  for (std::size_t i = 0; SUCCEEDED(hr) && i < key.values.size(); ++i) {
    hr = registry.SetValue(root, path, key.values[i].name, key.values[i].value);
  }
  for (std::size_t i = 0; SUCCEEDED(hr) && i < key.children.size(); ++i) {
    hr = Register(root, path, key.children[i], registry);
  }
  return hr;
}

HRESULT Unregister(RegistryRoot root, const std::u16string& parent,
                   const ScriptKey& key, Registry& registry) {
  const std::u16string path = Below(parent, key.name);
  if (!registry.KeyExists(root, path)) return S_OK;
  for (const ScriptKey& child : key.children) {
    const HRESULT hr = Unregister(root, path, child, registry);
    if (FAILED(hr)) return hr;
  }
  if (key.mark == ScriptKey::Mark::kNoRemove) return S_OK;
  return registry.DeleteKeyTree(root, path);
}

}  // namespace

void Replacements::Add(std::u16string_view name, std::u16string value) {
  values_[FoldRegistryName(name)] = std::move(value);
}

bool Replacements::Find(std::u16string_view name, std::u16string* value) const {
  const auto found = values_.find(FoldRegistryName(name));
  if (found == values_.end()) return false;
  *value = found->second;
  return true;
}

HRESULT ParseRegistryScript(std::u16string_view text,
                            const Replacements& replacements,
                            std::vector<ScriptRoot>* script, std::string* why) {
  script->clear();
  std::vector<Token> tokens;
  if (!Lexer(text, replacements, why).Run(&tokens) ||
      !Parser(tokens, why).Run(script)) {
    script->clear();
    return kRegistryScriptError;
  }
  return S_OK;
}

HRESULT RunRegistryScript(const std::vector<ScriptRoot>& script,
                          ScriptDirection direction, Registry& registry) {
  for (const ScriptRoot& root : script) {
    for (const ScriptKey& key : root.keys) {
      const HRESULT hr =
          direction == ScriptDirection::kRegister
              ? Register(root.root, std::u16string(), key, registry)
              : Unregister(root.root, std::u16string(), key, registry);
      if (FAILED(hr)) return hr;
    }
  }
  return S_OK;
}

HRESULT RunRegistryScript(std::u16string_view text,
                          const Replacements& replacements,
                          ScriptDirection direction, Registry& registry,
                          std::string* why) {
  std::vector<ScriptRoot> script;
  const HRESULT hr = ParseRegistryScript(text, replacements, &script, why);
  if (FAILED(hr)) return hr;
  return RunRegistryScript(script, direction, registry);
}

std::u16string QuoteForScript(std::u16string_view text) {
  std::u16string quoted = u"'";
  for (char16_t c : text) {
    quoted += c;
    if (c == u'\'' || c == u'%') quoted += c;
  }
  return quoted + u'\'';
}

std::u16string ValueForScript(const RegistryValue& value) {
  switch (value.type) {
    case RegistryValue::Type::kNumber: {
      std::string digits = std::to_string(value.number);
      return u"d " + QuoteForScript(std::u16string(digits.begin(), digits.end()));
    }
    case RegistryValue::Type::kBytes: {
      static constexpr char16_t kHex[] = u"0123456789ABCDEF";
      std::u16string hex;
      for (std::uint8_t byte : value.bytes) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 15];
      }
      return u"b " + QuoteForScript(hex);
    }
    case RegistryValue::Type::kString:
      break;
  }
  return u"s " + QuoteForScript(value.text);
}

}  // namespace qoinfo
