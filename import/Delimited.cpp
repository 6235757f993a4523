// Records of comma- or tab-separated text, one line at a time: a line or a field too long to
// be anything but hostile is refused before it is taken in whole. libcsv reads every line
// that holds a quote or a carriage return; the rest are split at the delimiters in place.
#include <csv.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>

#include "ClassificationReader.h"
#include "Console.h"
#include "Delimited.h"
#include "ImportFailure.h"

namespace imp {

namespace {
// No real record comes near this; a longer one is refused, not buffered.
constexpr size_t kMaxRecordBytes = size_t{4} << 20;
}  // namespace

struct DelimitedReader::State {
    const char* data;
    size_t size;
    size_t pos = 0;   // next byte to feed
    size_t line = 1;  // line of the next byte to feed
    std::string label;
    Dialect dialect;
    csv_parser parser;
    bool parserReady = false;
    Row row;
    std::vector<char> keep;  // by column: kept in the rows
    bool keepAll = true;
    size_t column = 0;
    bool recordOpen = false;
    // The line the record being read began on: where libcsv began it, which for a record
    // whose first field is quoted over lines is before that field is handed over.
    size_t recordLine = 1;
    size_t recordBytes = 0;
    bool recordDone = false;  // a record ended while the last line was fed
    // The header's fields, when it is the record being read.
    std::vector<std::string>* headerFields = nullptr;
    std::string error;  // a field's fault, reported after the feeding returns
    size_t errorLine = 0;
    const std::function<bool(const Row&)>* each = nullptr;
    bool stopped = false;  // `each` returned false
    // Quiet: the first failure is kept for report() instead of printed.
    bool quiet = false;
    bool failed = false;
    size_t failLine = 0;
    std::string failWhat;
    // Where the line after the record being handed out begins, when it is a plain line split
    // in place; null otherwise.
    const char* ahead = nullptr;

    void field(const char* text, size_t length) {
        if (!recordOpen) {
            recordOpen = true;
            row.m_line = recordLine;
            row.m_same = 0;
            row.m_text.clear();
            row.clearPlaces(0);
        }
        size_t c = column++;
        if (headerFields) {
            headerFields->emplace_back(text, length);
            return;
        }
        if (c >= keep.size() || !keep[c]) return;
        if (length > kMaxNameLength && error.empty()) {
            error = "a field of " + std::to_string(length) + " bytes (at most " +
                    std::to_string(kMaxNameLength) + " are taken)";
            errorLine = row.m_line;
            return;
        }
        row.m_begin[c] = static_cast<uint32_t>(row.m_text.size());
        row.m_text.append(text, length);
        row.m_end[c] = static_cast<uint32_t>(row.m_text.size());
    }

    // Lines are split here only at the start of a record.
    bool canSplitPlain() const {
        return splitPlain && !headerFields && !recordOpen && parser.pstate == 0;
    }

    // A line (without its line end) that libcsv would read as one record of unquoted
    // fields, its delimiters found by scanLine(): split at them, each field without the
    // blanks libcsv trims.
    void plainLine(const char* text, size_t length) {
        const char delimiter = dialect.delimiter;
        auto blank = [delimiter](char c) { return (c == ' ' || c == '\t') && c != delimiter; };
        const char* end = text + length;
        if (delimiters.empty() && std::all_of(text, end, blank)) {  // no record
            lastPlain = nullptr;
            return;
        }
        recordOpen = true;
        row.m_line = line;
        // A field is as before when the bytes up to its delimiter are: its start and its
        // blanks too.
        row.m_same = 0;
        if (lastPlain) {
            size_t same = commonPrefix(text, lastPlain, std::min(length, lastPlainLength));
            while (row.m_same < delimiters.size() && delimiters[row.m_same] < same) ++row.m_same;
        }
        lastPlain = text;
        lastPlainLength = length;
        // Those fields lie where they lay in the line before: their places are kept.
        const size_t from = std::min(row.m_same, row.m_begin.size());
        row.clearPlaces(from);
        delimiters.push_back(static_cast<uint32_t>(length));
        const size_t fields = delimiters.size(), kept = std::min(fields, keep.size());
        for (size_t c = from; c < kept; ++c) {
            if (!keep[c]) continue;
            const char* a = text + (c ? delimiters[c - 1] + 1 : 0);
            const char* b = text + delimiters[c];
            while (a < b && blank(*a)) ++a;
            while (b > a && blank(b[-1])) --b;
            if (static_cast<size_t>(b - a) > kMaxNameLength) {
                if (error.empty()) {
                    error = "a field of " + std::to_string(b - a) + " bytes (at most " +
                            std::to_string(kMaxNameLength) + " are taken)";
                    errorLine = row.m_line;
                }
                continue;
            }
            row.m_begin[c] = static_cast<uint32_t>(a - text);
            row.m_end[c] = static_cast<uint32_t>(b - text);
        }
        column = fields;
        endRecord(text);
    }

