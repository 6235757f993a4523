// What a checklist says about its taxa beyond the tree records: identifiers, authorship and
// the synonyms it lists. Kept beside a tree, one table per tree, by node; only files that give
// these facts fill one, so a tree read from the tag format costs nothing here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "TreeNode.h"

class TaxonFacts {
public:
    struct Synonym {
        const TreeNode* accepted;  // the taxon the synonym belongs to
        const char* name;          // as the file writes it, authorship cut off
        const char* authorship;    // empty when the file gives none
    };

    bool empty() const {
        return m_entries.empty() && m_synonyms.empty() && m_formerIds.empty() &&
               m_pendingFormer.empty();
    }
    void clear();
    void swap(TaxonFacts& other) noexcept;

    // Room for `entries` more taxa's facts and `textBytes` more bytes of their texts, so
    // that a reading that knows its count ahead does not copy millions of them as they grow.
    void reserve(size_t entries, size_t textBytes);
    // Facts of one taxon; an empty text adds nothing. A taxon told twice keeps the first.
    void add(const TreeNode* node, std::string_view id, std::string_view authorship);
    // A synonym of `accepted`.
    void addSynonym(const TreeNode* accepted, std::string_view name, std::string_view authorship);
    // A synonym whose accepted taxon is known, while the file is read, only by identifier or
    // by name; resolve() finds it.
    void addPendingSynonym(std::string_view acceptedId, std::string_view acceptedName,
                           std::string_view name, std::string_view authorship);

    // An identifier the taxon of identifier `id` held before: an old one merged into it
    // (NCBI's merged.dmp). resolve() finds the taxon.
    void addPendingFormerId(std::string_view id, std::string_view formerId);

    // Takes over everything `other` holds (before either is resolved); `other` is left empty.
    void merge(TaxonFacts& other);

    // Once the tree is complete: keeps only the facts of nodes that are in `tree` (an importer
    // may have merged or replaced nodes it had told facts of), turns pending synonyms into
    // synonyms of the taxa they name, and makes the table ready for lookups.
    void resolve(const ClassificationTree& tree);
    // Makes a table filled only through add() with nodes known to be live ready for lookups.
    void seal();

    // Null when the table holds none for the node.
    const char* id(const TreeNode* node) const;
    const char* authorship(const TreeNode* node) const;
    // Valid until the table changes.
    std::vector<Synonym> synonyms() const;
    bool synonymsEmpty() const { return m_synonyms.empty(); }

    // Every node with facts, and its facts, in no particular order.
    template <class F>
    void forEach(F&& f) const {
        for (const Entry& e : m_entries) f(e.node, text(e.id), text(e.authorship));
    }
    size_t size() const { return m_entries.size(); }
    // Every taxon's former identifiers, once resolved: f(node, formerId), in no particular order.
    template <class F>
    void forEachFormerId(F&& f) const {
        for (const FormerId& e : m_formerIds) f(e.node, text(e.id));
    }
    bool formerIdsEmpty() const { return m_formerIds.empty(); }

private:
    struct Entry {
        const TreeNode* node;
        uint32_t id, authorship;  // offsets into m_text; 0: none
    };
    struct Pending {
        uint32_t acceptedId, acceptedName, name, authorship;
    };
    uint32_t store(std::string_view s);
    const char* text(uint32_t at) const { return at ? m_text.data() + at : nullptr; }
    const Entry* find(const TreeNode* node) const;
    void sortEntries();
    void resolveFormerIds();

    std::string m_text = std::string(1, '\0');  // zero-terminated texts one after another
    std::vector<Entry> m_entries;                 // by node once sealed
    std::vector<Pending> m_pending;
    struct StoredSynonym {
        const TreeNode* accepted;
        uint32_t name, authorship;
    };
    std::vector<StoredSynonym> m_synonyms;
    struct FormerId {
        const TreeNode* node;
        uint32_t id;
    };
    std::vector<FormerId> m_formerIds;
    std::vector<std::pair<uint32_t, uint32_t>> m_pendingFormer;  // (id, former id)
    bool m_sealed = true;
};
