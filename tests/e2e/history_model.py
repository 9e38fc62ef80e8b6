"""A reference model of what `qoinfo` keeps and answers, for tests.

It holds the history (visits by time and URL, with the index each was
given), the page records (identifier -> time, URL, path, title, and the
last identifier issued) and the word index (word -> identifier -> count),
and computes from them what each qoinfo command prints, what a search
returns in which order, and what `qoinfo-index dump` must show for the
saved files. It is written from the documents in docs/ (tokenization.md,
search.md, format.md, urlbase.md), not from the C++ code, and uses only the
Python standard library.

Find (quoted phrases, a last word that is a prefix) and the snippets'
marks are modelled from docs/search.md too: `find` gives Find's hits, and
`check_snippet` says whether a snippet marks only words of the query.

Tokenization is modelled for texts whose characters lower to a single
character (ASCII, Latin-1, Greek, Cyrillic, characters without case) and
not for the ten case exceptions; `lower` refuses anything else, so a test
cannot silently leave the modelled ground.
"""
import datetime
import re

WHITE_SPACE = "".join(
    chr(c)
    for c in [*range(0x09, 0x0E), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B),
              0x2028, 0x2029, 0x202F, 0x205F, 0x3000])
SEPARATORS = '.;:(),"/\\'
_WHITE_RUNS = re.compile("[" + re.escape(WHITE_SPACE) + "]+")
# Characters whose lower case Windows leaves alone, and so does the agent.
_CASE_EXCEPTIONS = set("\u0130\u01C5\u01C8\u01CB\u01F2\u03F4\u1E9E\u2126\u212A\u212B")

E_INVALIDARG_MESSAGE = "E_INVALIDARG (HRESULT 0x80070057)"


def utf16_units(text):
    """The length of `text` in UTF-16 code units."""
    return len(text.encode("utf-16-le", "surrogatepass")) // 2


def utf16_key(text):
    """Sort key: order by UTF-16 code unit, as the index orders its words."""
    return text.encode("utf-16-be", "surrogatepass")


def lower(text):
    out = []
    for c in text:
        if c in _CASE_EXCEPTIONS:
            raise ValueError(f"U+{ord(c):04X} is outside what the model covers")
        low = c.lower()  # one character at a time: no context (final sigma)
        if len(low) != 1:
            raise ValueError(f"U+{ord(c):04X} lowers to several characters")
        out.append(low)
    return "".join(out)


def split_white_space(text):
    """Tokens between white-space runs: a leading run gives an empty first
    token, a trailing run no empty last token; an empty text no token."""
    if not text:
        return []
    tokens = _WHITE_RUNS.split(text)
    if tokens and tokens[-1] == "":
        tokens.pop()
    return tokens


def trim_separators(token):
    return token.strip(SEPARATORS)


def extract_words(text):
    """The word-count map of a page text or a query: cut at NUL, lowered,
    split at white space, trimmed of separators, counted."""
    text = text.split("\0", 1)[0]
    counts = {}
    for token in split_white_space(lower(text)):
        word = trim_separators(token)
        counts[word] = counts.get(word, 0) + 1
    return counts


def text_words(text):
    """A text's words in order, as phrases are checked on it: cut at NUL,
    lowered, split at white space, trimmed; words of separators only left
    out."""
    text = text.split("\0", 1)[0]
    return [w for w in (trim_separators(t) for t in split_white_space(lower(text))) if w]


def read_find_query(query, prefix):
    """(phrases, prefix word) of a query as Find reads it: quotes pair in
    order, a pair holding two or more words is a phrase; with `prefix` the
    last word is one unless the query ends in white space, the word is
    empty or its token touches a pair of quotes."""
    low = lower(query.split("\0", 1)[0])
    pairs = []
    start = low.find('"')
    while start != -1:
        end = low.find('"', start + 1)
        if end == -1:
            break
        pairs.append((start, end))
        start = low.find('"', end + 1)
    phrases = [words for words in (text_words(low[a + 1:b]) for a, b in pairs)
               if len(words) >= 2]
    if not prefix:
        return phrases, ""
    tokens = list(re.finditer("[^" + re.escape(WHITE_SPACE) + "]+", low))
    if not tokens or tokens[-1].end() != len(low):
        return phrases, ""
    last = tokens[-1]
    if any(a < last.end() and b >= last.start() for a, b in pairs):
        return phrases, ""
    return phrases, trim_separators(last.group())


