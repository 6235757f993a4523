#include "CladoramaDoc.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>

#include "ClassificationReader.h"
#include "Combine.h"
#include "Compare.h"
#include "Cancellation.h"
#include "Census.h"
#include "Console.h"
#include "FileResult.h"
#include "Import.h"
#include "KeptThread.h"
#include "Layout.h"
#include "LoadedRelations.h"
#include "NameOrder.h"
#include "TreeFile.h"

// ---------------------------------------------------------------------------------------
// NamePool

char* NamePool::copy(const char* text) {
    constexpr size_t kBlockSize = size_t(1) << 20;
    const size_t size = std::strlen(text) + 1;
    if (size > m_left) {
        const size_t block = std::max(size, kBlockSize);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(block));
        m_next = m_blocks.back().get();
        m_left = block;
    }
    char* out = m_next;
    std::memcpy(out, text, size);
    m_next += size;
    m_left -= size;
    return out;
}

void NamePool::adopt(NamePool&& other) {
    // This pool's open block stays the one it carves from.
    for (auto& block : other.m_blocks) m_blocks.push_back(std::move(block));
    other.clear();
}

void NamePool::clear() {
    m_blocks.clear();
    m_next = nullptr;
    m_left = 0;
}

// ---------------------------------------------------------------------------------------
// Free steps of the pipeline

namespace {

// A step that reads and writes one tree alone, made for both trees at once.
template <class Step>
void onBothTrees(ClassificationTree& tree1, ClassificationTree& tree2, Step&& step) {
    sideBySide([&] { step(tree1); }, [&] { step(tree2); });
}

}  // namespace

void buildCombinedTrees(ClassificationTree& tree1, ClassificationTree& tree2) {
    // The steps of each tree alone run on two cores; the comparison and the grafting read
    // both trees and run as one. Every line is printed from here, in its order.
    consolePrintf("Get number of each rank for tree... \n");
    std::vector<std::pair<std::string, int>> census1, census2;
    sideBySide(
        [&] {
            census1 = rankCensus(tree1);
            computeMaxLevel(tree1);
        },
        [&] {
            census2 = rankCensus(tree2);
            computeMaxLevel(tree2);
        });
    printCensusLines(census1);
    printCensusLines(census2);

    consolePrintf("Compare trees - assign color to nodes...\n");
    tree1.treeId = 1;
    tree2.treeId = 2;
    compareTrees(tree1, tree2);
    compareTrees(tree2, tree1);

    consolePrintf("Load number of children down the tree of each node.... \n");
    onBothTrees(tree1, tree2, [](ClassificationTree& t) { countDescendants(t); });
    graftUnique(&tree1, &tree2, 1, 2);
    graftUnique(&tree2, &tree1, 2, 1);
    onBothTrees(tree1, tree2, [](ClassificationTree& t) { sortChildrenByLatinName(&t); });

    consolePrintf("Load number of children down the combined tree of each node.... \n");
    onBothTrees(tree1, tree2, [](ClassificationTree& t) {
        countCombinedDescendants(t);
        numberChildren(t);
    });

    consolePrintf("Load node position.... \n");
    onBothTrees(tree1, tree2, [](ClassificationTree& t) { layoutCircles(&t); });

    consolePrintf("Set node position for overview tree.... \n");
}

void fillNameIndexes(ClassificationTree& tree) {
    tree.latinIndex.clear();
    tree.commonIndex.clear();
    forEachNode(static_cast<TreeNode*>(&tree), [&tree](TreeNode* n) {
        tree.latinIndex.push_back(n);
        if (n->commonName && n->commonName[0]) tree.commonIndex.push_back(n);
    });
}

