// ExtractHtmlPage over gumbo. The tree is walked with an explicit stack: a
// page can nest elements far deeper than the call stack allows.
#include "tools/import/html_page.h"

#include <gumbo.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/utf8.h"

namespace qoinfo::tools {
namespace {

// Collects text as UTF-8, turning each run of HTML white space (and each
// break between blocks) into one space, with none at either end.
class CollapsedText {
 public:
  void Append(const char* text) {
    for (; *text != '\0'; ++text) {
      const char c = *text;
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
// separates what is before, in and after it.
constexpr GumboTag kInlineTags[] = {
    GUMBO_TAG_A,     GUMBO_TAG_ABBR,   GUMBO_TAG_B,      GUMBO_TAG_BDI,
    GUMBO_TAG_BDO,   GUMBO_TAG_BIG,    GUMBO_TAG_CITE,   GUMBO_TAG_CODE,
    GUMBO_TAG_DATA,  GUMBO_TAG_DEL,    GUMBO_TAG_DFN,    GUMBO_TAG_EM,
    GUMBO_TAG_FONT,  GUMBO_TAG_I,      GUMBO_TAG_INS,    GUMBO_TAG_KBD,
    GUMBO_TAG_LABEL, GUMBO_TAG_MARK,   GUMBO_TAG_NOBR,   GUMBO_TAG_Q,
    GUMBO_TAG_RUBY,  GUMBO_TAG_S,      GUMBO_TAG_SAMP,   GUMBO_TAG_SMALL,
    GUMBO_TAG_SPAN,  GUMBO_TAG_STRIKE, GUMBO_TAG_STRONG, GUMBO_TAG_SUB,
    GUMBO_TAG_SUP,   GUMBO_TAG_TIME,   GUMBO_TAG_TT,     GUMBO_TAG_U,
    GUMBO_TAG_VAR,   GUMBO_TAG_WBR};

// Elements whose content is never shown as text: not walked at all.
constexpr GumboTag kUnrenderedTags[] = {GUMBO_TAG_SCRIPT,   GUMBO_TAG_STYLE,
                                        GUMBO_TAG_NOSCRIPT, GUMBO_TAG_TEMPLATE,
                                        GUMBO_TAG_IFRAME,   GUMBO_TAG_NOEMBED,
                                        GUMBO_TAG_NOFRAMES, GUMBO_TAG_DATALIST};

template <std::size_t N>
bool IsOneOf(GumboTag tag, const GumboTag (&tags)[N]) {
  return std::find(tags, tags + N, tag) != tags + N;
}

struct GumboOutputDeleter {
  const GumboOptions* options;
  void operator()(GumboOutput* output) const {
    gumbo_destroy_output(options, output);
  }
};

struct PendingNode {
  const GumboNode* node;
  bool visible;  // inside the body's rendered content
  bool leaving;  // the element's end, after its children
};

void CollectTitle(const GumboElement& title, CollapsedText* out) {
  for (unsigned int i = 0; i < title.children.length; ++i) {
    const auto* child = static_cast<const GumboNode*>(title.children.data[i]);
    if (child->type == GUMBO_NODE_TEXT) out->Append(child->v.text.text);
  }
}

void Walk(const GumboNode* root, CollapsedText* title, CollapsedText* text) {
  bool have_title = false;
  std::vector<PendingNode> stack{{root, true, false}};
  while (!stack.empty()) {
    const PendingNode pending = stack.back();
    stack.pop_back();
    const GumboNode* node = pending.node;
    switch (node->type) {
      case GUMBO_NODE_TEXT:
      case GUMBO_NODE_CDATA:
      case GUMBO_NODE_WHITESPACE:
        if (pending.visible) text->Append(node->v.text.text);
        continue;
      case GUMBO_NODE_COMMENT:
      case GUMBO_NODE_TEMPLATE:
        continue;
      case GUMBO_NODE_DOCUMENT:
      case GUMBO_NODE_ELEMENT:
        break;
    }
    const GumboVector* children = node->type == GUMBO_NODE_DOCUMENT
                                      ? &node->v.document.children
                                      : &node->v.element.children;
    bool visible = pending.visible;
    if (node->type == GUMBO_NODE_ELEMENT) {
      const GumboTag tag = node->v.element.tag;
      if (pending.leaving) {
        if (!IsOneOf(tag, kInlineTags)) text->Break();
        continue;
      }
      // Like display: none, these leave no break behind.
      if (IsOneOf(tag, kUnrenderedTags)) continue;
      if (tag == GUMBO_TAG_TITLE) {
        if (!have_title &&
            node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML) {
          CollectTitle(node->v.element, title);
          have_title = true;
        }
        continue;
      }
      if (tag == GUMBO_TAG_HEAD) visible = false;
      if (!IsOneOf(tag, kInlineTags)) text->Break();
      stack.push_back({node, pending.visible, true});
    }
    for (unsigned int i = children->length; i-- > 0;) {
      stack.push_back(
          {static_cast<const GumboNode*>(children->data[i]), visible, false});
    }
  }
}

}  // namespace

bool HtmlParserAvailable() { return true; }

bool ExtractHtmlPage(std::string_view html_bytes, HtmlPage* page,
                     std::string* error) {
  *page = HtmlPage();
  if (html_bytes.size() > kMaxHtmlBytes) {
    *error = "HTML larger than " + std::to_string(kMaxHtmlBytes) + " bytes";
    return false;
  }
  if (html_bytes.substr(0, 3) == "\xEF\xBB\xBF") html_bytes.remove_prefix(3);

  GumboOptions options = kGumboDefaultOptions;
  // Parse errors are not used; recording them costs memory that grows with
  // the square of the nesting depth.
  options.max_errors = 0;
  std::unique_ptr<GumboOutput, GumboOutputDeleter> output(
      gumbo_parse_with_options(&options, html_bytes.data(), html_bytes.size()),
      GumboOutputDeleter{&options});
  if (output == nullptr) {
    *error = "the HTML parser failed";
    return false;
  }

  CollapsedText title;
  CollapsedText text;
  Walk(output->document, &title, &text);
  std::size_t offset = 0;
  if (!platform::Utf8ToUtf16(title.utf8(), &page->title, &offset) ||
      !platform::Utf8ToUtf16(text.utf8(), &page->text, &offset)) {
    *page = HtmlPage();
    *error = "the HTML parser gave invalid UTF-8";
    return false;
  }
  return true;
}

}  // namespace qoinfo::tools
