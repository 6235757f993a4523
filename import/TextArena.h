// Texts kept for the length of a reading in large blocks: a checklist of millions of rows
// keeps several short texts per row, and a string of its own for each would cost an
// allocation apiece and scatter them over memory that must be fetched again when the taxa
// are linked.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace imp {

class TextArena {
public:
    // A copy of `text` that stays where it is until the arena goes.
    std::string_view keep(std::string_view text) {
        if (text.empty()) return {};
        const size_t n = text.size();
        if (n > m_left) {
            // A text longer than a block gets a block of its own, and the current one stays.
            const size_t size = std::max(n, m_blockSize);
            m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
            if (size > m_blockSize) {
                std::memcpy(m_blocks.back().get(), text.data(), n);
                return {m_blocks.back().get(), n};
            }
            m_next = m_blocks.back().get();
            m_left = size;
            m_blockSize = std::min(2 * m_blockSize, kBlock);
        }
        char* at = m_next;
        std::memcpy(at, text.data(), n);
        m_next += n;
        m_left -= n;
        return {at, n};
    }

    // Whether `part` lies in `whole` (both non-empty): a text of a file that outlives the
    // reading needs no copy.
    static bool within(std::string_view part, std::string_view whole) {
        const auto p = reinterpret_cast<uintptr_t>(part.data()),
                   w = reinterpret_cast<uintptr_t>(whole.data());
        return !part.empty() && p >= w && p + part.size() <= w + whole.size();
    }

    // Keeps the texts of `other` too, where they are.
    void absorb(TextArena& other) {
        for (auto& b : other.m_blocks) m_blocks.push_back(std::move(b));
        other.m_blocks.clear();
        other.m_next = nullptr;
        other.m_left = 0;
    }

private:
    // Blocks grow from a page to kBlock: most arenas of a reading (those of a small file,
    // of a half that gives few names, of notes) keep a few texts or none, and a block of a
    // megabyte apiece is memory handed out, cleared and given back for nothing.
    static constexpr size_t kFirstBlock = size_t{1} << 12, kBlock = size_t{1} << 20;
    size_t m_blockSize = kFirstBlock;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;
    size_t m_left = 0;
};

}  // namespace imp
