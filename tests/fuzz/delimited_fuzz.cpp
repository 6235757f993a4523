// The record reader of tables and of the packages' text files on any bytes: a line without a
// quote or a carriage return is split in place, every other line by libcsv, and the records
// must be those that libcsv alone gives, field by field, with the same end; a field said to
// repeat the record before must hold what it held there. The first byte
// chooses the dialect (comma or tab, quoting or none), the rest is the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "ImportInternal.h"

namespace {

// Every record with some of the first columns kept, field by field, and how the reading ended.
std::string records(const char* text, size_t length, imp::Dialect dialect, bool splitPlainLines) {
    imp::DelimitedReader reader(text, length, dialect, "input.csv");
    reader.setQuiet();
    reader.splitPlainLines(splitPlainLines);
    std::vector<std::string> header;
    if (!reader.header(header)) return "no header";
    std::vector<size_t> columns;
    for (size_t c = 0; c < 40; c += 1 + c / 8) columns.push_back(c);
    reader.keepColumns(columns);
    std::string out;
    std::vector<std::string> before(columns.size());
    bool first = true;
    const bool ok = reader.rows([&](const imp::Row& row) {
        out.append(std::to_string(row.line())).push_back(':');
        out.append(std::to_string(row.fieldCount()));
        for (size_t i = 0; i < columns.size(); ++i) {
            std::string_view field = row.field(columns[i]);
            out.append("|").append(field);
            if (row.sameAsBefore(columns[i]) && (first || field != before[i]))
                fuzz::fail("a field said to repeat the record before does not");
            before[i].assign(field);
        }
        first = false;
        out.push_back('\n');
        return true;
    });
    return out + (ok ? "ok" : "failed") + " at line " + std::to_string(reader.line());
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
    if (records(text, length, dialect, true) != records(text, length, dialect, false))
        fuzz::fail("plain lines split otherwise than libcsv splits them");
    return 0;
}
