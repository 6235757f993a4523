// What the importers share among themselves: name cleaning, the rank table, the tree
// builder, delimited-text rows, whole files and zip entries in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Import.h"
#include "MappedFile.h"
#include "TreeNode.h"

namespace imp {

// ---- Names ---------------------------------------------------------------------------

// `text` (UTF-8) as a name: underscores become blanks when `underscores` is set, characters
// outside ISO-8859-1 are transliterated, the ends are trimmed and every run of whitespace
// becomes one blank. Replaces `out`.
void cleanName(std::string_view text, std::string& out, bool underscores = false);
// UTF-8 to ISO-8859-1 bytes: kept where ISO-8859-1 has the character, else its usual
// spelling (’ -> ', – -> -), else its decomposition without accents (č -> c), else '?'.
// Bytes that are not UTF-8 are taken as ISO-8859-1 already. Appends to `out`.
void appendLatin1(std::string_view utf8, std::string& out);
// Empty, "NA", "-" or "incertae sedis" in any case: no taxon stands there.
bool isPlaceholder(std::string_view cleaned);
// A name written all in capitals gets the usual capitalisation: "DIDELPHIDAE" -> "Didelphidae".
void usualCase(std::string& name);
// One word starting with a lower-case letter: an epithet to be joined to its genus.
bool isEpithet(std::string_view name);
// Lower case ASCII with blanks, underscores and hyphens dropped, and a "dwc:"-like prefix
// cut: the form in which column headers and terms are compared.
std::string headerKey(std::string_view header);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
// accepted, provisionally accepted, accepted name, or empty.
bool isAcceptedStatus(std::string_view status);
// The last component of a path.
std::string baseName(const std::string& path);

// Every failure of the importers goes through here: the file (or the label standing for
// it), the place in it ("line 3", "byte 0", empty for the file as a whole) and the fault.
// Within a FailureCatch on this thread the first failure is kept for the catch's owner to
// hand back; without one (the importers' parts called on their own, as tests and fuzz
// targets do) it is one line on standard error. Nothing at all once the mapped file being
// read on this thread has shrunk (see FileReading): what was made of the zeros then read is
// not worth a word; the reading ends with the one failure that says the file changed.
void importFailure(const std::string& file, std::string place, std::string fault);

// Collects the failure of the importing that runs on this thread while it lives: the
// importers' entry points hand back their failure as a value rather than print it.
class FailureCatch {
public:
    FailureCatch();
    ~FailureCatch();
    FailureCatch(const FailureCatch&) = delete;
    FailureCatch& operator=(const FailureCatch&) = delete;
    // Keeps `failure` unless one is kept already and `overrule` is off.
    void keep(Failure failure, bool overrule);
    // The outcome of an importing that returned `ok`, of the file named `label`.
    FileResult result(bool ok, const std::string& label) const;

private:
    FailureCatch* m_outer;
    bool m_failed = false;
    Failure m_failure;
};

// ---- Ranks -----------------------------------------------------------------------------

// The rank of a written rank name: its place from the top (the twenty ranks and the common
// ranks between them) and its spelling in the tree. Ranks nobody knows sort below all.
struct RankInfo {
    int order;                // smaller is higher
    std::string name;         // the twenty's spelling, or capitalised
    int twenty;               // Rank value 0..19, or -1
};
RankInfo rankOf(std::string_view written);
// The known rank whose header `key` (see headerKey) names a column, or false.
bool rankColumn(const std::string& key, RankInfo& rank);

// Distinct rank names in the order they are first given. A file may give a new rank on every
// line: past a few, names are looked up by hash, not compared with every one before.
class RankSet {
public:
    // True when `rank` was not in the set; the set keeps the pointer, not a copy.
    bool add(const char* rank) {
        if (rank == m_last) return false;  // siblings mostly share a rank
        m_last = rank;
        if (m_list.size() < kCompared) {
            for (const char* r : m_list)  // the twenty ranks' names are shared: the same pointer
                if (r == rank) return false;
            for (const char* r : m_list)
                if (std::strcmp(r, rank) == 0) return false;
        } else {
            if (m_index.empty())
                for (const char* r : m_list) m_index.insert(r);
            if (!m_index.insert(rank).second) return false;
        }
        m_list.push_back(rank);
        return true;
    }
    const std::vector<const char*>& list() const { return m_list; }

private:
    static constexpr size_t kCompared = 16;
    std::vector<const char*> m_list;
    std::unordered_set<std::string_view> m_index;
    const char* m_last = nullptr;
};

// ---- Tree building ---------------------------------------------------------------------

// Builds a tree under a holder node and hands it to the caller's tree only when complete.
class TreeBuilder {
public:
    // `expectedTaxa` sizes the index up front (it grows when that was too few).
    explicit TreeBuilder(size_t expectedTaxa = 0);
    ~TreeBuilder();
    // Sizes the index of a builder that holds no taxa yet for `expectedTaxa`.
    void reserve(size_t expectedTaxa);
    TreeBuilder(const TreeBuilder&) = delete;
    TreeBuilder& operator=(const TreeBuilder&) = delete;

