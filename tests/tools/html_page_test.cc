#include "tools/import/html_page.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/utf8.h"

namespace {

using qoinfo::tools::ExtractHtmlPage;
using qoinfo::tools::HtmlPage;

struct PageCase {
  std::string_view html;
  std::string_view title;  // UTF-8
  std::string_view text;   // UTF-8
  std::string transport_charset = std::string();  // an HTTP answer's
};

const PageCase kPageCases[] = {
    // Blocks separate words; inline elements do not.
    {"<p>a</p><p>b</p>", "", "a b"},
    {"a<b>c</b>d", "", "acd"},
    {"<div>one</div>two<span>three</span><em>four</em>", "",
     "one twothreefour"},
    {"<b>a</b> <i>b</i>", "", "a b"},
    {"x<br>y", "", "x y"},
    {"<ul><li>first<li>second</ul><h1>head</h1>line", "",
     "first second head line"},
    {"<table><tr><td>a</td><td><table><tr><td>b</td><td>c</td></tr></table>"
     "</td></tr><tr><th>d</th></tr></table>after",
     "", "a b c d after"},
    // Content that is never shown, and leaves no break behind.
    {"<p>a<script>var x = 1;</script>b</p><style>p { color: red }</style>", "",
     "ab"},
    {"<p>keep</p><noscript>no</noscript><template><p>t</p></template>", "",
     "keep"},
    {"a<!-- hidden -->b<!--x--><p>c</p>", "", "ab c"},
    {"<head><meta charset=utf-8><link rel=stylesheet href=x.css></head>"
     "<body>body</body>",
     "", "body"},
    // Entities and white space.
    {"<p>caf&eacute; &amp; fish&nbsp;chips &lt;x&gt; &#x263A;&#9731</p>", "",
     "caf\u00e9 & fish\u00a0chips <x> \u263a\u2603"},
    {"<pre>a\n\n   b\t</pre>  \n", "", "a b"},
    // Titles.
    {"<title>\n  Two \t words  </title><p>text</p>", "Two words", "text"},
    {"<title>one &amp; only</title><title>two</title>", "one & only", ""},
    {"<svg><title>tooltip</title></svg><title>real</title>", "real", ""},
    {"<p>no title</p>", "", "no title"},
    // Non-ASCII text, and bytes that are not UTF-8.
    {"<title>\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac</title>"
     "<p>\u6771\u4eac "
     "\u30bf\u30ef\u30fc</p><p>\u0645\u0631\u062d\u0628\u0627</p>",
     "\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac",
     "\u6771\u4eac \u30bf\u30ef\u30fc \u0645\u0631\u062d\u0628\u0627"},
    // Encodings. Without a byte-order mark or a declared charset the bytes
    // are read as UTF-8 up to the first one that is not, and as ISO-8859-1
    // from there on: an undeclared legacy page reads right, a UTF-8 page
    // with a stray byte turns to mojibake after it. A declared UTF-8 does
    // not change that rule.
    {"<p>a\xFF"
     "b\xC3</p>",
     "", "a\u00ff" "b\u00c3"},
    {"<p>caf\xC3\xA9 \xE9t\xE9 caf\xC3\xA9</p>", "",
     "caf\u00e9 \u00e9t\u00e9 caf\u00c3\u00a9"},
    {"<meta charset=utf-8><p>a\xFF"
     "b</p>",
     "", "a\u00ff" "b"},
    {"<meta charset=iso-8859-1><title>caf\xE9</title>caf\xE9", "caf\u00e9",
     "caf\u00e9"},
    {"<meta http-equiv=Content-Type content='text/html; charset=ISO-8859-7'>"
     "\xE1\xE8\xDE\xED\xE1",
     "", "\u03b1\u03b8\u03ae\u03bd\u03b1"},
    {"<meta charset=windows-1252><title>\x93q\x94 \x80</title>\xE9\x81\x9F", "\u201cq\u201d \u20ac",
     "\u00e9\u0081\u0178"},
    {"<meta http-equiv=content-type content='text/html;charset=CP1252'>\x85",
     "", "\u2026"},
    {"<meta charset=no-such-encoding>caf\xC3\xA9", "", "caf\u00e9"},
    {"\xEF\xBB\xBF<title>bom</title>x", "bom", "x"},
    {std::string_view("\xFF\xFE<\0p\0>\0x\0\xE9\0", 12), "", "x\u00e9"},
    {std::string_view("<p>a\0b</p>", 11), "", "a b"},
    // The parser knows no SVG or MathML content, where a browser would show
    // a CDATA section as text: it shows the section, markers and all.
    {"<svg><![CDATA[raw text]]></svg>", "", "<![CDATA[raw text]]>"},
    // Broken markup is repaired, though not always as a browser would: the
    // stray </p> is ignored, where a browser makes an empty paragraph of it.
    {"<p>a<div>b</p>c", "", "a bc"},
    {"<p>x<table><tr><td>cell</p></table>y", "", "x cell y"},
    {"<body><title>late</title>text", "late", "text"},
    {"", "", ""},
    {"  \n\t ", "", ""},
    // The charset an HTTP answer names: after a byte-order mark, before
    // <meta charset>; a name the parser does not know is ignored.
    {"<p>\x93q\x94", "", "\u201cq\u201d", "windows-1252"},
    {"<meta charset=utf-8><p>caf\xE9", "", "caf\u00e9", "ISO-8859-1"},
    {"\xEF\xBB\xBF<p>caf\xC3\xA9", "", "caf\u00e9", "iso-8859-1"},
    {"<p>caf\xC3\xA9", "", "caf\u00e9", "no-such-encoding"},
};

TEST(ExtractHtmlPage, Table) {
  for (const PageCase& c : kPageCases) {
    HtmlPage page;
    std::string error;
    ASSERT_TRUE(ExtractHtmlPage(c.html, &page, &error, c.transport_charset))
        << c.html << error;
    EXPECT_EQ(platform::Utf16ToUtf8(page.title), c.title) << c.html;
    EXPECT_EQ(platform::Utf16ToUtf8(page.text), c.text) << c.html;
  }
}

// Nesting far deeper than a call stack allows (a recursive walk overflows).
TEST(ExtractHtmlPage, DeepNesting) {
  std::string html;
  for (int i = 0; i < 200000; ++i) html += "<span>";
  html += "deep";
  HtmlPage page;
  std::string error;
  ASSERT_TRUE(ExtractHtmlPage(html, &page, &error)) << error;
  EXPECT_EQ(page.text, u"deep");
}

TEST(ExtractHtmlPage, RefusesInputOverTheLimit) {
  const std::string html(qoinfo::tools::kMaxHtmlBytes + 1, 'x');
  HtmlPage page;
  std::string error;
  EXPECT_FALSE(ExtractHtmlPage(html, &page, &error));
  EXPECT_NE(error.find("larger"), std::string::npos) << error;
}

}  // namespace