std::vector<TreeNode*> mergeCommonIndexes(const std::vector<TreeNode*>& first,
                                          const std::vector<TreeNode*>& second) {
    std::vector<TreeNode*> out;
    out.reserve(first.size() + second.size());
    size_t i = 0, j = 0;
    while (i < first.size() && j < second.size()) {
        // strcmp compares as unsigned char, which is the name order.
        int c = std::strcmp(first[i]->commonName, second[j]->commonName);
        if (c == 0) {
            out.push_back(first[i++]);
            ++j;
        } else if (c < 0) {
            out.push_back(first[i++]);
        } else {
            out.push_back(second[j++]);
        }
    }
    out.insert(out.end(), first.begin() + static_cast<std::ptrdiff_t>(i), first.end());
    out.insert(out.end(), second.begin() + static_cast<std::ptrdiff_t>(j), second.end());
    return out;
}

namespace {

// Releases the storage of an index too: at millions of taxa an emptied index would
// otherwise keep tens of megabytes for nothing.
void releaseIndex(std::vector<TreeNode*>& index) { std::vector<TreeNode*>().swap(index); }

// Writes a copy of each node's name at `out`, one entry per node. The lists are in name
// order, so the nodes and their names lie scattered over the heap; fetching a few entries
// ahead (the node, then its name) keeps the copying from waiting on memory at every entry.
void copySearchNames(SearchEntry* out, NamePool& pool, const std::vector<TreeNode*>& list,
                     char* TreeNode::*name) {
    constexpr size_t kNodeAhead = 16, kNameAhead = 8;
    const size_t n = list.size();
    for (size_t i = 0; i < n; ++i) {
        if (i + kNodeAhead < n) __builtin_prefetch(list[i + kNodeAhead]);
        if (i + kNameAhead < n) __builtin_prefetch(list[i + kNameAhead]->*name);
        out[i] = {pool.copy(list[i]->*name), list[i]};
    }
}

// Writes both binary tree files as a pair: only when both are complete do they replace the
// files of the previous build. Stopping after writing only one of them would leave a new
// T1.jm2 beside an old T2.jm2, two trees that were never compared with each other.
// The partners of renamed taxa go into a file of their own beside them.
bool writeTreePair(const ClassificationTree& tree1, const ClassificationTree& tree2,
                   DocPartners& partners, const std::string& dir = std::string()) {
    const std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    const std::string file1 = prefix + kTreeFile1, file2 = prefix + kTreeFile2;
    // What goes beside them (partners, relations) is found once they are written: the tree
    // files' bytes are made in memory first, and the two together would raise the peak by
    // hundreds of megabytes at a whole catalogue.
    const FileResult written = saveTreeFilePair(tree1, file1.c_str(), tree2, file2.c_str());
    if (reportFailure(written)) {
        partners.writeBeside(tree1, tree2, file1, file2);
        return true;
    }
    consolePrintf("Writing binary tree file %s has been failed!\n",
                  written.failure().file == file1 ? kTreeFile1 : kTreeFile2);
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// CCladoramaDoc

CCladoramaDoc::CCladoramaDoc(DocFramework* framework)
    : m_pNodeListDlg(std::make_unique<CNodeListDlg>(nullptr)), m_pFramework(framework) {}

CCladoramaDoc::~CCladoramaDoc() = default;

bool CCladoramaDoc::OnNewDocument() {
    SetTitle("Cladorama");
    return true;
}

void CCladoramaDoc::UpdateAllViews() {
    if (m_pFramework) m_pFramework->UpdateAllViews();
}

void CCladoramaDoc::MessageBox(const char* text) {
    if (m_pFramework) m_pFramework->MessageBox(text);
}

void CCladoramaDoc::SetTitle(const char* title) {
    m_strTitle = title;
    if (m_pFramework) m_pFramework->TitleChanged(title);
}

template <LoadMode Mode>
bool CCladoramaDoc::LoadHierarchiesIn() {
    StopFindingChanges();
    if constexpr (Mode == LoadMode::Binary) {
        m_tree1.treeId = 1;
        m_tree2.treeId = 2;
        consolePrintf("Load trees from binary files.... \n");
        consolePrintf("Tree 1 loading.... \n");
        // Tree 2 is read meanwhile on a second core; what its reading prints waits for its
        // turn, and is never printed when tree 1 fails.
        TreeFileReading second(kTreeFile2);
        if (!readTreeFile(m_tree1, kTreeFile1)) {
            consolePrintf("Reading binary tree file %s has been failed!\n", kTreeFile1);
            return false;
        }
        consolePrintf("Tree 2 loading.... \n");
        if (!second.finish(m_tree2)) {
            consolePrintf("Reading binary tree file %s has been failed!\n", kTreeFile2);
            return false;
        }
        m_partners.expectBeside(kTreeFile1, kTreeFile2);
        consolePrintf("Set node position for overview tree.... \n");
    } else {
        consolePrintf("Tree 1 is loading... \n");
        if (!readClassification(m_tree1, kClassificationFile1)) {
            consolePrintf("Reading classification xml file has been failed!\n");
            return false;
        }
        consolePrintf("Tree 2 is loading... \n");
        if (!readClassification(m_tree2, kClassificationFile2)) {
            consolePrintf("Reading classification xml file has been failed!\n");
            return false;
        }
        buildCombinedTrees(m_tree1, m_tree2);
        consolePrintf("Write trees to binary files.... \n");
        if (!writeTreePair(m_tree1, m_tree2, m_partners)) return false;
    }
    RunCommonTail();
    return true;
}

template bool CCladoramaDoc::LoadHierarchiesIn<LoadMode::Build>();
template bool CCladoramaDoc::LoadHierarchiesIn<LoadMode::Binary>();

void CCladoramaDoc::RunCommonTail() {
    // What the trees were compared on before goes; this pair's changes are found after the
    // first frame (StartFindingChanges), or when someone asks for them.
    StopFindingChanges();
    m_changes.clear();
    m_relations = TaxonRelations();

    // Three pieces of work that this thread and a kept one take in turn: the common-name
    // indexes (sorted and merged), then the two halves of tree 1's Latin index. Common
    // names first: where there are many, they take about as long as both halves, and
    // where there are few the halves still share the two threads. The lines come once all
    // is done, in their order.
    LatinIndexInHalves latin(m_tree1);
    std::atomic<int> nextPiece{0};
    auto takePieces = [&] {
        for (int piece; (piece = nextPiece.fetch_add(1)) < 3;) {
            if (piece > 0) {
                latin.sortHalf(piece - 1);
                continue;
            }
            sortCommonIndex(m_tree1);
            sortCommonIndex(m_tree2);
            m_combinedByCommon = mergeCommonIndexes(m_tree1.commonIndex, m_tree2.commonIndex);
            releaseIndex(m_tree1.commonIndex);
            releaseIndex(m_tree2.commonIndex);
        }
    };
    sideBySide(takePieces, takePieces);
    latin.merge();
    consolePrintf("Latin name sorted\n");
    consolePrintf("common name sorted\n");
    consolePrintf("common name sorted\n");

    const size_t latinCount = m_tree1.latinIndex.size();
    m_searchNames.clear();
    m_searchNamePool.clear();
    m_searchNames.resize(latinCount + m_combinedByCommon.size());
    NamePool commonPool;
    sideBySide(
        [this] {
            copySearchNames(m_searchNames.data(), m_searchNamePool, m_tree1.latinIndex,
                            &TreeNode::latinName);
        },
        [this, latinCount, &commonPool] {
            copySearchNames(m_searchNames.data() + latinCount, commonPool, m_combinedByCommon,
                            &TreeNode::commonName);
        });
    m_searchNamePool.adopt(std::move(commonPool));

    m_changesState = m_tree1.treeId == 1 && m_tree2.treeId == 2 ? ChangesState::Waiting
                                                                 : ChangesState::None;
    UpdateAllViews();

    if (m_pSearchBar && m_pFramework) {
        // In int: an empty index gives (0 - 1) / 100 = 0, not a wrapped size_t.
        const int last = static_cast<int>(m_tree1.latinIndex.size()) - 1;
        m_pFramework->SetSliderRange(0, last / 100);
    }
}

namespace {

bool isImported(InputKind kind) {
    return kind == InputKind::Table || kind == InputKind::DarwinCoreArchive ||
           kind == InputKind::ColDP || kind == InputKind::Taxdump ||
           kind == InputKind::OpenTreeTaxonomy || kind == InputKind::Lineages ||
           kind == InputKind::Newick || kind == InputKind::Nexus;
}

// A tree file holds a combined tree: its own taxa and the copies grafted in from the tree
// it was compared with. Paired with a file of another kind it is compared afresh, so it
// goes back to its own taxa first: the copies (marked `copyMark`, the other tree's id)
// go, and every mark, count and index is made again by the combining chain.
void removeGraftedCopies(ClassificationTree& tree, uint8_t copyMark) {
    int32_t nodes = 0, leaves = 0;
    forEachNode(static_cast<TreeNode*>(&tree), [&](TreeNode* n) {
        auto& kids = n->children;
        size_t kept = 0;
        for (TreeNode* k : kids) {
            if (k->onlyInTree == copyMark) delete k;
            else kids[kept++] = k;
        }
        kids.resize(kept);
        n->onlyInTree = 0;
        ++nodes;
        leaves += kids.empty();
    });
    tree.nodeCount = nodes;
    tree.leafCount = leaves;
    tree.maxLevel = -999;
    tree.latinIndex.clear();
    tree.commonIndex.clear();
}

}  // namespace

void CCladoramaDoc::TellReadFailure(const std::string& boxText, const Failure& failure,
                                    bool report) {
    // One line wherever the console goes; the viewer shows the box as well.
    reportFailure(failure);
    if (report && m_pFramework) m_pFramework->ReadFailed(boxText, failure);
}

bool CCladoramaDoc::ReadTreePair(ClassificationTree& tree1, ClassificationTree& tree2,
                                 const std::string& path1, const std::string& path2,
                                 bool report, DocPartners& partners) {
    // Each file's kind is found once, and what finding it opened goes on to its reader.
    InputFile input1 = openInput(path1, m_importOptions);
    InputFile input2 = openInput(path2, m_importOptions);
    const InputKind kind1 = input1.kind, kind2 = input2.kind;
    for (const auto& [path, kind] : {std::pair{&path1, kind1}, {&path2, kind2}}) {
        if (kind != InputKind::Unknown) continue;
        const std::string kinds = "a tree file (.jm2), a classification file (.xml), a table "
                                  "(.csv, .tsv), a Darwin Core Archive, a Catalogue of Life "
                                  "Data Package, an NCBI taxdump or an Open Tree taxonomy";
        const Failure failure{*path, bytePlace(0), "not a kind of file Cladorama reads: " + kinds,
                              {}};
        TellReadFailure(*path + "\nis no file Cladorama can read: " + kinds, failure, report);
        return false;
    }
    tree1.treeId = 1;
    tree2.treeId = 2;
    m_ranksLeftOut.clear();
    // Both trees' options are made first: they are what the readings share with the rest.
    ImportOptions options[2];
    for (uint8_t id : {1, 2}) {
        ImportOptions base = m_importOptions;
        if (!m_openRoots[id - 1].empty()) base.root = m_openRoots[id - 1];
        options[id - 1] = partners.optionsFor(base, id);
    }
    auto load = [&](ClassificationTree& tree, InputFile& input) {
        // Building prints what build mode prints; a reload only what the readers print.
        if (!report) consolePrintf("Tree %d is loading... \n", tree.treeId);
        FileResult result = loadAnyClassification(tree, input, options[tree.treeId - 1]);
        input.opened.reset();  // an archive's entries, read now, need not wait for the other
        return result;
    };
    auto succeeded = [&](const FileResult& result, const InputFile& input) {
        if (result) return true;
        const InputKind kind = input.kind;
        std::string text = kind == InputKind::TreeFile ? "Reading binary tree file "
                           : kind == InputKind::Classification
                               ? "Reading classification xml file "
                               : std::string("Reading ") + inputKindName(kind) + " ";
        text += input.path + " has been failed!";
        // The box names the file and then says where in it and what went wrong.
        TellReadFailure(text + "\n" + result.failure().line(), result.failure(), report);
        return false;
    };
    // Tree 2 is read on a second core meanwhile, its console lines held back for their
    // turn after tree 1's, and dropped when tree 1 fails. Not a classification file: its
    // reader prints a line per branch, millions of lines to hold.
    FileResult result2;
    std::exception_ptr failure2;
    HeldConsole held2;
    std::optional<KeptThread> second;
    if (kind2 != InputKind::Classification) {
        try {
            second.emplace([&] {
                HeldConsole::Scope scope(held2);
                try {
                    result2 = load(tree2, input2);
                } catch (...) {
                    failure2 = std::current_exception();
                }
            });
        } catch (const std::system_error&) {  // no thread to be had: read in turn
        }
    }
    const FileResult result1 = load(tree1, input1);
    const bool inTurn = !second;
    second.reset();
    if (!succeeded(result1, input1)) return false;
    if (inTurn) {
        result2 = load(tree2, input2);
    } else {
        held2.writeOut();
        if (failure2) std::rethrow_exception(failure2);
    }
    if (!succeeded(result2, input2)) return false;
    if (kind1 == InputKind::TreeFile && kind2 == InputKind::TreeFile) {
        partners.expectBeside(path1, path2);
        return true;
    }

    // Two tree files are compared, combined and laid out already; any other pair goes
    // through the combining chain here.
    if (kind1 == InputKind::TreeFile) removeGraftedCopies(tree1, 2);
    if (kind2 == InputKind::TreeFile) removeGraftedCopies(tree2, 1);
    if (isImported(kind1) && isImported(kind2) && m_alignRanks)
        alignRankLevels(tree1, tree2, &m_ranksLeftOut);
    buildCombinedTrees(tree1, tree2);
    onBothTrees(tree1, tree2, [](ClassificationTree& t) { fillNameIndexes(t); });
    return true;
}

bool CCladoramaDoc::ReloadTrees(const std::string& path1, const std::string& path2) {
    // Fresh trees: a failure anywhere leaves the document's trees as they were.
    // The changes of the pair loaded may still be being found meanwhile: they read only
    // that pair's trees and partners, and the new pair is read into trees and partners of
    // its own.
    auto fresh1 = std::make_unique<ClassificationTree>();
    auto fresh2 = std::make_unique<ClassificationTree>();
    auto partners = std::make_unique<DocPartners>();
    if (!ReadTreePair(*fresh1, *fresh2, path1, path2, true, *partners)) return false;

    StopFindingChanges();
    m_tree1.swapContents(*fresh1);
    m_tree2.swapContents(*fresh2);
    m_partners = std::move(*partners);

    // Every list of the document that points into the old trees goes before anyone can
    // look at it again; the node list's lines named the old nodes too.
    m_searchResults.clear();
    m_combinedByCommon.clear();
    m_searchNames.clear();
    m_searchNamePool.clear();
    m_changes.clear();
    m_relations = TaxonRelations();
    m_bNodeSelected = false;
    if (m_pNodeListDlg) {
        m_pNodeListDlg->ResetContent();
        if (m_pNodeListDlg->m_bOpen) m_pNodeListDlg->SetWindowText("Node list - 0 item");
    }
    if (m_pFramework) m_pFramework->TreesReplaced();

    fresh1.reset();  // the old hierarchies
    fresh2.reset();

    RunCommonTail();
    return true;
}

bool CCladoramaDoc::BuildTreeFiles(const std::string& path1, const std::string& path2,
                                   const std::string& outputDir) {
    StopFindingChanges();
    if (!ReadTreePair(m_tree1, m_tree2, path1, path2, false, m_partners)) return false;
    consolePrintf("Write trees to binary files.... \n");
    if (!outputDir.empty()) {
        std::error_code ec;  // a folder that cannot be made fails the writing, which says so
        std::filesystem::create_directories(outputDir, ec);
    }
    if (!writeTreePair(m_tree1, m_tree2, m_partners, outputDir)) return false;
    RunCommonTail();
    return true;
}

void CCladoramaDoc::OnFileOpen() {
    if (!m_pFramework) return;
    std::string path1, path2, roots[2];
    // A taxonomy of millions of taxa is mostly looked at a subtree at a time: each is asked
    // for right after its file is chosen.
    auto choose = [&](std::string& path, std::string& root) {
        return m_pFramework->PromptForFile(path) &&
               (!offersSubtrees(path) || m_pFramework->PromptForRoot(path, root));
    };
    if (!choose(path1, roots[0]) || !choose(path2, roots[1])) return;
    m_openRoots[0] = roots[0];
    m_openRoots[1] = roots[1];
    const bool read = ReloadTrees(path1, path2);
    m_openRoots[0].clear();
    m_openRoots[1].clear();
    if (!read) return;
    if (m_pFramework) m_pFramework->PairOpened(path1, path2);
    MessageBox("Tree Loaded!");
    UpdateAllViews();
}

void CCladoramaDoc::Search(int mode, const char* text, bool matchable) {
    m_searchResults.clear();

    if (!m_pNodeListDlg || !m_pNodeListDlg->m_bOpen) {
        m_pNodeListDlg.reset();
        std::unique_ptr<CNodeListDlg> dlg;
        if (m_pFramework) dlg = m_pFramework->NewNodeListDlg();
        if (!dlg) dlg = std::make_unique<CNodeListDlg>(nullptr);
        dlg->m_pDoc = this;
        dlg->Create();
        m_pNodeListDlg = std::move(dlg);
    }
    CNodeListDlg& dlg = *m_pNodeListDlg;
    dlg.ResetContent();

    // The searchable names hold tree 1's Latin index and then the merged common-name list,
    // entry for entry, as copies packed in the order they are walked: walking those
    // copies instead of the nodes gives the same matches in the same order without a
    // cache miss per node. They are used whenever they still mirror the two lists.
    const std::vector<TreeNode*>& latin = m_tree1.latinIndex;
    const size_t latinCount = latin.size();
    const bool mirrored =
        m_searchNames.size() == latinCount + m_combinedByCommon.size() &&
        (latinCount == 0 || (m_searchNames.front().node == latin.front() &&
                             m_searchNames[latinCount - 1].node == latin.back())) &&
        (m_combinedByCommon.empty() ||
         (m_searchNames[latinCount].node == m_combinedByCommon.front() &&
          m_searchNames.back().node == m_combinedByCommon.back()));
    auto walkEntries = [&](size_t first, size_t last) {
        if (!matchable) return;
        for (size_t i = first; i < last; ++i) {
            const SearchEntry& e = m_searchNames[i];
            if (std::strstr(e.name, text)) {
                m_searchResults.push_back(e.node);
                dlg.AddString(e.name);
            }
        }
    };
    auto walkNodes = [&](const std::vector<TreeNode*>& list, char* TreeNode::*name) {
        if (!matchable) return;
        for (TreeNode* n : list) {
            if (std::strstr(n->*name, text)) {
                m_searchResults.push_back(n);
                dlg.AddString(n->*name);
            }
        }
    };

    const char* noMatch;
    if (mode == 0) {
        noMatch = "No node found with the Latin Name\n Try another name";
        if (mirrored) walkEntries(0, latinCount);
        else walkNodes(latin, &TreeNode::latinName);
    } else if (mode == 1) {
        noMatch = "No node found with the Common Name\n Try another name";
        if (mirrored) walkEntries(latinCount, m_searchNames.size());
        else walkNodes(m_combinedByCommon, &TreeNode::commonName);
    } else {
        noMatch = "No node found with the Latin or Common Name\n Try another name";
        walkEntries(0, m_searchNames.size());
    }

    if (m_searchResults.empty()) MessageBox(noMatch);

    char title[64];
    std::snprintf(title, sizeof title, "Node list - %i item",
                  static_cast<int>(m_searchResults.size()));
    dlg.SetWindowText(title);
    dlg.ShowWindow();
    UpdateAllViews();
}

// ---------------------------------------------------------------------------------------
// The changes of the loaded pair

void CCladoramaDoc::FindChanges(bool makeList) {
    m_partners.prepare(m_tree1, m_tree2);
    m_changesSteps.store(1, std::memory_order_relaxed);
    cancellationPoint();
    // Those kept beside the tree files (or found by the build just made) are taken as they are.
    if (m_partners.hasRelations) {
        m_relations = std::move(m_partners.relations);
        m_partners.relations = TaxonRelations();
        m_partners.hasRelations = false;
    } else {
        m_relations = relateLoadedTrees(m_tree1, m_tree2, speciesPairsOf(m_partners.pairs));
    }
    m_changesSteps.store(2, std::memory_order_relaxed);
    cancellationPoint();
    m_madeChanges.fill(m_tree1, m_tree2, m_partners.pairs, m_relations);
    // On the worker the rows are made here, not when the panel first asks; a caller on the
    // command line that wants no list does not wait for one.
    if (makeList) m_madeChanges.rows();
    m_changesSteps.store(3, std::memory_order_relaxed);
}

void CCladoramaDoc::TakeChanges() {
    m_changes.adopt(std::move(m_madeChanges));
    m_changesState = ChangesState::Ready;
    // The worker's console lines come now, after every line of the load.
    if (!m_partners.notice().empty()) consolePrintf("%s", m_partners.notice().c_str());
    if (m_pFramework) m_pFramework->ChangesUpdated();
}

void CCladoramaDoc::StartFindingChanges() {
    if (m_changesState != ChangesState::Waiting) return;
    m_changesState = ChangesState::Finding;
    m_changesSteps.store(0, std::memory_order_relaxed);
    if (m_pFramework) m_pFramework->ChangesUpdated();
    m_finding.start([this] { FindChanges(true); },
                    [this] {
                        if (m_pFramework) m_pFramework->ChangesFound();
                    });
}

bool CCladoramaDoc::FindChangesNow() {
    switch (m_changesState) {
        case ChangesState::None: return false;
        case ChangesState::Ready: return true;
        case ChangesState::Waiting:
            m_changesState = ChangesState::Finding;
            FindChanges(false);
            break;
        case ChangesState::Finding:
            m_finding.wait();
            if (const std::exception_ptr failure = m_finding.failure()) {
                m_changesState = ChangesState::None;
                std::rethrow_exception(failure);
            }
            break;
    }
    TakeChanges();
    return true;
}

bool CCladoramaDoc::FindPartnersNow() {
    if (m_changesState == ChangesState::Waiting) {
        m_partners.prepare(m_tree1, m_tree2);
        return true;
    }
    return FindChangesNow();
}

void CCladoramaDoc::CollectChanges() {
    // A notice can come after its work was called off and another began: only the work of
    // the pair loaded now, ended, is taken.
    if (m_changesState != ChangesState::Finding || !m_finding.ended()) return;
    m_finding.wait();
    if (const std::exception_ptr failure = m_finding.failure()) {
        m_changesState = ChangesState::None;
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            diagnostic("Finding the changes has been failed: %s", e.what());
        }
        if (m_pFramework) m_pFramework->ChangesUpdated();
        return;
    }
    TakeChanges();
}

void CCladoramaDoc::StopFindingChanges() {
    m_finding.cancel();
    m_madeChanges.clear();
    if (m_changesState == ChangesState::Finding) m_changesState = ChangesState::None;
}
