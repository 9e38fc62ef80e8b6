// ExtractHtmlPage over libxml2's HTML parser. The tree is walked along its
// parent and sibling links, without recursion: a page can nest elements far
// deeper than the call stack allows.
#include "tools/import/html_page.h"

#include <libxml/HTMLparser.h>
#include <libxml/encoding.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <mutex>
#include <string_view>

#include "platform/utf8.h"

namespace qoinfo::tools {
namespace {

// Collects text as UTF-8, turning each run of HTML white space (and each
// break between blocks) into one space, with none at either end.
class CollapsedText {
 public:
  void Append(const xmlChar* text) {
    if (text == nullptr) return;
    for (; *text != '\0'; ++text) {
      const char c = static_cast<char>(*text);
      if (c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r') {
        space_pending_ = true;
        continue;
      }
      if (space_pending_ && !utf8_.empty()) utf8_ += ' ';
      space_pending_ = false;
      utf8_ += c;
    }
  }
  void Break() { space_pending_ = true; }
  const std::string& utf8() const { return utf8_; }

 private:
  std::string utf8_;
  bool space_pending_ = false;
};

// Elements laid out inside a line: their boundaries do not separate words
// ("a<b>c</b>d" reads "acd"). Every other element, including unknown ones,
// separates what is before, in and after it. Sorted, for binary search.
constexpr std::string_view kInlineTags[] = {
    "a",    "abbr", "b",    "bdi",   "bdo",    "big",    "cite", "code",
    "data", "del",  "dfn",  "em",    "font",   "i",      "ins",  "kbd",
    "label", "mark", "nobr", "q",    "ruby",   "s",      "samp", "small",
    "span", "strike", "strong", "sub", "sup",  "time",   "tt",   "u",
    "var",  "wbr"};

// Elements whose content is never shown as text: not walked at all.
constexpr std::string_view kUnrenderedTags[] = {
    "datalist", "iframe", "noembed", "noframes",
    "noscript", "script", "style",   "template"};

static_assert(std::is_sorted(std::begin(kInlineTags), std::end(kInlineTags)));
static_assert(
    std::is_sorted(std::begin(kUnrenderedTags), std::end(kUnrenderedTags)));

template <std::size_t N>
bool IsOneOf(std::string_view name, const std::string_view (&sorted)[N]) {
  return std::binary_search(sorted, sorted + N, name);
}

std::string_view NameOf(const xmlNode* element) {
  return element->name == nullptr
             ? std::string_view()
             : std::string_view(reinterpret_cast<const char*>(element->name));
}

// Where the walk is: inside the head (not shown) and inside SVG or MathML
// (whose <title> is a tooltip, not the page's title).
struct WalkState {
  int head_depth = 0;
  int foreign_depth = 0;
  bool have_title = false;
};

void CollectTitle(const xmlNode* title, CollapsedText* out) {
  for (const xmlNode* child = title->children; child != nullptr;
       child = child->next) {
    if (child->type == XML_TEXT_NODE) out->Append(child->content);
  }
}

void LeaveElement(const xmlNode* element, WalkState* state,
                  CollapsedText* text) {
  const std::string_view name = NameOf(element);
  if (name == "head") --state->head_depth;
  if (name == "svg" || name == "math") --state->foreign_depth;
  if (!IsOneOf(name, kInlineTags)) text->Break();
}

// Handles `node` on the way down. Returns true when the walk must go on to
// its children; an element left without visiting them is also left here.
bool VisitNode(const xmlNode* node, WalkState* state, CollapsedText* title,
               CollapsedText* text) {
  switch (node->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
      if (state->head_depth == 0) text->Append(node->content);
      return false;
    case XML_ELEMENT_NODE:
      break;
    default:  // comments, processing instructions, the document type
      return false;
  }
  const std::string_view name = NameOf(node);
  // Like display: none, these leave no break behind.
  if (IsOneOf(name, kUnrenderedTags)) return false;
  if (name == "title") {
    if (!state->have_title && state->foreign_depth == 0) {
      CollectTitle(node, title);
      state->have_title = true;
    }
    return false;
  }
  if (name == "head") ++state->head_depth;
  if (name == "svg" || name == "math") ++state->foreign_depth;
  if (!IsOneOf(name, kInlineTags)) text->Break();
  if (node->children != nullptr) return true;
  LeaveElement(node, state, text);
  return false;
}

void Walk(const xmlDoc* document, CollapsedText* title, CollapsedText* text) {
  WalkState state;
  const xmlNode* node = document->children;
  while (node != nullptr) {
    if (VisitNode(node, &state, title, text)) {
      node = node->children;
      continue;
    }
    while (node->next == nullptr) {
      node = node->parent;
      if (node == nullptr || node->type != XML_ELEMENT_NODE) return;
      LeaveElement(node, &state, text);
    }
    node = node->next;
  }
}

// Windows-1252, the legacy encoding pages declare most: ISO-8859-1 with
// printable characters in 0x80-0x9F (the five bytes it leaves undefined
// stay C1 controls). libxml2 on Linux would reach it through iconv, the
// Windows build has no iconv: our own converter, registered on both, makes
// both read such pages alike.
constexpr char16_t kWindows1252From80[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// libxml2's input converter contract: converts what fits into `out`, then
// reports the bytes read and written through `inlen` and `outlen`.
int Windows1252ToUtf8(unsigned char* out, int* outlen, const unsigned char* in,
                      int* inlen) {
  int read = 0;
  int written = 0;
  while (read < *inlen) {
    char32_t c = in[read];
    if (c >= 0x80 && c < 0xA0) c = kWindows1252From80[c - 0x80];
    const int size = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    if (written + size > *outlen) break;
    if (size == 1) {
      out[written] = static_cast<unsigned char>(c);
    } else if (size == 2) {
      out[written] = static_cast<unsigned char>(0xC0 | (c >> 6));
      out[written + 1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
      out[written] = static_cast<unsigned char>(0xE0 | (c >> 12));
      out[written + 1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      out[written + 2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    written += size;
    ++read;
  }
  *inlen = read;
  *outlen = written;
  return written;
}

void InitializeLibxml2() {
  xmlInitParser();
  // Creating a handler registers it; registered handlers are found by name
  // before iconv is asked.
  xmlNewCharEncodingHandler("windows-1252", Windows1252ToUtf8, nullptr);
  xmlNewCharEncodingHandler("cp1252", Windows1252ToUtf8, nullptr);
}

void IgnoreGenericError(void*, const char*, ...) {}

// Whether libxml2 can read the encoding `name` (asking opens a converter,
// which is closed again).
bool KnownEncoding(const std::string& name) {
  xmlCharEncodingHandler* handler = xmlFindCharEncodingHandler(name.c_str());
  if (handler == nullptr) return false;
  xmlCharEncCloseFunc(handler);
  return true;
}

// libxml2 reports the errors it meets outside a parser context (encoding
// conversion, memory) through handlers that print to stderr by default. They
// are silenced while a page is parsed, and put back afterwards for any other
// user of libxml2 in the process. The handlers are per thread.
class QuietErrors {
 public:
  QuietErrors()
      : generic_(xmlGenericError),
        generic_context_(xmlGenericErrorContext),
        structured_(xmlStructuredError),
        structured_context_(xmlStructuredErrorContext) {
    xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
  }
  ~QuietErrors() {
    xmlSetGenericErrorFunc(generic_context_, generic_);
    xmlSetStructuredErrorFunc(structured_context_, structured_);
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  xmlGenericErrorFunc generic_;
  void* generic_context_;
  xmlStructuredErrorFunc structured_;
  void* structured_context_;
};

struct DocumentDeleter {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};

}  // namespace

bool ExtractHtmlPage(std::string_view html_bytes, HtmlPage* page,
                     std::string* error, const std::string& transport_charset) {
  *page = HtmlPage();
  if (html_bytes.size() > kMaxHtmlBytes) {
    *error = "HTML larger than " + std::to_string(kMaxHtmlBytes) + " bytes";
    return false;
  }
  static std::once_flag initialized;
  std::call_once(initialized, InitializeLibxml2);

  std::unique_ptr<xmlDoc, DocumentDeleter> document;
  {
    QuietErrors quiet;
    // No encoding is imposed: libxml2 follows a byte-order mark or a
    // declared charset, reads UTF-8 otherwise and, from the first byte that
    // is not UTF-8 on, ISO-8859-1 (a page saved in a legacy encoding
    // without saying so). XML_PARSE_HUGE lifts the nesting limit of 256,
    // past which libxml2 would drop the rest of the page; the cost is the
    // browser-like one of closing tags searched for among the open elements.
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR |
                        HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                        HTML_PARSE_COMPACT | XML_PARSE_HUGE;
    const bool has_bom = html_bytes.starts_with("\xEF\xBB\xBF") ||
                         html_bytes.starts_with("\xFF\xFE") ||
                         html_bytes.starts_with("\xFE\xFF");
    if (!transport_charset.empty() && !has_bom &&
        KnownEncoding(transport_charset)) {
      document.reset(htmlReadMemory(html_bytes.data(),
                                    static_cast<int>(html_bytes.size()),
                                    nullptr, transport_charset.c_str(),
                                    options));
    }
    if (document == nullptr) {
      document.reset(htmlReadMemory(html_bytes.data(),
                                    static_cast<int>(html_bytes.size()),
                                    nullptr, nullptr, options));
    }
  }
  if (document == nullptr) {
    // libxml2 makes no document of an input without any content.
    if (html_bytes.find_first_not_of(" \t\n\f\r") == std::string_view::npos) {
      return true;
    }
    *error = "the HTML parser failed";
    return false;
  }

  CollapsedText title;
  CollapsedText text;
  Walk(document.get(), &title, &text);
  // libxml2 turns to ISO-8859-1 at the first byte that is not UTF-8, so its
  // text is UTF-8; should a byte slip through anyway, it becomes U+FFFD.
  page->title = platform::LenientUtf8ToCarriedText(title.utf8());
  page->text = platform::LenientUtf8ToCarriedText(text.utf8());
  return true;
}

}  // namespace qoinfo::tools
