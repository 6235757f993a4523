#include "DumpTaxa.h"

#include <algorithm>
#include <utility>

#include "Console.h"
#include "Importers.h"
#include "TreeBuilder.h"

namespace imp {

DumpTaxa::~DumpTaxa() {
    for (const Names& n : m_names) {
        freeName(n.latin);
        freeName(n.rank);
    }
    for (const auto& [row, common] : m_commons) freeName(common);
}

void DumpTaxa::reserve(size_t rows) {
    m_names.reserve(rows);
    m_parentRefs.reserve(rows);
    m_lines.reserve(rows);
}

bool DumpTaxa::take(uint32_t& row, Names names, uint64_t parent, size_t line, size_t& clash) {
    if (row) {
        clash = m_lines[row - 1];
        freeName(names.latin);
        freeName(names.rank);
        return false;
    }
    row = static_cast<uint32_t>(m_names.size() + 1);
    m_names.push_back(names);
    m_parentRefs.push_back(parent);
    m_lines.push_back(static_cast<uint32_t>(std::min<size_t>(line, UINT32_MAX)));
    return true;
}

bool DumpTaxa::add(Names names, std::string_view id, std::string_view parent, size_t line,
                   size_t& clash) {
    uint32_t& r = m_rowOf.at(id);
    // The parent's reference only for a row taken: an identifier given twice adds nothing.
    return take(r, names, r ? kRootRef : parentRef(id, parent), line, clash);
}

bool DumpTaxa::add(Names names, uint32_t id, uint32_t parent, size_t line, size_t& clash) {
    return take(m_rowOf.atNumber(id), names, parent == id ? kRootRef : parent, line, clash);
}

void DumpTaxa::setCommon(size_t row, std::string_view common) {
    if (common.empty()) return;
    auto [it, fresh] = m_commons.try_emplace(static_cast<uint32_t>(row), nullptr);
    if (fresh) it->second = newName(common.data(), common.size());
}

uint64_t DumpTaxa::parentRef(std::string_view id, std::string_view parent) {
    if (parent.empty() || parent == id) return kRootRef;
    const int64_t n = number(parent);
    if (n >= 0) return static_cast<uint64_t>(n);
    m_parentViews.push_back(parent);
    return kViewRef + m_parentViews.size() - 1;
}

void DumpTaxa::link(const std::string& label) {
    const size_t count = m_names.size();
    m_parent.assign(count, kNone);
    std::vector<uint8_t> broken(count, 0);
    for (size_t i = 0; i < count; ++i) {
        const uint64_t p = m_parentRefs[i];
        // A taxon that is its own parent, or has none, is a root; the first of them is the root.
        if (p == kRootRef) {
            if (m_root == SIZE_MAX) m_root = i;
            continue;
        }
        size_t at = SIZE_MAX;
        if (p >= kViewRef) {
            at = rowOf(m_parentViews[p - kViewRef]);
        } else {
            const uint32_t* r = m_rowOf.findNumber(p);
            if (r && *r) at = *r - 1;
        }
        if (at == SIZE_MAX) {
            broken[i] = 1;
            ++m_orphans;
        } else {
            m_parent[i] = static_cast<uint32_t>(at);
        }
    }
    std::vector<uint64_t>().swap(m_parentRefs);
    std::vector<std::string_view>().swap(m_parentViews);
    // Each walk up stops at a row already walked: one step per row in all.
    enum : uint8_t { kUnknown, kWalking, kDone };
    std::vector<uint8_t> state(count, kUnknown);
    std::vector<uint32_t> walk;
    for (size_t i = 0; i < count; ++i) {
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
                          label.c_str(), m_lines[first], m_names[first].latin,
                          m_names[m_parent[first]].latin);
            m_parent[first] = kNone;
            broken[first] = 1;
        }
        for (uint32_t k : walk) state[k] = kDone;
    }
    if (m_root == SIZE_MAX) return;
    for (size_t i = 0; i < count; ++i)
        if (broken[i]) m_parent[i] = static_cast<uint32_t>(m_root);
}

