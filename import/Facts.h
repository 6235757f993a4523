// The facts of taxa (identifiers, authorship, synonyms) that an importer collects when its
// caller asks for them through ImportOptions::facts. The readers deep inside an import find
// the table to fill here rather than through every call between: none of them is asked for
// anything when no one wants the facts, so reading stays as fast as without.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Import.h"
#include "TaxonFacts.h"

namespace imp {

class FactsCollector {
public:
    TaxonFacts facts;
    // A taxon of a file linked by identifiers, in the order LinkedTaxa took them.
    void linkedTaxon(std::string_view id, std::string_view authorship) {
        m_linked.emplace_back(std::string(id), std::string(authorship));
    }
    // The nodes made for the taxa of a reading, `idOf(i)` the identifier of nodes[i] (a null
    // node: left out of the tree).
    void bindLinked(const std::vector<TreeNode*>& nodes,
                    const std::function<std::string_view(size_t)>& idOf);

private:
    std::vector<std::pair<std::string, std::string>> m_linked;
};

// The collector of the import running on this thread; null when no facts are wanted.
FactsCollector* collectingFacts();

// Held by each public entry point for the length of an import: collects when the options ask
// for facts, and hands them over (resolved against the tree read) when the import succeeded.
class FactsScope {
public:
    FactsScope(const ClassificationTree& tree, const ImportOptions& options);
    ~FactsScope();
    FactsScope(const FactsScope&) = delete;
    FactsScope& operator=(const FactsScope&) = delete;
    // Returns `ok`.
    bool finish(bool ok);

private:
    const ClassificationTree& m_tree;
    TaxonFacts* m_out;
    FactsCollector m_collector;
    FactsCollector* m_outer;
};

// Words of a taxonomic status that make a row a synonym of the taxon it names.
bool isSynonymStatus(std::string_view status);

}  // namespace imp
