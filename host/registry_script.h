// Registration scripts: a text that describes registry keys and values and
// is run to register (write them) or to unregister (remove them).
//
//   script := ( root '{' key* '}' )*
//   root   := HKCR | HKCU | HKLM | HKU | HKCC      (or their HKEY_ long names)
//   key    := [ NoRemove | ForceRemove ] name [ '=' value ]
//             [ '{' ( key | 'val' name '=' value )* '}' ]
//   value  := 's' text | 'd' number | 'b' hex-bytes
//   name, text, number, hex-bytes := 'quoted' ('' is one ') | bare-word
//
// Keywords compare without regard to case. In every name and value,
// %NAME% is replaced from the replacement table (names compared without
// regard to case) and %% stands for one %; a name missing from the table
// fails the whole run before anything is written.
//
// Registering creates each key (a ForceRemove key is first deleted with
// everything below it) and writes its values. Unregistering processes a
// key's children first and then deletes the key with everything below it,
// named by the script or not; a NoRemove key is created when registering
// and never deleted. Pure functions over the Registry interface.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/registry.h"

namespace qoinfo {

// DISP_E_EXCEPTION: the script does not follow the grammar, or it names a
// replacement that the table does not hold.
inline constexpr HRESULT kRegistryScriptError =
    static_cast<HRESULT>(0x80020009u);

// Replacement names, compared without regard to case, and their values.
class Replacements {
 public:
  void Add(std::u16string_view name, std::u16string value);
  // False when `name` has no value.
  bool Find(std::u16string_view name, std::u16string* value) const;

 private:
  std::map<std::u16string, std::u16string> values_;  // by upper-cased name
};

struct ScriptValue {
  std::u16string name;  // empty: the key's default value
  RegistryValue value;
};

struct ScriptKey {
  enum class Mark { kNone, kNoRemove, kForceRemove };
  Mark mark = Mark::kNone;
  std::u16string name;
  std::vector<ScriptValue> values;  // the default value first, when given
  std::vector<ScriptKey> children;
};

struct ScriptRoot {
  RegistryRoot root;
  std::vector<ScriptKey> keys;
};

// Parses `text` with its placeholders replaced; kRegistryScriptError (and
// `*why` says what) when it does not parse or names a missing replacement.
HRESULT ParseRegistryScript(std::u16string_view text,
                            const Replacements& replacements,
                            std::vector<ScriptRoot>* script,
                            std::string* why = nullptr);

enum class ScriptDirection { kRegister, kUnregister };

// Runs a parsed script; stops at the first failing registry operation and
// returns its HRESULT (what was written before stays).
HRESULT RunRegistryScript(const std::vector<ScriptRoot>& script,
                          ScriptDirection direction, Registry& registry);

// Parses and runs `text`: nothing is written when it does not parse.
HRESULT RunRegistryScript(std::u16string_view text,
                          const Replacements& replacements,
                          ScriptDirection direction, Registry& registry,
                          std::string* why = nullptr);

// How a writer of scripts spells a name or text: quoted, with ' and %
// doubled; and a value: its type letter and its quoted text.
std::u16string QuoteForScript(std::u16string_view text);
std::u16string ValueForScript(const RegistryValue& value);

}  // namespace qoinfo
