#include "tools/common/json_reader.h"

#include <charconv>

#include "platform/utf8.h"

namespace qoinfo::tools {
namespace {

// True when every surrogate in `units` is part of a pair.
bool WellFormed(const std::u16string& units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) {
        return false;
      }
      ++i;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool Parse(std::vector<std::string>* items, std::string* error) {
    items->clear();
    SkipSpace();
    if (!Take('[')) return Fail("expected '['", error);
    SkipSpace();
    if (!Take(']')) {
      for (;;) {
        std::string item;
        SkipSpace();
        if (!String(&item)) return Fail(problem_, error);
        items->push_back(std::move(item));
        SkipSpace();
        if (Take(']')) break;
        if (!Take(',')) return Fail("expected ',' or ']'", error);
      }
    }
    SkipSpace();
    if (pos_ != text_.size()) return Fail("unexpected text after ']'", error);
    return true;
  }

  bool Parse(JsonObject* object, std::string* error) {
    object->clear();
    SkipSpace();
    if (!Take('{')) return Fail("expected '{'", error);
    SkipSpace();
    if (!Take('}')) {
      for (;;) {
        std::string key;
        SkipSpace();
        const std::size_t key_start = pos_;
        if (!String(&key)) return Fail(problem_, error);
        SkipSpace();
        if (!Take(':')) return Fail("expected ':'", error);
        SkipSpace();
        JsonValue value;
        if (!Value(&value)) return Fail(problem_, error);
        if (!object->emplace(std::move(key), std::move(value)).second) {
          pos_ = key_start;
          return Fail("a key given twice", error);
        }
        SkipSpace();
        if (Take('}')) break;
        if (!Take(',')) return Fail("expected ',' or '}'", error);
      }
    }
    SkipSpace();
    if (pos_ != text_.size()) return Fail("unexpected text after '}'", error);
    return true;
  }

 private:
  bool Fail(const std::string& what, std::string* error) {
    *error = what + " at byte " + std::to_string(pos_);
    return false;
  }
  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n')) {
      ++pos_;
    }
  }
  bool Take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool Hex4(unsigned* value) {
    if (text_.size() - pos_ < 4) return false;
    *value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      *value <<= 4;
      if (c >= '0' && c <= '9') *value |= unsigned(c - '0');
      else if (c >= 'a' && c <= 'f') *value |= unsigned(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') *value |= unsigned(c - 'A' + 10);
      else return false;
    }
    return true;
  }
  // A string; its UTF-16 units are gathered and checked at the end.
  bool String(std::string* out) {
    if (!Take('"')) return Problem("expected a string");
    std::u16string units;
    std::string raw;  // unescaped bytes not yet converted
    auto flush = [&]() -> bool {
      std::size_t offset = 0;
      const bool ok = platform::Utf8ToUtf16(raw, &units, &offset);
      raw.clear();
      return ok;
    };
    for (;;) {
      if (pos_ >= text_.size()) return Problem("unterminated string");
      const char c = text_[pos_++];
      if (c == '"') break;
      if (static_cast<unsigned char>(c) < 0x20) {
        return Problem("control character in a string");
      }
      if (c != '\\') {
        raw += c;
        continue;
      }
      if (!flush()) return Problem("invalid UTF-8 in a string");
      if (pos_ >= text_.size()) return Problem("unterminated string");
      const char e = text_[pos_++];
      switch (e) {
        case '"': units += u'"'; break;
        case '\\': units += u'\\'; break;
        case '/': units += u'/'; break;
        case 'b': units += u'\b'; break;
        case 'f': units += u'\f'; break;
        case 'n': units += u'\n'; break;
        case 'r': units += u'\r'; break;
        case 't': units += u'\t'; break;
        case 'u': {
          unsigned value = 0;
          if (!Hex4(&value)) return Problem("bad \\u escape");
          units += static_cast<char16_t>(value);
          break;
        }
        default:
          return Problem("bad escape");
      }
    }
    if (!flush()) return Problem("invalid UTF-8 in a string");
    if (!WellFormed(units)) {
      return Problem("unpaired surrogate in a string");
    }
    *out = platform::Utf16ToUtf8(units);
    return true;
  }
  bool Value(JsonValue* value) {
    if (pos_ >= text_.size()) return Problem("expected a value");
    const char c = text_[pos_];
    if (c == '"') {
      value->kind = JsonValue::Kind::kString;
      return String(&value->text);
    }
    if (c == '-' || (c >= '0' && c <= '9')) return Number(value);
    if (c == '{' || c == '[') {
      return Problem("a nested object or array is not accepted");
    }
    for (const char* word : {"true", "false", "null"}) {
      if (text_.substr(pos_).starts_with(word)) {
        pos_ += std::string_view(word).size();
        value->kind = word[0] == 'n' ? JsonValue::Kind::kNull
                                     : JsonValue::Kind::kBoolean;
        value->boolean = word[0] == 't';
        return true;
      }
    }
    return Problem("expected a value");
  }
  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
  bool Number(JsonValue* value) {
    const std::size_t start = pos_;
    auto digits = [this] {
      const std::size_t from = pos_;
      while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
        ++pos_;
      }
      return pos_ - from;
    };
    Take('-');
    const std::size_t first = pos_;
    const std::size_t whole_digits = digits();
    if (whole_digits == 0 || (whole_digits > 1 && text_[first] == '0')) {
      return Problem("bad number");
    }
    bool whole = true;
    if (Take('.')) {
      whole = false;
      if (digits() == 0) return Problem("bad number");
    }
    if (Take('e') || Take('E')) {
      whole = false;
      if (!Take('+')) Take('-');
      if (digits() == 0) return Problem("bad number");
    }
    value->kind = JsonValue::Kind::kNumber;
    if (whole) {
      const auto [end, failure] = std::from_chars(
          text_.data() + start, text_.data() + pos_, value->integer);
      value->whole = failure == std::errc() && end == text_.data() + pos_;
    }
    return true;
  }
  bool Problem(const char* what) {
    problem_ = what;
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string problem_;
};

}  // namespace

bool ParseJsonStringArray(std::string_view text, std::vector<std::string>* items,
                          std::string* error) {
  return Parser(text).Parse(items, error);
}

bool ParseJsonFlatObject(std::string_view text, JsonObject* object,
                         std::string* error) {
  return Parser(text).Parse(object, error);
}

}  // namespace qoinfo::tools
