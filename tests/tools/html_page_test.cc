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
    {"<p>a\xFF"
     "b\xC3</p>",
     "",
     "a\ufffd"
     "b\ufffd"},
    {"\xEF\xBB\xBF<title>bom</title>x", "bom", "x"},
    // CDATA in foreign content is text.
    {"<svg><![CDATA[raw text]]></svg>", "", "raw text"},
    // Broken markup is repaired as a browser would.
    {"<p>a<div>b</p>c", "", "a b c"},
    {"", "", ""},
    {"  \n\t ", "", ""},
};

TEST(ExtractHtmlPage, Table) {
  if (!qoinfo::tools::HtmlParserAvailable()) GTEST_SKIP() << "no HTML parser";
  for (const PageCase& c : kPageCases) {
    HtmlPage page;
    std::string error;
    ASSERT_TRUE(ExtractHtmlPage(c.html, &page, &error)) << c.html << error;
    EXPECT_EQ(platform::Utf16ToUtf8(page.title), c.title) << c.html;
    EXPECT_EQ(platform::Utf16ToUtf8(page.text), c.text) << c.html;
  }
}

// Nesting far deeper than a call stack allows (a recursive walk overflows).
TEST(ExtractHtmlPage, DeepNesting) {
  if (!qoinfo::tools::HtmlParserAvailable()) GTEST_SKIP() << "no HTML parser";
  std::string html;
  for (int i = 0; i < 200000; ++i) html += "<span>";
  html += "deep";
  HtmlPage page;
  std::string error;
  ASSERT_TRUE(ExtractHtmlPage(html, &page, &error)) << error;
  EXPECT_EQ(page.text, u"deep");
}

TEST(ExtractHtmlPage, RefusesInputOverTheLimit) {
  if (!qoinfo::tools::HtmlParserAvailable()) GTEST_SKIP() << "no HTML parser";
  const std::string html(qoinfo::tools::kMaxHtmlBytes + 1, 'x');
  HtmlPage page;
  std::string error;
  EXPECT_FALSE(ExtractHtmlPage(html, &page, &error));
  EXPECT_NE(error.find("larger"), std::string::npos) << error;
}

// A build without gumbo refuses pages with a message instead of guessing.
TEST(ExtractHtmlPage, WithoutParserExplainsTheRefusal) {
  if (qoinfo::tools::HtmlParserAvailable()) GTEST_SKIP() << "parser built in";
  HtmlPage page;
  std::string error;
  EXPECT_FALSE(ExtractHtmlPage("<p>x</p>", &page, &error));
  EXPECT_NE(error.find("no HTML parser"), std::string::npos) << error;
}

}  // namespace