    // Stands above the top taxa.
    TreeNode* top() const;
    // The child of `parent` of that name and rank, appended if it has none.
    TreeNode* child(TreeNode* parent, std::string_view latin, std::string_view rank);
    // A new child, appended without looking for one of the same name.
    TreeNode* append(TreeNode* parent, std::string_view latin, std::string_view rank);
    static void setCommon(TreeNode* node, std::string_view common);
    // With the key's hash(), known early: prefetch() starts fetching the index's memory
    // that child() will read. In a table grouped by its ranks only the children of a
    // parent that has a good many of them are in the index, the others are compared one by
    // one; in a table in any other order every taxon is in it.
    bool indexed(const TreeNode* parent) const;
    static size_t hash(const TreeNode* parent, std::string_view latin);
    TreeNode* child(TreeNode* parent, std::string_view latin, std::string_view rank, size_t hash);
    void prefetch(size_t hash) const;
    // Takes over the taxa `later` built from the rows that follow this builder's rows, as if
    // this builder had read them itself; `later` is left empty.
    void absorb(TreeBuilder& later);

    // The taxa of a tree read in two parts can be numbered by two threads before the parts
    // are joined: planNumbering() works out, from the two trees, the numbers, levels and
    // counts the joined tree will have; then numberPart() of either part runs on its own
    // thread (they share nothing); then absorb() joins them and checks the plan, and
    // finish() takes the numbers as they are when the plan held and walks the tree again
    // when it did not. Either way the tree is the same.
    struct Part {
        int32_t first = 0;  // number of the first taxon numbered
        int32_t shift = 0;  // added to each level below top()
        size_t skip = 0;    // the first taxa, which pair with taxa of the part before
        int32_t leaves = 0, deepest = 0;
        RankSet ranks;
    };
    void planNumbering(TreeBuilder& later);
    Part& part() { return m_part; }
    void numberPart();

    // Makes the root (the one top taxon, or a made root named after `label`), numbers the
    // taxa in reading order, fills levels, counts, rank names and colours, and hands the
    // tree over to `tree`. False after a diagnostic when the tree is empty or too deep.
    bool finish(ClassificationTree& tree, const std::string& label, int64_t fileSize);

private:
    struct Index;
    static constexpr size_t kScannedChildren = 32;  // or more are found through the index
    // New taxa, each the first of its row, by which the order of the rows is judged (see
    // noteMade()).
    static constexpr int32_t kOrderSample = 64;
    TreeNode* scannedChild(TreeNode* parent, std::string_view latin, std::string_view rank);
    void indexChildren(const TreeNode* parent);
    void noteMade(const TreeNode* parent, const TreeNode* made);
    void indexAll();
    // Appends a child made elsewhere; `h` and `slot` are from the index's find() when the
    // parent is indexed.
    void adopt(TreeNode* parent, TreeNode* c, size_t h, size_t slot);
    bool finishNumbered(ClassificationTree& fresh, bool madeRoot);

    std::unique_ptr<ClassificationTree> m_holder;
    std::unique_ptr<Index> m_index;
    int32_t m_made = 0;  // taxa made
    size_t m_expected = 0;
    // Parents with fewer children are searched child by child; 0 once every taxon is in
    // the index.
    size_t m_scanLimit = kScannedChildren;
    // Of the first kOrderSample taxa each first made by its row, those made near the taxon
    // made before them.
    int32_t m_judged = 0, m_near = 0;
    const TreeNode* m_lastParent = nullptr;
    const TreeNode* m_lastMade = nullptr;
    bool m_orderJudged = false;
    bool m_indexAll = false;  // judged so, and still to be done
    Part m_part;
    Part* m_laterPart = nullptr;
    // The plan: this tree's last path and the later tree's first, down as far as they hold
    // the same taxa; whether this end of that path was childless; one top taxon or several.
    std::vector<std::pair<TreeNode*, TreeNode*>> m_pairs;
    std::vector<bool> m_pairWasLeaf;
    bool m_planned = false, m_planHeld = false, m_oneTop = false;
};

// Every node of `tree` in reading order gets its number and level; counts and rankNames
// are made again, and with `colours` every node's colour from its rank. False when a node
// lies deeper than kMaxClassificationDepth.
bool renumber(ClassificationTree& tree, bool colours = false);

// Taxa linked by identifiers (Darwin Core, ColDP): gathered in file order, linked once all
// are read.
class LinkedTaxa {
public:
    // Returns false (and `clash` = line of the first) for an identifier given twice.
    bool add(std::string_view id, std::string_view parentId, std::string_view latin,
             std::string_view rank, size_t line, size_t& clash);
    void setCommon(std::string_view id, std::string_view common, bool english);
    // Links the taxa and builds the tree; false after one diagnostic naming `label` on a
    // missing parent, a cycle, or too deep a tree.
    bool build(ClassificationTree& tree, const std::string& label, int64_t fileSize);
    size_t size() const { return m_taxa.size(); }

private:
    struct Taxon {
        std::string id, parent, latin, rank, common;
        bool commonEnglish = false;
        size_t line = 0;
    };
    std::vector<Taxon> m_taxa;
    std::unordered_map<std::string, uint32_t> m_byId;
};

// ---- Delimited text ---------------------------------------------------------------------

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

// The delimiter of a table: a tab when the header line holds one, else a comma.
Dialect sniffDialect(const char* data, size_t size);
// Skips a UTF-8 byte order mark.
void skipBom(const char*& data, size_t& size);

// ---- Files and archives ---------------------------------------------------------------

// A whole file in memory (mapped when possible): the loader every reader uses.
using FileData = MappedFile;

// The reading of a loaded file by this thread, from construction to finish(): meanwhile
// importFailure stays silent once the file has shrunk.
// Gives `fresh` the fields of `tree` that an importer does not own (the root's square, maxLevel,
// treeId), as the classification reader leaves them, before the two trees swap contents.
void keepCallerFields(ClassificationTree& fresh, const ClassificationTree& tree);

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
    // Reads these files (names as given by names()); false with `error` set.
    bool load(const std::vector<std::string>& which, std::string& error);
    // A file read by load().
    const std::string& data(const std::string& name) const;
    int64_t size() const { return m_size; }

private:
    std::string m_path;               // of a folder
    bool m_zip = false;
    bool m_inMemory = false;
    const char* m_zipData = nullptr;  // the zip archive's m_size bytes

