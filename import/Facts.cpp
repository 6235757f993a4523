#include "Facts.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "NameCleaning.h"
#include "StatusWords.h"

namespace imp {

namespace {
thread_local FactsCollector* t_collector = nullptr;
}

void FactsCollector::bindLinked(const std::vector<TreeNode*>& nodes,
                                const std::function<std::string_view(size_t)>& idOf) {
    // By identifier, not by place: a reading may make taxa of its own (the higher taxa of a
    // core's classification columns) that carry no facts, and leave some out.
    std::unordered_map<std::string_view, std::string_view> authorship;
    authorship.reserve(m_linked.size());
    for (const auto& [id, author] : m_linked) authorship.emplace(id, author);
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (!nodes[i]) continue;
        const std::string_view id = idOf(i);
        auto found = authorship.find(id);
        // A key the reading made up for a row without an identifier is nobody's identifier:
        // two files' rows without one would share it.
        if (found != authorship.end())
            facts.add(nodes[i], isMadeUpKey(id) ? std::string_view() : id, found->second);
    }
    std::vector<std::pair<std::string, std::string>>().swap(m_linked);
}

FactsCollector* collectingFacts() { return t_collector; }

FactsScope::FactsScope(const ClassificationTree& tree, const ImportOptions& options)
    : m_tree(tree), m_out(options.facts), m_outer(t_collector) {
    t_collector = m_out ? &m_collector : nullptr;
}

FactsScope::~FactsScope() { t_collector = m_outer; }

bool FactsScope::finish(bool ok) {
    t_collector = m_outer;
    if (!m_out) return ok;
    m_out->clear();
    if (ok) {
        m_collector.facts.resolve(m_tree);
        m_out->swap(m_collector.facts);
    }
    return ok;
}

bool isSynonymStatus(std::string_view status) {
    // synonym, homotypic synonym, heterotypicSynonym, proParteSynonym, ambiguous synonym,
    // SINONIMO, sinónimo; not misapplied names, which are other taxa's names used wrongly.
    const std::string folded = foldWord(status);
    if (folded.find("misapplied") != std::string::npos) return false;
    return folded.find("synonym") != std::string::npos ||
           folded.find("sinonim") != std::string::npos;
}

}  // namespace imp
