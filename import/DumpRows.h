// The rows of the dump files of NCBI's taxdump and of the Open Tree taxonomy: fields
// separated by a tab, a bar and a tab, each row ending in a tab and a bar (the Open Tree's in
// a bar and a tab too). Home-made dumps write blanks instead of the tabs, or drop the last
// bar: the fields are whatever lies between the bars, without the blanks around them.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace imp {

class DumpRows {
public:
    explicit DumpRows(std::string_view data) : m_at(data.data()), m_end(data.data() + data.size()) {}

    // The first `want` fields of the next row into `fields` (the rest of the row skipped),
    // `count` of them found; false at the end of the data. Blank lines are rows of no fields.
    bool next(std::string_view* fields, size_t want, size_t& count) {
        if (m_at >= m_end) return false;
        ++m_line;
        const char* eol = static_cast<const char*>(std::memchr(m_at, '\n', static_cast<size_t>(m_end - m_at)));
        if (!eol) eol = m_end;
        const char* p = m_at;
        m_at = eol + (eol < m_end);
        const char* end = eol;
        while (end > p && isBlank(end[-1])) --end;
        // The bar that ends the row ends its last field.
        if (end > p && end[-1] == '|') --end;
        count = 0;
        if (end == p) return true;
        while (count < want) {
            const char* bar = static_cast<const char*>(std::memchr(p, '|', static_cast<size_t>(end - p)));
            const char* to = bar ? bar : end;
            const char* from = p;
            while (from < to && isBlank(*from)) ++from;
            const char* last = to;
            while (last > from && isBlank(last[-1])) --last;
            fields[count++] = std::string_view(from, static_cast<size_t>(last - from));
            if (!bar) break;
            p = bar + 1;
        }
        return true;
    }
    // The number of the row last read, from 1.
    size_t line() const { return m_line; }

private:
    static bool isBlank(char c) { return c == '\t' || c == ' ' || c == '\r'; }
    const char* m_at;
    const char* m_end;
    size_t m_line = 0;
};

}  // namespace imp