    // The offsets of the delimiters in the line; false if it holds a quote or a carriage
    // return, which only libcsv reads right. Sixteen bytes at a time: a field is a few bytes
    // on average, too short for a search per field to pay.
    // Looks for the line feed in the `limit` bytes from `p`, noting the delimiters before it
    // in `at`, in one pass. Returns the line feed's offset, or `limit` when there is none.
    // `plain`: the line holds no quote and no carriage return but one right before its line
    // feed, so that it is one record of unquoted fields.
    static size_t scanLine(const char* p, size_t limit, char delimiter, char quote,
                           std::vector<uint32_t>& at, bool& plain) {
        at.clear();
        plain = true;
        size_t i = 0, odd = limit;  // the first quote or carriage return
#if defined(__SSE2__)
        const __m128i d = _mm_set1_epi8(delimiter), q = _mm_set1_epi8(quote),
                      cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
        for (; i + 16 <= limit; i += 16) {
            __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lf)));
            auto odds = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_or_si128(_mm_cmpeq_epi8(block, q), _mm_cmpeq_epi8(block, cr))));
            auto delimiters = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, d)));
            if (ends | odds) {
                unsigned stop = static_cast<unsigned>(__builtin_ctz(ends | odds));
                delimiters &= (1u << stop) - 1;
                for (; delimiters; delimiters &= delimiters - 1)
                    at.push_back(static_cast<uint32_t>(i + static_cast<size_t>(__builtin_ctz(delimiters))));
                if (ends >> stop & 1) return i + stop;
                odd = i + stop;
                break;
            }
            for (; delimiters; delimiters &= delimiters - 1)
                at.push_back(static_cast<uint32_t>(i + static_cast<size_t>(__builtin_ctz(delimiters))));
        }
#endif
        for (; odd == limit && i < limit; ++i) {
            const char c = p[i];
            if (c == '\n') return i;
            if (c == quote || c == '\r') odd = i;
            else if (c == delimiter) at.push_back(static_cast<uint32_t>(i));
        }
        if (odd == limit) return limit;
        const void* end = std::memchr(p + odd, '\n', limit - odd);
        if (!end) return limit;
        auto feed = static_cast<size_t>(static_cast<const char*>(end) - p);
        plain = odd + 1 == feed && p[odd] == '\r';
        return feed;
    }
    std::vector<uint32_t> delimiters;  // of the line being split
    bool splitPlain = true;
    // The line of the record before, when it was split in place too.
    const char* lastPlain = nullptr;
    size_t lastPlainLength = 0;

    static size_t commonPrefix(const char* a, const char* b, size_t n) {
        size_t i = 0;
#if defined(__SSE2__)
        for (; i + 16 <= n; i += 16) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
            __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
            auto same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
            if (same != 0xFFFF) return i + static_cast<size_t>(__builtin_ctz(~same));
        }
#endif
        while (i < n && a[i] == b[i]) ++i;
        return i;
    }

    void endParsedRecord() { endRecord(row.m_text.data()); }

    void endRecord(const char* base) {
        row.m_base = base;
        row.m_count = column;
        column = 0;
        recordOpen = false;
        recordBytes = 0;
        recordDone = true;
        if (headerFields || !error.empty() || stopped || !each) return;
        if (!(*each)(row)) stopped = true;
    }
};

namespace {
void onField(void* text, size_t length, void* state) {
    static_cast<DelimitedReader::State*>(state)->field(static_cast<const char*>(text), length);
}
void onRecord(int, void* state) { static_cast<DelimitedReader::State*>(state)->endParsedRecord(); }
}  // namespace

DelimitedReader::DelimitedReader(const char* data, size_t size, Dialect dialect, std::string label)
    : m_s(std::make_unique<State>()) {
    m_s->data = data;
    m_s->size = size;
    m_s->label = std::move(label);
    m_s->dialect = dialect;
    if (csv_init(&m_s->parser, 0) == 0) {
        m_s->parserReady = true;
        csv_set_delim(&m_s->parser, static_cast<unsigned char>(dialect.delimiter));
        // No quoting: a byte no text holds (a zero is refused in names anyway).
        csv_set_quote(&m_s->parser, static_cast<unsigned char>(dialect.quote));
    }
}

