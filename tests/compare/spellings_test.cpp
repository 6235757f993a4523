// How two spellings of an epithet are told, and the keys under which they meet.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Spellings.h"

namespace {

std::set<uint64_t> keysOf(const std::string& w) {
    std::set<uint64_t> out;
    deletionKeys(w, [&](uint64_t k) { out.insert(k); });
    return out;
}

bool meet(const std::string& a, const std::string& b) {
    const auto ka = keysOf(a), kb = keysOf(b);
    return std::any_of(ka.begin(), ka.end(), [&](uint64_t k) { return kb.count(k) > 0; });
}

}  // namespace

TEST(Spellings, EditsCountASwapAsOneAndStopPastTheLimit) {
    EXPECT_EQ(spellingEdits("tianshanica", "tianschanica", 2), 1u);      // sh / sch
    EXPECT_EQ(spellingEdits("neobritannicus", "neobrittanicus", 2), 2u);  // t doubled, n single
    EXPECT_EQ(spellingEdits("tarfayensis", "tarfayaensis", 2), 1u);       // a dropped
    EXPECT_EQ(spellingEdits("caeruleus", "coeruleus", 2), 1u);            // ae / oe
    EXPECT_EQ(spellingEdits("tiomanicus", "tiomaincus", 2), 1u);          // n, i swapped
    EXPECT_EQ(spellingEdits("tiomanicus", "tiomaincas", 2), 2u);          // and one changed
    EXPECT_EQ(spellingEdits("tiomanicus", "toimaincas", 2), 3u);          // three: past it
    EXPECT_EQ(spellingEdits("abcdefgh", "abxyzfgh", 2), 3u);
    EXPECT_EQ(spellingEdits("philippensis", "philippinensis", 2), 2u);
    EXPECT_EQ(spellingEdits("abcde", "abcdefgh", 2), 3u);  // lengths three apart
    EXPECT_EQ(spellingEdits("fasciatus", "fasciatus", 2), 0u);
}

TEST(Spellings, OnlyPlainEpithetsAndNamesCanBeSpeltOtherwise) {
    EXPECT_TRUE(plainEpithet("novae-angliae"));
    EXPECT_TRUE(plainEpithet("m\xfcller"));  // ISO-8859-1 ü
    for (const char* w : {"sp.", "Alpinus", "alpinus2", "'alpinus'", "[alpinus]", "-alpinus",
                          "alpinus-", "novae--angliae", "\xd7" "alpinus", ""})
        EXPECT_FALSE(plainEpithet(w)) << w;
    EXPECT_FALSE(unspellableName("Mus musculus"));
    EXPECT_FALSE(unspellableName("Mus (Coelomys) pahari"));
    for (const char* n : {"Mus musculus x Mus spretus", "Mus \xd7musculus", "\xd7Mus musculus",
                          "Mus \xc3\x97musculus", "Mus 'alpinus'", "Mus alpinus [sic]",
                          "Mus alpinus (sic)", "Mus \"alpinus\""})
        EXPECT_TRUE(unspellableName(n)) << n;
}

TEST(Spellings, WordsWithinTwoEditsShareAKeyAndFartherOnesMostlyDoNot) {
    std::mt19937 random(7);
    auto letter = [&] { return static_cast<char>('a' + random() % 26); };
    int farMet = 0, far = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string a;
        for (size_t n = 5 + random() % 8; n-- > 0;) a += letter();
        std::string b = a;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % b.size();
            switch (random() % 4) {
                case 0: b.insert(b.begin() + static_cast<long>(at), letter()); break;
                case 1: if (b.size() > 1) b.erase(at, 1); break;
                case 2: b[at] = letter(); break;
                default: if (at + 1 < b.size()) std::swap(b[at], b[at + 1]); break;
            }
        }
        const size_t d = spellingEdits(a, b, 2);
        if (d <= 2) {
            EXPECT_TRUE(meet(a, b)) << a << " " << b;
        } else {
            ++far;
            farMet += meet(a, b);
        }
    }
    EXPECT_GT(far, 300);
    EXPECT_LT(farMet * 2, far);  // keys narrow the search; the edits decide
}
