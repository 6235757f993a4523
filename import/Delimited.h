// Delimited text: the records of tables and of the packages' text files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace imp {

struct Dialect {
    char delimiter = ',';
    char quote = '"';  // 0: no quoting (tab-separated files of Darwin Core and ColDP)
};

// One record: its fields (only those asked for, empty for the rest) and its first line.
class Row {
public:
    std::string_view field(size_t column) const {
        return column < m_end.size() ? std::string_view(m_base + m_begin[column],
                                                        m_end[column] - m_begin[column])
                                     : std::string_view();
    }
    size_t fieldCount() const { return m_count; }
    size_t line() const { return m_line; }
    // The field holds the very bytes it held in the record before, both records being lines
    // split in place: rows of a grouped table mostly repeat the higher ranks of the row above.
    bool sameAsBefore(size_t column) const { return column < m_same; }

private:
    friend class DelimitedReader;
    // Every field from `column` on empty. A memset, where a loop would be instrumented for
    // each of its steps in the fuzzing builds and take a quarter of their time.
    void clearPlaces(size_t column) {
        if (column >= m_begin.size()) return;
        std::memset(m_begin.data() + column, 0, (m_begin.size() - column) * sizeof(uint32_t));
        std::memset(m_end.data() + column, 0, (m_end.size() - column) * sizeof(uint32_t));
    }

    std::string m_text;
    // The fields are at m_base + m_begin[c]: in m_text, or in the input itself when the
    // record is one line that needs no unquoting.
    const char* m_base = "";
    std::vector<uint32_t> m_begin, m_end;
    size_t m_count = 0;
    size_t m_same = 0;  // leading fields as in the record before
    size_t m_line = 0;
};

// Reads records with libcsv, one line of input at a time so that an over-long line or
// field is refused before it is taken in whole. A line without a quote or a carriage return
// inside is one record whose fields are the text between the delimiters: such lines (nearly
// every line of a real checklist) are split here, as libcsv would split them, and their
// fields are read in place.
class DelimitedReader {
public:
    // `label` names the source in diagnostics.
    DelimitedReader(const char* data, size_t size, Dialect dialect, std::string label);
    ~DelimitedReader();
    DelimitedReader(const DelimitedReader&) = delete;
    DelimitedReader& operator=(const DelimitedReader&) = delete;

    // The first record, all of its fields; false after a diagnostic when there is none.
    bool header(std::vector<std::string>& fields);
    // Only these columns are kept in the rows from now on.
    void keepColumns(const std::vector<size_t>& columns);
    // Calls `each` for every further record; stops and returns false when it returns false
    // (it has printed the diagnostic) or after a diagnostic on malformed input. With
    // `until`, stops (true) at the first line that begins at or after that byte, without
    // the checks of the end of the input; a later call goes on from there.
    bool rows(const std::function<bool(const Row&)>& each, size_t until = SIZE_MAX);

    // Diagnostic about the record beginning on `line` (prints one line).
    void fail(size_t line, const std::string& what) const;
    // From now on the first diagnostic is kept, not printed: report() prints it, its line
    // counted after `linesBefore` lines, for a reader of a later part of a file.
    void setQuiet();
    void report(size_t linesBefore) const;

    // Off: every line goes through libcsv (to check the splitting of plain lines against it).
    void splitPlainLines(bool on);

    // A quiet reader of the records from byte `from` on (the start of a line, past the
    // header), with this one's dialect, label and columns: a second thread's part.
    std::unique_ptr<DelimitedReader> partFrom(size_t from) const;
    // The start of a line near the middle of the bytes from position() on, where no quoted
    // field is open by the count of quotes (see middleLine); the input's size when none.
    size_t middleOfRest() const;
    size_t size() const;
    // The bytes read, of which fields that need no unquoting are views.
    std::string_view input() const;
    // A guess at the number of records from position() on, from the length of the next
    // lines: a little more than there are in a file of even lines.
    size_t expectedRows() const;

    // Within `each` of rows(): the text of field `column` of the record after the one handed
    // out, when the start of the next line shows it plainly; empty otherwise. A guess, for
    // fetching ahead what that record will look up: it is not unquoted or trimmed.
    std::string_view nextRowField(size_t column) const;
    // The next byte to read and its line.
    size_t position() const;
    size_t line() const;
    // No record begun: reading on from position() is reading afresh from there.
    bool atRecordStart() const;

    struct State;

private:
    bool feed(const std::function<bool(const Row&)>* each, bool headerOnly, size_t until);
    std::unique_ptr<State> m_s;
};

// The start of a line near the middle of the rows from `rowsFrom` where, by the count of
// quotes before it, no quoted field is open; `size` when there is none.
size_t middleLine(const char* data, size_t rowsFrom, size_t size, char quote);
// The delimiter of a table: a tab when the header line holds one, else a comma.
Dialect sniffDialect(const char* data, size_t size);
// Skips a UTF-8 byte order mark.
void skipBom(const char*& data, size_t& size);

}  // namespace imp
