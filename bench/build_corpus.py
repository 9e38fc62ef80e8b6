#!/usr/bin/env python3
"""Builds the benchmark corpus: real web pages from Debian's HTML
documentation, turned into visited-page records.

Sources: the debian-handbook package (3,302 pages in 26 languages, installed)
and the libreoffice-help-* packages, fetched with `apt-get download` and
unpacked with `dpkg -x` (never installed). Each HTML file becomes one record
with a standard-library HTML-to-text pass (html.parser): the text outside
<script> and <style>, the <title>, the file's modification time and a
file:// URL.

Output: one page per line, UTF-8, five tab-separated fields
    time <TAB> url <TAB> path <TAB> title <TAB> text
with tabs and line breaks inside a field turned into spaces (both are white
space to the word splitter, so the words do not change).

Usage: build_corpus.py OUT.tsv [--work DIR] [--libreoffice-languages N]
"""
import argparse
import glob
import html.parser
import os
import subprocess
import sys

HANDBOOK = "/usr/share/doc/debian-handbook/html"


class TextExtractor(html.parser.HTMLParser):
    SKIP = {"script", "style", "noscript", "template"}
    BREAK = {"p", "div", "br", "li", "tr", "td", "th", "h1", "h2", "h3", "h4",
             "h5", "h6", "pre", "dt", "dd", "section", "article", "table",
             "title", "header", "footer", "nav", "blockquote"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts = []
        self.title = []
        self.skip_depth = 0
        self.in_title = False

    def handle_starttag(self, tag, attrs):
        if tag in self.SKIP:
            self.skip_depth += 1
        if tag == "title":
            self.in_title = True
        if tag in self.BREAK:
            self.parts.append(" ")

    def handle_endtag(self, tag):
        if tag in self.SKIP and self.skip_depth > 0:
            self.skip_depth -= 1
        if tag == "title":
            self.in_title = False
        if tag in self.BREAK:
            self.parts.append(" ")

    def handle_data(self, data):
        if self.skip_depth:
            return
        if self.in_title:
            self.title.append(data)
            return
        self.parts.append(data)


def flat(text):
    return " ".join(text.split("\t")).replace("\r", " ").replace("\n", " ")


def page_record(path):
    with open(path, "rb") as f:
        raw = f.read()
    extractor = TextExtractor()
    extractor.feed(raw.decode("utf-8", errors="replace"))
    extractor.close()
    text = flat("".join(extractor.parts)).strip()
    title = flat(" ".join("".join(extractor.title).split()))
    mtime = int(os.stat(path).st_mtime)
    return f"{mtime}\tfile://{path}\t{path}\t{title}\t{text}\n"


def libreoffice_pages(work, languages):
    """Downloads and unpacks up to `languages` libreoffice-help packages."""
    if languages <= 0:
        return []
    names = subprocess.run(
        ["apt-cache", "pkgnames", "libreoffice-help-"], capture_output=True,
        text=True, check=False).stdout.split()
    names = sorted(n for n in names if n != "libreoffice-help-common")[:languages]
    debs = os.path.join(work, "debs")
    tree = os.path.join(work, "libreoffice-help")
    os.makedirs(debs, exist_ok=True)
    os.makedirs(tree, exist_ok=True)
    for name in names:
        marker = os.path.join(tree, "." + name)
        if os.path.exists(marker):
            continue
        print(f"corpus: fetching {name}", file=sys.stderr)
        subprocess.run(["apt-get", "download", "-qq", name], cwd=debs,
                       check=True, stderr=subprocess.DEVNULL)
        for deb in glob.glob(os.path.join(debs, name + "_*.deb")):
            subprocess.run(["dpkg", "-x", deb, tree], check=True)
            os.remove(deb)
        open(marker, "w").close()
    return sorted(glob.glob(os.path.join(tree, "**", "*.html"), recursive=True))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out")
    parser.add_argument("--work", default="build/bench")
    parser.add_argument("--libreoffice-languages", type=int, default=12)
    args = parser.parse_args()

    files = sorted(glob.glob(os.path.join(HANDBOOK, "**", "*.html"), recursive=True))
    if not files:
        sys.exit(f"corpus: no pages under {HANDBOOK}: install debian-handbook")
    files += libreoffice_pages(args.work, args.libreoffice_languages)
    tmp = args.out + ".partial"
    with open(tmp, "w", encoding="utf-8", newline="\n") as out:
        for n, path in enumerate(files, 1):
            out.write(page_record(path))
            if n % 2000 == 0 or n == len(files):
                print(f"\rcorpus: {n}/{len(files)} pages", end="", file=sys.stderr)
    print(file=sys.stderr)
    os.replace(tmp, args.out)


if __name__ == "__main__":
    main()
