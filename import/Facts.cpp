#include "Facts.h"

#include <algorithm>
#include <cctype>

namespace imp {

namespace {
thread_local FactsCollector* t_collector = nullptr;
}

void FactsCollector::bindLinked(const std::vector<TreeNode*>& nodes) {
    const size_t n = std::min(nodes.size(), m_linked.size());
    for (size_t i = 0; i < n; ++i) facts.add(nodes[i], m_linked[i].first, m_linked[i].second);
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
    std::string lower(status);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // synonym, homotypic synonym, heterotypicSynonym, proParteSynonym, ambiguous synonym;
    // not misapplied names, which are other taxa's names used wrongly.
    return lower.find("synonym") != std::string::npos && lower.find("misapplied") == std::string::npos;
}

}  // namespace imp
