// The record reader of tables and of the packages' text files on any bytes: a line without a
// quote or a carriage return is split in place, every other line by libcsv, and the records
// must be those that libcsv alone gives, field by field, with the same end; a field said to
// repeat the record before must hold what it held there. The first byte
// chooses the dialect (comma or tab, quoting or none), the rest is the text.
#include <cstddef>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "ImportInternal.h"

namespace {

void appendNumber(std::string& out, size_t n) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

// Every record with some of the first columns kept, field by field, and how the reading
// ended, into `out`. The buffers live from run to run: allocating them anew cost a fifth of
// a run.
void records(const char* text, size_t length, imp::Dialect dialect, bool splitPlainLines,
             std::string& out) {
    out.clear();
    imp::DelimitedReader reader(text, length, dialect, "input.csv");
    reader.setQuiet();
    reader.splitPlainLines(splitPlainLines);
    static std::vector<std::string> header;
    header.clear();
    if (!reader.header(header)) {
        out = "no header";
        return;
    }
    static const std::vector<size_t> columns = [] {
        std::vector<size_t> c;
        for (size_t i = 0; i < 40; i += 1 + i / 8) c.push_back(i);
        return c;
    }();
    reader.keepColumns(columns);
    static std::vector<std::string> before(columns.size());
    bool first = true;
    const bool ok = reader.rows([&](const imp::Row& row) {
        appendNumber(out, row.line());
        out.push_back(':');
        appendNumber(out, row.fieldCount());
        for (size_t i = 0; i < columns.size(); ++i) {
            std::string_view field = row.field(columns[i]);
            out.push_back('|');
            out.append(field);
            if (row.sameAsBefore(columns[i]) && (first || field != before[i]))
                fuzz::fail("a field said to repeat the record before does not");
            before[i].assign(field);
        }
        first = false;
        out.push_back('\n');
        return true;
    });
    out.append(ok ? "ok" : "failed").append(" at line ");
    appendNumber(out, reader.line());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    imp::Dialect dialect;
    dialect.delimiter = data[0] & 1 ? '\t' : ',';
    dialect.quote = data[0] & 2 ? '\0' : '"';
    const char* text = reinterpret_cast<const char*>(data + 1);
    const size_t length = size - 1;
    fuzz::console().take();
    static std::string split, parsed;
    records(text, length, dialect, true, split);
    records(text, length, dialect, false, parsed);
    if (split != parsed)
        fuzz::fail("plain lines split otherwise than libcsv splits them");
    return 0;
}
