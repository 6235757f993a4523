// Partners of renamed taxa. The comparison pairs taxa by Latin name; a species that one
// classification calls by another name (moved to another genus, its ending made to agree with
// the genus, listed as a synonym, kept under the same identifier) is left without a partner
// there. This finds such partners among the species and subspecies that each classification
// holds alone, on evidence tried strongest first:
//   id       the two files share an identifier space and give both taxa the same identifier;
//   synonym  one file lists the other taxon's name as a synonym of this one (an epithet
//            listed as the junior synonym of an unlike one only between two taxa that are
//            each other's only candidate: a change of priority);
//   epithet  the same epithets in another genus of the same family (of the same order when
//            the family changed too), with the same authorship where both files give one;
//   ending   epithets that differ only in their Latin gender ending, in the same genus or
//            moved as for `epithet`;
//   spelling an epithet spelt otherwise (at most two letters added, dropped, changed or
//            swapped, in epithets of five letters or more), in the same genus or moved as
//            for `epithet`: with agreeing authorships, or without, between two taxa that are
//            each other's only candidate.
// A taxon gets at most one partner. A pair once made stands: weaker evidence is tried only
// on the taxa still without one. Evidence that points at more than one taxon, on either side,
// pairs none of them and leaves them to no weaker rule either.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "TaxonFacts.h"
#include "TreeNode.h"

enum class RenameEvidence : uint8_t { Id, Synonym, Epithet, Ending, Spelling };
// Which rules pairs were found by: partners kept beside tree files under other rules are
// found again. Raise it with every change to what the rules pair.
constexpr uint32_t kPairingRulesVersion = 4;
// "id", "synonym", "epithet", "ending", "spelling".
const char* renameEvidenceName(RenameEvidence evidence);
// The evidence of a name renameEvidenceName gives; false for any other text.
bool renameEvidenceFromName(std::string_view name, RenameEvidence& evidence);

// One taxon of tree 1 and its partner in tree 2: both their own taxa, never grafted copies.
// Both are held by their own tree only, except where shared identifiers pair a taxon with one
// whose name both trees hold (an old name given to another species).
struct RenamePair {
    const TreeNode* node1;
    const TreeNode* node2;
    RenameEvidence evidence;
};

// Authorship as compared: the surnames in order and the year, lower case, without initials,
// particles ("von", "de"), "&", "and", "et", commas, periods, apostrophes and parentheses, and
// without the authors of the work an "in" names: "(G. K. Shaw, 1799)" -> "shaw 1799",
// "P. Gervais in Castelnau 1856" -> "gervais 1856".
std::string normaliseAuthorship(std::string_view authorship);
// The same first surname, and years no more than one apart where both give one (releases
// correct a year by the date a part really came out). True when either is empty.
bool sameAuthorship(std::string_view normalised1, std::string_view normalised2);
// Two different epithets that differ only in a Latin gender ending (-us/-a/-um, -is/-e,
// -er/-ra/-rum, -er/-ris/-re, and the genitives -i/-ii/-ei/-ae/-orum/-arum).
bool genderVariants(std::string_view epithet1, std::string_view epithet2);
// The same epithet, or two spellings of one: at most two letters added, dropped or changed
// ("fraenata", "frenata"; "philippensis", "philippinensis"), in words of five letters or more.
bool spellingVariants(std::string_view epithet1, std::string_view epithet2);
// Of the identifiers both tables give, at least half name the same Latin name in both trees.
bool shareIdentifierSpace(const TaxonFacts& facts1, const TaxonFacts& facts2);

// Which of the later rules are tried; all of them unless a benchmark compares without.
struct RenameRules {
    bool spelling = true;  // the `spelling` rule
    // An epithet listed as the junior synonym of an unlike one pairs where its two taxa are
    // each other's only candidate (a change of priority); without, such a synonym pairs none.
    bool priority = true;
};

class RenamePairs {
public:
    // Finds the pairs of two combined trees (tree 1 with id 1, tree 2 with id 2), with the
    // facts their files gave (null or empty: none).
    void find(const ClassificationTree& tree1, const ClassificationTree& tree2,
              const TaxonFacts* facts1 = nullptr, const TaxonFacts* facts2 = nullptr,
              RenameRules rules = {});
    // Takes pairs found before (stored with the trees).
    void assign(std::vector<RenamePair> pairs);
    void clear();

    const std::vector<RenamePair>& pairs() const { return m_pairs; }
    // The pair of a taxon marked 1 or 2 of either combined tree: its own taxon or the copy of
    // it grafted into the other tree. Null when it has no partner.
    const RenamePair* pairOf(const TreeNode& node) const;
    // The partner of such a taxon (its own taxon in the other tree), or null.
    const TreeNode* partnerOf(const TreeNode& node) const;

private:
    void index();
    std::vector<RenamePair> m_pairs;
    // By Latin name, the pairs of each side's taxa. Partners' names are unique among their
    // tree's taxa, which is what lets a grafted copy find its original's pair.
    std::unordered_map<std::string_view, uint32_t> m_byName[2];
    std::unordered_map<const TreeNode*, uint32_t> m_byNode;
};
