// Files, zip archives and folders in memory, what a package holds, and the taxon and
// common-name files that Darwin Core Archives and ColDP packages share in substance.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Delimited.h"
#include "Import.h"
#include "IdIndex.h"
#include "MappedFile.h"
#include "TextArena.h"
#include "TreeBuilder.h"

namespace imp {

// A whole file in memory (mapped when possible): the loader every reader uses.
using FileData = MappedFile;

// The reading of a loaded file by this thread, from construction to finish(): meanwhile
// importFailure stays silent once the file has shrunk.
class FileReading {
public:
    explicit FileReading(const FileData& file);
    ~FileReading();
    FileReading(const FileReading&) = delete;
    FileReading& operator=(const FileReading&) = delete;
    // The outcome of the reading: `ok` unless the file shrank meanwhile, which undoes a
    // tree read into `tree` and says so in the one diagnostic, naming `label`.
    bool finish(ClassificationTree& tree, bool ok, const std::string& label);

private:
    const FileData& m_file;
    const MappingGuard* m_outer;
};

// Entries of a zip archive, read into memory whole, never extracted.
struct ZipEntry {
    std::string name;  // path inside the archive
    std::string data;
};
// The names of the files of the archive at `data`; false with `error` set when it is no
// readable zip.
bool listZip(const char* data, size_t size, std::vector<std::string>& names, std::string& error);
// Reads the entries whose names `want` accepts; the uncompressed bytes read may not pass
// `limit`. False with `error` set (naming the entry) otherwise.
bool readZip(const char* data, size_t size, const std::function<bool(const std::string&)>& want,
             uint64_t limit, std::vector<ZipEntry>& entries, std::string& error);
// The uncompressed size accepted from an archive of `archiveSize` bytes.
uint64_t zipLimit(const ImportOptions& options, uint64_t archiveSize);

// The files of a zip archive or a folder, by their paths inside it.
class Package {
public:
    // False with `error` set when `path` is no folder that can be listed.
    bool openFolder(const std::string& path, std::string& error);
    // The zip archive at `data`, which must outlive the package; false with `error` set
    // when it is no readable zip.
    bool openZip(const char* data, size_t size, const ImportOptions& options, std::string& error);
    // Files already in memory, by name; of two with one name the later is kept, as of two
    // such entries of a zip.
    void openFiles(std::vector<std::pair<std::string, std::string>> files);
    const std::vector<std::string>& names() const { return m_names; }
    // The file whose path is `relative` (compared ignoring case), else the least deep one of
    // that base name; empty when there is none.
    std::string find(const std::string& relative) const;
    // Reads these files (names as given by names()); false with `error` set. The files of
    // a folder are mapped, not copied: read them within a PackageReading.
    bool load(const std::vector<std::string>& which, std::string& error);
    // A file read by load().
    std::string_view data(const std::string& name) const;
    // The memory of bytes [from, to) of a file read by load() given back where it can be:
    // its views stay valid (a folder's file is read again from the disk if they are used
    // after all).
    void release(const std::string& name, size_t from = 0, size_t to = SIZE_MAX) const;
    int64_t size() const { return m_size; }
    // A mapped file that another program shortened since it was loaded: false, else true
    // with `error` saying which and where.
    bool shortened(std::string& error) const;

private:
    std::string m_path;               // of a folder
    bool m_zip = false;
    bool m_inMemory = false;
    const char* m_zipData = nullptr;  // the zip archive's m_size bytes