def holds_phrase(words, phrase):
    n = len(phrase)
    return any(words[i:i + n] == phrase for i in range(len(words) - n + 1))


def check_snippet(snippet, query_words, prefix):
    """None when a snippet ({"text","marks",...}) marks, in order and apart,
    only words of the query (or words the prefix begins); else what is
    wrong. Marks count UTF-16 units."""
    units = snippet["text"].encode("utf-16-le", "surrogatepass")
    done = 0
    for begin, length in snippet["marks"]:
        if begin < done or length <= 0 or 2 * (begin + length) > len(units):
            return f"mark {[begin, length]} out of order or place"
        done = begin + length
        marked = units[2 * begin:2 * done].decode("utf-16-le", "surrogatepass")
        word = trim_separators(lower(marked))
        if word not in query_words and not (prefix and word.startswith(prefix)):
            return f"marked {marked!r} is no word of the query"
    return None


def format_visit_time(seconds):
    """A time as qoinfo prints it: YYYY-MM-DDTHH:MM:SSZ (years 1-9999 here)."""
    moment = datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=seconds)
    return f"{moment.year:04d}-{moment:%m-%dT%H:%M:%S}Z"


def parse_visit_time(text):
    """Seconds since 1970 from a number or YYYY-MM-DDTHH:MM:SSZ; None if bad."""
    if re.fullmatch(r"-?[0-9]{1,19}", text):
        return int(text)
    try:
        moment = datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%SZ")
    except ValueError:
        return None
    return int((moment - datetime.datetime(1970, 1, 1)).total_seconds())


def one_line(text):
    """Text as qoinfo writes it to a terminal: control characters and the
    bidirectional controls escaped, everything else as it is."""
    out = []
    for c in text:
        n = ord(c)
        if c in "\t\n\r":
            out.append({"\t": "\\t", "\n": "\\n", "\r": "\\r"}[c])
        elif n < 0x20 or n == 0x7F:
            out.append(f"\\x{n:02X}")
        elif 0x80 <= n <= 0x9F or 0x202A <= n <= 0x202E or 0x2066 <= n <= 0x2069 \
                or n in (0x200E, 0x200F, 0x061C):
            out.append(f"\\u{{{n:04X}}}")
        elif 0xD800 <= n <= 0xDFFF:
            out.append("\ufffd")
        else:
            out.append(c)
    return "".join(out)


class Hit:
    def __init__(self, page_id, record, percent, score):
        self.page_id = page_id
        self.record = record
        self.percent = percent
        self.score = score

    def json(self):
        time, url, path, title = self.record
        return {"time": time, "url": url, "path": path, "title": title,
                "percent": self.percent}

    def text_line(self):
        time, url, _, title = self.record
        return (f"{self.percent}%\t{format_visit_time(time)}\t{one_line(url)}"
                f"\t{one_line(title)}")