DelimitedReader::~DelimitedReader() {
    if (m_s->parserReady) csv_free(&m_s->parser);
}

void DelimitedReader::fail(size_t line, const std::string& what) const {
    State& s = *m_s;
    if (!s.quiet) {
        importFailure(s.label, linePlace(line), what);
    } else if (!s.failed) {
        s.failed = true;
        s.failLine = line;
        s.failWhat = what;
    }
}

void DelimitedReader::setQuiet() { m_s->quiet = true; }

void DelimitedReader::splitPlainLines(bool on) { m_s->splitPlain = on; }

void DelimitedReader::report(size_t linesBefore) const {
    const State& s = *m_s;
    if (s.failed)
        importFailure(s.label, linePlace(s.failLine + linesBefore), s.failWhat);
}

std::unique_ptr<DelimitedReader> DelimitedReader::partFrom(size_t from) const {
    const State& s = *m_s;
    from = std::min(from, s.size);
    auto part = std::make_unique<DelimitedReader>(s.data + from, s.size - from, s.dialect, s.label);
    part->m_s->keep = s.keep;
    part->m_s->row.m_begin.assign(s.keep.size(), 0);
    part->m_s->row.m_end.assign(s.keep.size(), 0);
    part->m_s->splitPlain = s.splitPlain;
    part->setQuiet();
    return part;
}

size_t DelimitedReader::middleOfRest() const {
    return middleLine(m_s->data, m_s->pos, m_s->size, m_s->dialect.quote);
}

size_t DelimitedReader::size() const { return m_s->size; }

std::string_view DelimitedReader::input() const { return {m_s->data, m_s->size}; }

size_t DelimitedReader::expectedRows() const {
    const State& s = *m_s;
    const size_t rest = s.size - s.pos, sample = std::min<size_t>(rest, 1 << 16);
    size_t lines = 0;
    for (const char *p = s.data + s.pos, *end = p + sample;
         (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p))));
         ++p)
        ++lines;
    if (lines == 0) return 1;
    const size_t rows = rest / (sample / lines);
    // Short lines at the top must not make room for more rows than the bytes can hold.
    return std::min(rows + rows / 8, rest / 8 + 1);
}

std::string_view DelimitedReader::nextRowField(size_t column) const {
    const State& s = *m_s;
    if (!s.ahead) return {};
    // A guess costs no more than a look at the start of a line: fields far along it, and
    // quoted ones, are left to the reading.
    constexpr size_t kLook = 256;
    const char* p = s.ahead;
    const char* end = std::min(s.data + s.size, p + kLook);
    for (size_t c = 0;; ++c) {
        const char* from = p;
        while (p < end && *p != s.dialect.delimiter && *p != '\n' && *p != '\r' &&
               (!s.dialect.quote || *p != s.dialect.quote))
            ++p;
        if (p == end || (s.dialect.quote && *p == s.dialect.quote)) return {};
        if (c == column) return {from, static_cast<size_t>(p - from)};
        if (*p != s.dialect.delimiter) return {};
        ++p;
    }
}

size_t DelimitedReader::position() const { return m_s->pos; }

size_t DelimitedReader::line() const { return m_s->line; }

bool DelimitedReader::atRecordStart() const {
    // The parser's state between records is the state it starts in.
    const State& s = *m_s;
    return s.parserReady && !s.recordOpen && s.parser.pstate == 0 && !s.parser.quoted &&
           s.parser.entry_pos == 0 && s.parser.spaces == 0 && s.recordBytes == 0;
}