    uint64_t m_limit = 0;
    int64_t m_size = 0;
    std::vector<std::string> m_names;
    std::unordered_map<std::string, std::string> m_data;
    std::unordered_map<std::string, std::unique_ptr<FileData>> m_mapped;  // a folder's files
};

// The reading of a package's files by this thread, from construction to finish(): meanwhile
// importFailure stays silent once one of its mapped files has shrunk, and finish() says so.
class PackageReading {
public:
    explicit PackageReading(const Package& package);
    ~PackageReading();
    PackageReading(const PackageReading&) = delete;
    PackageReading& operator=(const PackageReading&) = delete;
    // The outcome of the reading: `ok` unless a file shrank meanwhile, which undoes a tree
    // read into `tree` and says so in the one diagnostic, naming `label`.
    bool finish(ClassificationTree& tree, bool ok, const std::string& label);

private:
    const Package& m_package;
    const Package* m_outer;
};

// What finding a file's kind took in, for its reading to go on with: a zip's bytes and
// listing (or why they could not be had), a folder's listing.
struct OpenedInput {
    enum What { Folder, Zip, File } what = File;
    FileData file;  // a zip's bytes, or a table's or taxon file's
    std::string loadError, listError;
    Package package;  // a folder's or a zip's listing
};

// The names of a package that keeps names apart from taxa (ColDP's Name file), by their ID:
// the name as written, without authorship, and the rank as written.
struct NameOfId {
    std::string_view written, latin, rank;
};
class NameTable {
public:
    // Texts that lie in `input` (the file read, which outlives the table) are kept where
    // they are, not copied. Said again of the same file, it writes nothing: a reading of
    // taxa beside may be asking meanwhile.
    void keepInPlace(std::string_view input) {
        if (input.data() != m_inPlace.data() || input.size() != m_inPlace.size())
            m_inPlace = input;
    }
    std::string_view inPlace() const { return m_inPlace; }
    // Names set from now on are indexed by indexDeferred(), all at once, and not as they
    // are set: a thread reading the Name file beside the Taxon file then only reads. For a
    // file read in one piece (absorb() looks names up in the index).
    void deferIndex() { m_deferred = true; }
    bool indexing() const { return !m_deferred; }
    void indexDeferred();
    // A name given again under one ID replaces the one before.
    void set(std::string_view id, std::string_view written, std::string_view latin,
             std::string_view rank) {
        uint32_t at = static_cast<uint32_t>(m_names.size());
        bool added = true;
        if (!m_deferred)
            std::tie(at, added) =
                m_index.insert(id, at, [this](uint32_t i) { return m_names[i].id(); });
        if (added) m_names.emplace_back(keep(id));
        Record& n = m_names[at];
        n.rank = rankPlace(rank);
        // Mostly the name as written or its start, the authorship cut off its end; else the
        // two are kept side by side.
        if (!latin.empty() && latin.data() == written.data() && latin.size() <= written.size()) {
            n.setWritten(keep(written), latin.size(), false);
        } else if (latin == written) {
            n.setWritten(keep(written), written.size(), false);
        } else {
            m_both.assign(written).append(latin);
            n.setWritten(m_text.keep(m_both).substr(0, written.size()), latin.size(), true);
        }
    }
    // False when no name has that ID. Taxa mostly come in the order of their names: the
    // name after `hint` (the caller's, set here) is tried before the index.
    bool find(std::string_view id, size_t& hint, NameOfId& name) const {
        size_t at = hint;
        if (at >= m_names.size() || m_names[at].id() != id) {
            at = m_index.find(id, [this](uint32_t i) { return m_names[i].id(); });
            for (size_t k = 0; at == IdIndex::kNone && k < m_laterIds.size(); ++k) {
                const uint32_t first = m_laterIds[k].second;
                const uint32_t i = m_laterIds[k].first.find(
                    id, [&](uint32_t j) { return m_names[first + j].id(); });
                if (i != IdIndex::kNone) at = first + i;
            }
            if (at == IdIndex::kNone) return false;
        }
        hint = at + 1;
        const Record& n = m_names[at];
        name = {n.written(), n.latin(), m_ranks[n.rank]};
        return true;
    }
    // The ID of a name about to be set (see IdIndex::expect).
    void expect(std::string_view id) { m_index.expect(id); }
    // Room for `count` names, of which `indexed` are set here, without growing.
    void reserve(size_t count, size_t indexed) {
        m_names.reserve(count);
        m_index.reserve(indexed);
    }
    // Takes over the names of the rows that follow this one's, read into `later`; no name
    // is set after. From `twoThreadsFrom` names on they are looked up on two threads.
    static constexpr size_t kTwoThreadsFrom = size_t{1} << 16;
    void absorb(NameTable& later, size_t twoThreadsFrom = splitFrom(kTwoThreadsFrom));

private:
    // A Name file of millions of rows is read on a thread of its own, and its records are
    // most of what that thread writes to memory it has not touched before: they are kept in
    // 32 bytes, the sizes in 32 bits (no field is longer than a line may be), the rank as its
    // place in m_ranks, and the name without authorship as the start of the name as written
    // or, flagged, the text right after it.
    struct Record {
        explicit Record(std::string_view id)
            : idAt(id.data()), idSize(static_cast<uint32_t>(id.size())) {}
        const char* idAt;
        const char* writtenAt = nullptr;
        uint32_t idSize, writtenSize = 0, latinSize = 0, rank = 0;
        static constexpr uint32_t kLatinAfter = uint32_t{1} << 31;
        std::string_view id() const { return {idAt, idSize}; }
        std::string_view written() const { return {writtenAt, writtenSize}; }
        std::string_view latin() const {
            return latinSize & kLatinAfter
                       ? std::string_view(writtenAt + writtenSize, latinSize & ~kLatinAfter)
                       : std::string_view(writtenAt, latinSize);
        }
        // The name, as written and without authorship, and the rank of `other`.
        void nameAs(const Record& other) {
            writtenAt = other.writtenAt;
            writtenSize = other.writtenSize;
            latinSize = other.latinSize;
            rank = other.rank;
        }
        void setWritten(std::string_view written, size_t latin, bool after) {
            writtenAt = written.data();
            writtenSize = static_cast<uint32_t>(written.size());
            latinSize = static_cast<uint32_t>(latin) | (after ? kLatinAfter : 0);
        }
    };
    static_assert(sizeof(Record) == 32);
    std::string_view keep(std::string_view text) {
        return TextArena::within(text, m_inPlace) ? text : m_text.keep(text);
    }
    // A Name file changes rank from row to row (a genus, its species, the next genus), among
    // a few words: the last few distinct ones are looked at before one is added.
    uint32_t rankPlace(std::string_view rank) {
        for (uint32_t place : m_recentRanks)
            if (m_ranks[place] == rank) return place;
        const auto place = static_cast<uint32_t>(m_ranks.size());
        m_ranks.push_back(keep(rank));
        m_recentRanks[m_nextRecent++ % m_recentRanks.size()] = place;
        return place;
    }
    std::vector<Record> m_names;  // in the order of their rows
    IdIndex m_index;              // into m_names
    // The indexes of names taken over from later parts, and the place of each's first name.
    std::vector<std::pair<IdIndex, uint32_t>> m_laterIds;
    TextArena m_text;
    std::string_view m_inPlace;
    std::vector<std::string_view> m_ranks{std::string_view()};
    std::array<uint32_t, 8> m_recentRanks{};  // places in m_ranks
    size_t m_nextRecent = 1;
    std::string m_both;
    bool m_deferred = false;
};

// Columns of a file of taxa linked by identifiers (a Darwin Core taxon file or a ColDP name
// usage file), by index; SIZE_MAX when absent.
struct TaxonColumns {
    size_t id = SIZE_MAX, parent = SIZE_MAX, accepted = SIZE_MAX, status = SIZE_MAX,
           rank = SIZE_MAX, scientific = SIZE_MAX, authorship = SIZE_MAX,
           canonical = SIZE_MAX, vernacular = SIZE_MAX;
    // The name in parts, for rows whose scientific name is empty.
    size_t genus = SIZE_MAX, specific = SIZE_MAX, infraspecific = SIZE_MAX,
           uninomial = SIZE_MAX;
    // Taxa whose names are in a table of their own: the column of their name's ID.
    size_t nameId = SIZE_MAX;
    const NameTable* names = nullptr;
    // That table is still being read: each taxon keeps its name's ID where its name goes,
    // for LinkedTaxa::nameTaxa.
    bool namesLater = false;
    // Parents and accepted taxa given by name (`parent`, `accepted` then hold names).
    bool byName = false;
    // The higher taxa as columns, from the top down (rank and column), for a file that links
    // its taxa neither by identifier nor by name: each row's path is made from them.
    std::vector<std::pair<RankInfo, size_t>> classification;
    // Values that fill empty or absent fields, by column; absent columns are numbered from
    // kDefaultColumns.
    static constexpr size_t kDefaultColumns = size_t{1} << 40;
    // The fields of the header: a row with fewer is read as far as it goes, and counted.
    size_t headerFields = 0;
    std::vector<std::pair<size_t, std::string>> defaults;
    std::vector<size_t> all() const {
        // The first column too: a line that begins with '#' there is a note, not a taxon.
        std::vector<size_t> a{0, id, parent, accepted, status, rank, scientific, authorship,
                              canonical, vernacular, genus, specific, infraspecific, uninomial,
                              nameId};
        for (const auto& c : classification) a.push_back(c.second);
        return a;
    }
    // Some column gives a name: whole, or in parts.
    bool named() const {
        return scientific != SIZE_MAX || canonical != SIZE_MAX || genus != SIZE_MAX ||
               uninomial != SIZE_MAX;
    }
    // The field of `row` at `column`, or its default.
    std::string_view field(const Row& row, size_t column) const {
        std::string_view f = column < kDefaultColumns ? row.field(column) : std::string_view();
        if (f.empty() && !defaults.empty() && column != SIZE_MAX)
            for (const auto& [c, value] : defaults)
                if (c == column) return value;
        return f;
    }
};
// Whether every record of `data` after its first `headerLines` leaves `column` blank: a
// column of parent identifiers a publisher declared but never filled links nothing.
bool blankThroughout(const char* data, size_t size, Dialect dialect, int headerLines,
                     size_t column);
// The dialect `data` can be read in: `declared`, unless a quote opens a field that never
// closes (a stray quote at a field's start swallows the rest of the file); then quotes are
// read as text, and `quotesAsText` says so.
Dialect readableDialect(const char* data, size_t size, Dialect declared, bool& quotesAsText);
// Files of linked taxa of at least this many bytes are read on two threads.
constexpr size_t kLinkedTwoThreadsFrom = size_t{8} << 20;
// Reads the accepted taxa of `reader` (its header already taken) into `taxa`.
bool readTaxa(DelimitedReader& reader, const TaxonColumns& columns, LinkedTaxa& taxa,
              size_t twoThreadsFrom = splitFrom(kLinkedTwoThreadsFrom));
// Reads the rows of `reader` from where it is, each row standing on its own: on two threads
// when at least `twoThreadsFrom` bytes are left, `readThis` reading this reader's rows up to
// a byte (see DelimitedReader::rows), `readLater` those of a reader of the rest on a second
// thread; else all with `readThis`. False when this thread's reading failed (after its
// diagnostic); the later part's outcome is in `halves`, for the caller to take over.
struct Halves {
    bool split = false;  // the rows were read in two parts
    bool laterOk = false;
    size_t linesBefore = 0;  // lines before the later part's first
    std::unique_ptr<DelimitedReader> later;  // its failure kept, not told (see report())
};
using ReadThis = std::function<bool(DelimitedReader& reader, size_t until)>;
using ReadLater = std::function<bool(DelimitedReader& reader)>;
bool readHalves(DelimitedReader& reader, size_t twoThreadsFrom, const ReadThis& readThis,
                const ReadLater& readLater, Halves& halves);
// readHalves into two tables of one kind (LinkedTaxa, NameTable), `read(rows, table, until)`
// reading rows into one. `whole` makes room for the rows of both, so that the later part's
// are appended in place when it is taken over.
template <class Table, class Read>
bool readHalvesInto(DelimitedReader& reader, size_t twoThreadsFrom, Table& whole, Table& later,
                    const Read& read, Halves& halves) {
    const size_t expected = reader.expectedRows(), half = expected / 2 + expected / 8;
    return readHalves(
        reader, twoThreadsFrom,
        [&](DelimitedReader& rows, size_t until) {
            whole.reserve(expected, until == SIZE_MAX ? expected : half);
            return read(rows, whole, until);
        },
        [&](DelimitedReader& rows) {
            later.reserve(half, half);
            return read(rows, later, SIZE_MAX);
        },
        halves);
}
// Linked taxa so: `read` reads rows into taxa of its own up to a byte.
using ReadPart = std::function<bool(DelimitedReader& reader, LinkedTaxa& taxa, size_t until)>;
bool readInHalves(DelimitedReader& reader, LinkedTaxa& taxa, size_t twoThreadsFrom,
                  const ReadPart& read);
// The names of a Name file (`id` the names' ID column, the rest as for taxa).
bool readNames(DelimitedReader& reader, const TaxonColumns& columns, NameTable& names,
               size_t twoThreadsFrom = splitFrom(kLinkedTwoThreadsFrom));
// The names of a Name file and the taxa of a Taxon file that point at them (`taxonColumns`
// naming `names`), the files read at once, one on each thread: when the taxa need no names
// while they are read and both files are large and of about one size. The readers' headers
// are taken; `taxa` holds nothing yet.
enum class Beside {
    NotTried,   // nothing read: read the names, then the taxa
    Read,       // both read
    NamesOnly,  // the names read, the taxa to be read in turn (they hold a failure or a
                // taxon without a name, which that reading tells as it does)
    Failed,     // the names' failure told
};
Beside readNamesBeside(DelimitedReader& nameRows, const TaxonColumns& nameColumns,
                       NameTable& names, DelimitedReader& taxonRows,
                       const TaxonColumns& taxonColumns, LinkedTaxa& taxa,
                       size_t twoThreadsFrom = splitFrom(kLinkedTwoThreadsFrom));
// The synonyms of a Synonym file: their ID and their accepted taxon's.
bool readSynonyms(DelimitedReader& reader, size_t id, size_t taxon, LinkedTaxa& taxa);
// Common names: `taxon`, `name`, `language` and `preferred` (the publisher's mark of the
// preferred name of its language: isPreferredName, preferred) columns; see
// LinkedTaxa::setCommon for which a taxon keeps.
bool readVernacular(DelimitedReader& reader, size_t taxon, size_t name, size_t language,
                    size_t preferred, LinkedTaxa& taxa);

// A ColDP file of the entity `stem` ("NameUsage", "VernacularName"): its base name, ignoring
// case, hyphens and underscores ("name-usage.tsv", "NAME_USAGE.TXT"), with .tsv, .txt or .csv.
bool isPackageFile(const std::string& path, std::string_view stem);
bool isFolder(const std::string& path);
// Starts as a zip archive does.
bool looksLikeZip(const std::string& path);
bool looksLikeZip(const char* data, size_t size);
// What the files of an archive or folder make it: ColDP with a NameUsage file, else a Darwin
// Core Archive with meta.xml or a taxon file, else Unknown.
InputKind packageKind(const std::vector<std::string>& names);

}  // namespace imp
