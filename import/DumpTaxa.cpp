#include "DumpTaxa.h"

#include "Console.h"

namespace imp {

void DumpLinks::row(std::string_view id, size_t line) {
    uint32_t& r = m_rowOf.at(id);
    if (!r) r = static_cast<uint32_t>(m_lines.size() + 1);
    m_lines.push_back(static_cast<uint32_t>(std::min<size_t>(line, UINT32_MAX)));
}

void DumpLinks::parent(size_t row, std::string_view id, std::string_view parentId) {
    if (m_parent.empty()) {
        m_parent.assign(m_lines.size(), kNone);
        m_missing.assign(m_lines.size(), 0);
    }
    // A taxon that is its own parent, or has none, is a root; the first of them is the root.
    if (parentId.empty() || parentId == id) {
        if (m_root == SIZE_MAX) {
            m_root = row;
            m_rootId = id;
        }
        return;
    }
    const size_t p = rowOf(parentId);
    if (p == SIZE_MAX) m_missing[row] = 1;
    else m_parent[row] = static_cast<uint32_t>(p);
}

void DumpLinks::mend(const std::string& label, const std::function<std::string(size_t)>& nameOf) {
    m_parent.resize(m_lines.size(), kNone);
    m_missing.resize(m_lines.size(), 0);
    for (uint8_t m : m_missing) m_orphans += m == 1;
    // Each walk up stops at a row already walked: one step per row in all.
    std::vector<uint8_t> state(m_lines.size(), kUnknown);
    std::vector<uint32_t> walk;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        walk.clear();
        uint32_t at = static_cast<uint32_t>(i);
        while (at != kNone && state[at] == kUnknown) {
            state[at] = kWalking;
            walk.push_back(at);
            at = m_parent[at];
        }
        if (at != kNone && state[at] == kWalking) {
            // A cycle: broken at its row given first, most likely the one meant above the rest.
            uint32_t first = at;
            for (uint32_t k = m_parent[at]; k != at; k = m_parent[k]) first = std::min(first, k);
            consolePrintf("%s: line %u: %s is its own ancestor (a cycle of parents): its link to "
                          "its parent %s is broken, and it hangs under the root\n",
                          label.c_str(), m_lines[first], nameOf(first).c_str(),
                          nameOf(m_parent[first]).c_str());
            m_parent[first] = kNone;
            m_missing[first] = 2;
        }
        for (uint32_t k : walk) state[k] = kOut;
    }
}

void DumpLinks::choose(size_t root) {
    m_chosen = root;
    m_in.assign(m_lines.size(), kUnknown);
    m_in[root] = kIn;
    std::vector<uint32_t> walk;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        walk.clear();
        uint32_t at = static_cast<uint32_t>(i);
        uint8_t outcome = kOut;
        while (at != kNone) {
            if (m_in[at] != kUnknown) {
                outcome = m_in[at];
                break;
            }
            m_in[at] = kWalking;  // the cycles are broken: no walk meets itself
            walk.push_back(at);
            at = m_parent[at];
        }
        for (uint32_t k : walk) m_in[k] = outcome;
    }
}

DumpLinks::Link DumpLinks::link(size_t row) const {
    if (row == m_chosen || row == m_root) return Link::None;
    if (row < m_missing.size() && m_missing[row])
        return m_rootId.empty() || m_chosen != SIZE_MAX ? Link::None : Link::Root;
    return Link::AsGiven;
}

}  // namespace imp