class HistoryModel:
    """The history, the page records and the word index of one data
    directory, changed the way `qoinfo add` and `qoinfo forget` change them."""

    def __init__(self):
        self.visits = {}          # (time, url) -> (index, path, title)
        self.last_visit_index = 0
        self.records = {}         # page id -> (time, url, path, title)
        self._record_of_visit = {}  # (time, url) -> page id
        self.last_id = 0
        self.words = {}           # word -> {page id: count}; goes when emptied
        self.texts = {}           # (time, url) -> the text the history keeps

    # --- the agent's containers -------------------------------------------

    def _find_record(self, time, url):
        return self._record_of_visit.get((time, url), 0)

    def add_data(self, time, url, path, title, text):
        """The agent's AddData: no record for an empty text; a visit that
        already has a record keeps it, and its words are filed in word order
        up to the first word already listing that page."""
        text = text.split("\0", 1)[0]
        if not text:
            return
        counts = extract_words(text)
        page_id = self._find_record(time, url)
        self.texts[(time, url)] = text
        if page_id == 0:
            self.last_id += 1
            page_id = self.last_id
            self.records[page_id] = (time, url, path, title)
            self._record_of_visit[(time, url)] = page_id
        for word in sorted(counts, key=utf16_key):
            postings = self.words.setdefault(word, {})
            if page_id in postings:
                return
            postings[page_id] = counts[word]

    def remove_page_of_visit(self, time, url):
        """The agent's handler of the history's removal event."""
        page_id = self._find_record(time, url)
        if page_id >= 1:
            for word in [w for w, p in self.words.items() if page_id in p]:
                del self.words[word][page_id]
                if not self.words[word]:
                    del self.words[word]
            del self.records[page_id]
            del self._record_of_visit[(time, url)]
        self.texts.pop((time, url), None)

    # --- the commands -------------------------------------------------------

    def add(self, time, url, path, title, text):
        """qoinfo add: returns (visit index, new visit?, handed to the
        agent?). A visit the history already holds goes to the agent only
        when the index has no page for it (its first text was empty, say)."""
        key = (time, url)
        if key in self.visits:
            index, new = self.visits[key][0], False
        else:
            self.last_visit_index += 1
            index, new = self.last_visit_index, True
            self.visits[key] = (index, path, title)
        indexed = new or self._find_record(time, url) == 0
        if indexed:
            self.add_data(time, url, path, title, text)
        return index, new, indexed

    def forget(self, time, url):
        """qoinfo forget: the visit's index, or None when there is none."""
        visit = self.visits.get((time, url))
        if visit is None:
            return None
        self.remove_page_of_visit(time, url)
        del self.visits[(time, url)]
        return visit[0]

    def search(self, query):
        """The hits of a query in the order Next hands them out, or None for
        a query the agent refuses (E_INVALIDARG)."""
        if not query or query[0] == "\0":
            return None
        words = extract_words(query)
        self_score = sum(30 * utf16_units(w) * c for w, c in words.items())
        if self_score <= 0:
            return []
        return self._ranked(words, self_score)

    def find(self, query, prefix=False):
        """Find's hits: Search's for a query without phrases or prefix;
        with a prefix also the first 256 indexed words it begins, each
        scored once; with phrases only the pages whose kept text holds
        them. None for a query refused with E_INVALIDARG."""
        if not query or query[0] == "\0":
            return None
        phrases, begins = read_find_query(query, prefix)
        if not phrases and not begins:
            return self.search(query)
        words = extract_words(query)
        self_score = sum(30 * utf16_units(w) * c for w, c in words.items())
        if self_score <= 0:
            return []
        scored = set(words)
        if begins:
            scored |= set(sorted((w for w in self.words if w.startswith(begins)),
                                 key=utf16_key)[:256])
        hits = self._ranked(scored, self_score)
        return [hit for hit in hits
                if all(holds_phrase(text_words(self.texts.get(hit.record[:2], "")), p)
                       for p in phrases)]

    def _ranked(self, words, self_score):
        scores = {}
        for word in words:
            for page_id, count in self.words.get(word, {}).items():
                scores[page_id] = scores.get(page_id, 0) + 30 * utf16_units(word) * count
        ranked = []
        for page_id, score in scores.items():
            if self_score < 100:
                percent = score * 100 // self_score
            else:
                percent = int(score / (self_score // 100))
            ranked.append((percent, score, page_id))
        # Best Percent first; among equal Percent the higher score, then the
        # higher page identifier.
        ranked.sort(reverse=True)
        return [Hit(page_id, self.records[page_id], percent, score)
                for percent, score, page_id in ranked if page_id in self.records]

    def stats(self):
        return {
            "visits": len(self.visits),
            "pages": len(self.records),
            "last_page_id": self.last_id,
            "words": len(self.words),
            "postings": sum(len(p) for p in self.words.values()),
        }

    # --- the files ------------------------------------------------------------

    def records_dump(self):
        """What `qoinfo-index dump --records` prints for the saved 1.hcpa."""
        return {
            "kind": "records",
            "lastId": self.last_id,
            "records": [
                {"id": page_id, "time": r[0], "url": r[1], "path": r[2], "title": r[3]}
                for page_id, r in sorted(self.records.items())
            ],
        }

    def words_dump(self):
        """What `qoinfo-index dump --words` prints for the saved 2.hcpb."""
        return {
            "kind": "words",
            "words": [
                {"word": word, "ids": [[i, c] for i, c in sorted(self.words[word].items())]}
                for word in sorted(self.words, key=utf16_key)
            ],
        }