    uint64_t m_limit = 0;
    int64_t m_size = 0;
    std::vector<std::string> m_names;
    std::unordered_map<std::string, std::string> m_data;
};

// What finding a file's kind took in, for its reading to go on with: a zip's bytes and
// listing (or why they could not be had), a folder's listing.
struct OpenedInput {
    bool zip = false;
    FileData file;
    std::string loadError, listError;
    Package package;
};

// Columns of a file of taxa linked by identifiers (a Darwin Core taxon file or a ColDP name
// usage file), by index; SIZE_MAX when absent.
struct TaxonColumns {
    size_t id = SIZE_MAX, parent = SIZE_MAX, accepted = SIZE_MAX, status = SIZE_MAX,
           rank = SIZE_MAX, scientific = SIZE_MAX, authorship = SIZE_MAX,
           canonical = SIZE_MAX, vernacular = SIZE_MAX;
    std::vector<size_t> all() const {
        return {id, parent, accepted, status, rank, scientific, authorship, canonical, vernacular};
    }
};
// Reads the accepted taxa of `reader` (its header already taken) into `taxa`.
bool readTaxa(DelimitedReader& reader, const TaxonColumns& columns, LinkedTaxa& taxa);
// Common names: `taxon`, `name` and `language` columns; English first.
bool readVernacular(DelimitedReader& reader, size_t taxon, size_t name, size_t language,
                    LinkedTaxa& taxa);

bool isFolder(const std::string& path);
// Starts as a zip archive does.
bool looksLikeZip(const std::string& path);
bool looksLikeZip(const char* data, size_t size);
// What the files of an archive or folder make it: ColDP with a NameUsage file, else a Darwin
// Core Archive with meta.xml or a taxon file, else Unknown.
InputKind packageKind(const std::vector<std::string>& names);

// ---- The importers ----------------------------------------------------------------------

// Tables of at least `twoThreadsFrom` bytes are read on two threads, each half into a tree
// of its own, the second half's then merged into the first's.
constexpr size_t kTwoThreadsFrom = size_t{8} << 20;
// `splitPlain` off: every line through libcsv, and no field known to repeat the row above
// (to hold the shortcuts of grouped tables to the plain reading).
bool importTable(ClassificationTree& tree, const char* data, size_t size,
                 const std::string& label, const ImportOptions& options, int64_t fileSize,
                 size_t twoThreadsFrom = kTwoThreadsFrom, bool splitPlain = true);
// A Darwin Core Archive: a zip, a folder with meta.xml, or a core taxon file on its own.
bool importDarwinCore(ClassificationTree& tree, const std::string& path,
                      const ImportOptions& options);
// A ColDP: a zip or a folder with NameUsage.tsv, or that file itself.
bool importColDP(ClassificationTree& tree, const std::string& path, const ImportOptions& options);
// The same from an opened zip or folder; `label` names it in diagnostics and a made root.
bool importDarwinCore(ClassificationTree& tree, Package& package, const std::string& label);
bool importColDP(ClassificationTree& tree, Package& package, const std::string& label);
// A zip archive in memory, a Darwin Core Archive or a ColDP as its entries tell.
bool importZip(ClassificationTree& tree, const char* data, size_t size, const std::string& label,
               const ImportOptions& options);
// An opened package of either kind, as its files tell.
bool importPackage(ClassificationTree& tree, Package& package, const std::string& label);
// A zip file, mapped, read by importZip.
bool importZipFile(ClassificationTree& tree, const std::string& path, const ImportOptions& options);
// The readings of a table file or zip file once loaded, apart so that tests can shorten the
// file in between: a read error, not a signal, when it shrank meanwhile.
bool importTableFile(ClassificationTree& tree, const FileData& file, const std::string& path,
                     const ImportOptions& options);
bool importZipFile(ClassificationTree& tree, const FileData& file, const std::string& path,
                   const ImportOptions& options);

}  // namespace imp