bool DelimitedReader::feed(const std::function<bool(const Row&)>* each, bool headerOnly,
                           size_t until) {
    State& s = *m_s;
    if (!s.parserReady) {
        fail(1, "out of memory");
        return false;
    }
    s.each = each;
    size_t end = std::min(until, s.size);
    while (s.pos < end) {
        const char* from = s.data + s.pos;
        size_t left = s.size - s.pos;
        const size_t scan = std::min(left, kMaxRecordBytes + 1);
        const char* lf;
        bool plain = false;
        if (!headerOnly && s.canSplitPlain()) {
            size_t at = State::scanLine(from, scan, s.dialect.delimiter, s.dialect.quote,
                                        s.delimiters, plain);
            lf = at < scan ? from + at : nullptr;
        } else {
            lf = static_cast<const char*>(std::memchr(from, '\n', scan));
        }
        size_t length = lf ? static_cast<size_t>(lf - from) + 1 : left;
        if (!s.recordOpen && s.parser.pstate == 0) s.recordLine = s.line;
        s.recordBytes += length;
        if (length > kMaxRecordBytes || s.recordBytes > kMaxRecordBytes) {
            fail(s.recordLine,
                 "a record longer than " + std::to_string(kMaxRecordBytes) + " bytes");
            return false;
        }
        if (lf && plain) {
            size_t text = length - 1;
            if (text > 0 && from[text - 1] == '\r') --text;
            s.ahead = from + length;
            s.plainLine(from, text);
            s.recordBytes = 0;
            s.pos += length;
            ++s.line;
            if (!s.error.empty()) {
                fail(s.errorLine, s.error);
                return false;
            }
            if (s.stopped) return false;
            continue;
        }
        s.recordDone = false;
        s.lastPlain = nullptr;
        s.ahead = nullptr;
        if (csv_parse(&s.parser, from, length, onField, onRecord, &s) != length) {
            fail(s.line, "out of memory");
            return false;
        }
        s.pos += length;
        if (lf) ++s.line;
        if (!s.error.empty()) {
            fail(s.errorLine, s.error);
            return false;
        }
        if (s.stopped) return false;
        if (!s.recordOpen && !s.recordDone) s.recordBytes = 0;  // a blank line
        if (headerOnly && s.recordDone) return true;
    }
    if (end < s.size) return true;
    // libcsv tells an unclosed quote at the end only in strict mode, which would also refuse
    // the stray quotes real files hold; its state says it as well (2: a field begun).
    if (s.parser.quoted && s.parser.pstate == 2) {
        fail(s.recordLine, "the file ends inside a quoted field");
        return false;
    }
    if (csv_fini(&s.parser, onField, onRecord, &s) != 0) {
        fail(s.line, "out of memory");
        return false;
    }
    if (!s.error.empty()) {
        fail(s.errorLine, s.error);
        return false;
    }
    return !s.stopped;
}

bool DelimitedReader::header(std::vector<std::string>& fields) {
    fields.clear();
    m_s->headerFields = &fields;
    bool ok = feed(nullptr, true, SIZE_MAX);
    m_s->headerFields = nullptr;
    if (ok && fields.empty()) {
        fail(1, "the file is empty (no header line)");
        return false;
    }
    return ok;
}

namespace {
constexpr size_t kMaxKeptColumn = size_t{1} << 16;
}

void DelimitedReader::keepColumns(const std::vector<size_t>& columns) {
    State& s = *m_s;
    s.keep.clear();
    for (size_t c : columns) {
        // A column index comes from the file (meta.xml may say any number). One beyond any
        // record a file can hold is a column no row has: its fields read empty, as a short
        // row's do, and it must not size the row's arrays.
        if (c == SIZE_MAX || c >= kMaxKeptColumn) continue;
        if (c >= s.keep.size()) s.keep.resize(c + 1, 0);
        s.keep[c] = 1;
    }
    s.row.m_begin.assign(s.keep.size(), 0);
    s.row.m_end.assign(s.keep.size(), 0);
}

bool DelimitedReader::rows(const std::function<bool(const Row&)>& each, size_t until) {
    return feed(&each, false, until);
}

// The start of a line near the middle of the rows where, by the count of quotes before it,
// no quoted field is open; `size` when there is none. A stray quote inside an unquoted field
// can mislead the count: the caller checks the parser's state when it gets there.
size_t middleLine(const char* data, size_t rowsFrom, size_t size, char quote) {
    size_t at = rowsFrom + (size - rowsFrom) / 2;
    bool open = false;
    auto countQuotes = [&](size_t from, size_t to) {
        if (!quote) return;
        for (const void* q; (q = std::memchr(data + from, quote, to - from)); open = !open)
            from = static_cast<size_t>(static_cast<const char*>(q) - data) + 1;
    };
    countQuotes(0, at);
    while (at < size) {
        const void* lf = std::memchr(data + at, '\n', size - at);
        if (!lf) return size;
        size_t next = static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
        countQuotes(at, next);
        at = next;
        if (!open) return at;
    }
    return size;
}

Dialect sniffDialect(const char* data, size_t size) {
    const void* lf = std::memchr(data, '\n', size);
    size_t n = lf ? static_cast<size_t>(static_cast<const char*>(lf) - data) : size;
    Dialect d;
    if (std::memchr(data, '\t', n)) d.delimiter = '\t';
    return d;
}

void skipBom(const char*& data, size_t& size) {
    if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
        data += 3;
        size -= 3;
    }
}

}  // namespace imp