void DumpTaxa::choose(size_t root) {
    m_chosen = root;
    enum : uint8_t { kUnknown, kIn, kOut, kWalking };
    m_kept.assign(m_names.size(), kUnknown);
    m_kept[root] = kIn;
    std::vector<uint32_t> walk;
    for (size_t i = 0; i < m_names.size(); ++i) {
        walk.clear();
        uint32_t at = static_cast<uint32_t>(i);
        uint8_t outcome = kOut;
        while (at != kNone) {
            if (m_kept[at] != kUnknown) {
                outcome = m_kept[at];
                break;
            }
            m_kept[at] = kWalking;  // the cycles are broken: no walk meets itself
            walk.push_back(at);
            at = m_parent[at];
        }
        for (uint32_t k : walk) m_kept[k] = outcome;
    }
    for (uint8_t& k : m_kept) k = k == kIn;
}

bool DumpTaxa::build(ClassificationTree& tree, const std::string& label, int64_t fileSize,
                     const std::function<void(const TreeNode*, size_t)>& each) {
    const size_t count = m_names.size();
    auto kept = [&](size_t i) { return m_kept.empty() || m_kept[i]; };
    auto parentOf = [&](size_t i) { return i == m_chosen ? kNone : m_parent[i]; };
    // The rows kept in the order of a walk of the tree, each before its children and these
    // in the order of their rows (the parent of a row kept is kept, the chosen root aside).
    std::vector<uint32_t> first(count + 1, 0), order;
    {
        for (size_t i = 0; i < count; ++i)
            if (kept(i) && parentOf(i) != kNone) ++first[parentOf(i) + 1];
        for (size_t i = 0; i < count; ++i) first[i + 1] += first[i];
        std::vector<uint32_t> children(first[count]), next(first.begin(), first.end() - 1), stack;
        for (size_t i = 0; i < count; ++i) {
            if (!kept(i)) continue;
            const uint32_t p = parentOf(i);
            if (p == kNone) stack.push_back(static_cast<uint32_t>(i));
            else children[next[p]++] = static_cast<uint32_t>(i);
        }
        std::reverse(stack.begin(), stack.end());
        order.reserve(count);
        while (!stack.empty()) {
            const uint32_t row = stack.back();
            stack.pop_back();
            order.push_back(row);
            for (uint32_t k = first[row + 1]; k-- > first[row];) stack.push_back(children[k]);
        }
    }
    // The nodes made in that order, so that each lies near the one the walks that follow
    // come to before it; on two threads for a large tree, each making half of them.
    std::vector<uint8_t> withCommon(m_commons.empty() ? 0 : count, 0);
    for (const auto& [row, common] : m_commons) withCommon[row] = 1;
    std::vector<TreeNode*> nodes(count, nullptr);
    inHalves(order.size(), splitFrom(kTwoThreadsFrom / 64), [&](size_t from, size_t to, int) {
        for (size_t k = from; k < to; ++k) {
            const uint32_t row = order[k];
            auto* n = new TreeNode;
            n->latinName = m_names[row].latin;
            n->rankName = m_names[row].rank;
            n->commonName = withCommon.empty() || !withCommon[row] ? newName("", 0)
                                                                   : m_commons.find(row)->second;
            n->children.reserve(first[row + 1] - first[row]);
            nodes[row] = n;
        }
    });
    // Their names are theirs now; the rows left out keep theirs, freed with this.
    for (uint32_t row : order) m_names[row] = {nullptr, nullptr};
    std::erase_if(m_commons, [&](const auto& entry) { return nodes[entry.first] != nullptr; });
    TreeBuilder builder(0);
    for (uint32_t row : order) {
        const uint32_t p = parentOf(row);
        (p == kNone ? builder.top() : nodes[p])->addChild(nodes[row]);
    }
    std::vector<uint32_t>().swap(order);
    if (each)
        for (size_t i = 0; i < count; ++i)
            if (nodes[i]) each(nodes[i], i);
    return builder.finish(tree, label, fileSize);
}

}  // namespace imp
