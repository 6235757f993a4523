// The two-hierarchy document: both trees, the cross-tree name lists, search.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "BackgroundWork.h"
#include "ChangeList.h"
#include "NodeListDlg.h"
#include "FileResult.h"
#include "Import.h"
#include "Partners.h"
#include "TaxonRelations.h"
#include "TreeNode.h"

class CSearchBar;
class CCladoramaView;

// A searchable name: a copy of a Latin or common name and the node it names. The copy
// lives in the document's name pool (`CCladoramaDoc::m_searchNamePool`), which owns it:
// every load copies millions of names, and carving them out of large blocks instead of
// one allocation each saves both time and tens of bytes per name.
struct SearchEntry {
    char* name = nullptr;  // owned by the document's pool
    TreeNode* node = nullptr;
};

// Zero-terminated copies carved out of large blocks, all freed together.
class NamePool {
public:
    char* copy(const char* text);
    // Takes over the blocks of `other` (filled on another thread), which is left empty.
    void adopt(NamePool&& other);
    void clear();

private:
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;
    size_t m_left = 0;
};

// What the document needs of the window system. The desktop shell implements it; the
// command-line tool and the tests use their own. With no framework attached the document
// works silently: no views, no message boxes, no dialogs.
class DocFramework {
public:
    virtual ~DocFramework() = default;
    // Every view of the document redraws (no sender, no hint).
    virtual void UpdateAllViews() = 0;
    // Message box with the application's name as caption and an OK button.
    virtual void MessageBox(const char* text) = 0;
    // File-open dialog: open mode, no default extension, initial name "*.jm2;*.xml".
    // Returns false when the user cancelled.
    virtual bool PromptForFile(std::string& path) = 0;
    // Asked after the file-open dialog when `path` is a taxonomy with a subtree to choose
    // (a taxdump, an Open Tree taxonomy): `root` is the name or identifier of the taxon whose
    // subtree to show, empty for the whole tree. False when the user cancelled. By default
    // the whole tree, unasked.
    virtual bool PromptForRoot(const std::string& /*path*/, std::string& root) {
        root.clear();
        return true;
    }
    // The search bar's slider range, redrawing the slider.
    virtual void SetSliderRange(int minimum, int maximum) = 0;
    // A new node list dialog object without a window (the shell's subclass has one).
    virtual std::unique_ptr<CNodeListDlg> NewNodeListDlg() = 0;
    // Both trees have just been replaced by the reload command. Every view must drop its
    // pointers into the old hierarchies now (focus, picked and hover nodes go to the
    // roots): the old nodes are freed as soon as this returns.
    virtual void TreesReplaced() = 0;
    // The document's title changed.
    virtual void TitleChanged(const char* title) = 0;
    // The search bar's buttons show what the view has just changed: Zoom Link checked or
    // not, and which overview style (1 boxes, 0 lines) is on. Without a search bar these
    // do nothing.
    virtual void CheckZoomLinkButton(bool /*checked*/) {}
    // A file of a pair could not be read: `boxText` says which and why, in a message box
    // by default. The document has written the failure's line to the console's error
    // stream already, so a shell without boxes (the command line) does nothing here.
    virtual void ReadFailed(const std::string& boxText, const Failure& /*failure*/) {
        MessageBox(boxText.c_str());
    }
    // Two files were opened and compared: the pair can be offered for reopening.
    virtual void PairOpened(const std::string& /*path1*/, const std::string& /*path2*/) {}
    virtual void CheckStyleButtons(int /*overviewStyle*/) {}
    // The changes of the pair loaded are found: called on the thread that found them. The
    // shell has its own thread call the document's CollectChanges() (a queued call); a
    // notice of an earlier load's work that comes late finds nothing to collect.
    virtual void ChangesFound() {}
    // Where the changes stand has changed (being found, ready, failed): panels that show them
    // show it. Called on the document's thread.
    virtual void ChangesUpdated() {}
};

// Where the changes of the loaded pair (partners of renamed taxa, relations of higher taxa,
// the list of changes) stand. A load draws its first frame without them; they are found
// afterwards, on a worker, or at once for a caller that wants them now.
enum class ChangesState : uint8_t {
    None,     // no pair loaded
    Waiting,  // loaded; nobody asked for them yet
    Finding,  // being found on the worker
    Ready,    // m_partners, m_relations and m_changes hold them
};

// How the start-up pipeline fills the trees: from the classification files, writing the
// binary tree files, or from those binary tree files.
enum class LoadMode { Build, Binary };
constexpr LoadMode kStartupLoadMode = LoadMode::Binary;

constexpr const char* kClassificationFile1 = "classif_A_03-01-31.xml";
constexpr const char* kClassificationFile2 = "classif_B_03-01-31.xml";
constexpr const char* kTreeFile1 = "T1.jm2";
constexpr const char* kTreeFile2 = "T2.jm2";

// Steps of the build chain that follow the reading of two classification files: rank
// census and depth, both comparisons, descendant counts, both grafts, the Latin-name
// order of every sibling list, the combined counts, numbering and the circle layout,
// with their console lines. Sets the trees' ids to 1 and 2. Writes no file.
void buildCombinedTrees(ClassificationTree& tree1, ClassificationTree& tree2);

// Fills `latinIndex` with every node and `commonIndex` with every node that has a common
// name, depth first, as the binary reader does: a tree built in memory then searches
// exactly like the same tree written and read back.
void fillNameIndexes(ClassificationTree& tree);

// Merges two common-name indexes, each sorted by common name, into one list in
// common-name order; a name found in both yields only the entry of `first`.
std::vector<TreeNode*> mergeCommonIndexes(const std::vector<TreeNode*>& first,
                                          const std::vector<TreeNode*>& second);

class CCladoramaDoc {
public:
    ClassificationTree m_tree1;
    ClassificationTree m_tree2;
    CSearchBar* m_pSearchBar = nullptr;  // not owned; set by the main frame when shown
    CCladoramaView* m_pView = nullptr;   // not owned; set by the view when shown
    std::unique_ptr<CNodeListDlg> m_pNodeListDlg;
    bool m_bNodeSelected = false;
    std::vector<TreeNode*> m_combinedByCommon;  // not owning
    std::vector<SearchEntry> m_searchNames;
    NamePool m_searchNamePool;                  // the names of m_searchNames
    std::vector<TreeNode*> m_searchResults;     // not owning
    // Of the higher taxa, and every change listed: filled when the changes are Ready (see
    // ChangesState); empty until then.
    TaxonRelations m_relations;
    ChangeList m_changes;

    DocFramework* m_pFramework = nullptr;       // not owned
    std::string m_strTitle;

    explicit CCladoramaDoc(DocFramework* framework = nullptr);
    ~CCladoramaDoc();
    CCladoramaDoc(const CCladoramaDoc&) = delete;
    CCladoramaDoc& operator=(const CCladoramaDoc&) = delete;

    bool OnNewDocument();
    // The start-up pipeline in the mode the program is built with.
    void LoadHierarchies() { LoadHierarchiesIn<kStartupLoadMode>(); }
    // The pipeline in either mode. Returns false when it stopped on a file that could not
    // be read (after its console line), true when it ran through the common tail.
    template <LoadMode Mode>
    bool LoadHierarchiesIn();
    // File Open: reloads both trees from two chosen files (first tree 1's, then tree
    // 2's). A cancel at either dialog changes nothing.
    void OnFileOpen();
    // Reads two files of any kind the program opens into fresh trees: two tree files as
    // they are, any other pair through the combining chain in memory. Only when both
    // succeeded do they replace the document's trees: the framework's TreesReplaced() runs
    // while the old nodes are still alive, then they are freed and the common tail runs
    // again; the last search results are dropped. On failure a message box names the file
    // and the document keeps what it had. Returns true on success (before "Tree Loaded!",
    // which is the caller's).
    bool ReloadTrees(const std::string& path1, const std::string& path2);
    // Build mode on two files of any kind: reads them into the (empty) trees, combines
    // them and writes T1.jm2 and T2.jm2 into `outputDir` (the current folder if empty;
    // made if missing),
    // with the console lines of build mode; then the common tail. False after a console
    // line when a file could not be read or written.
    bool BuildTreeFiles(const std::string& path1, const std::string& path2,
                        const std::string& outputDir);
    // Whether two imported checklists leave out the levels of ranks only one of them uses
    // (on unless asked to keep every level).
    bool m_alignRanks = true;
    // The ranks one imported checklist alone used, left out of the last pair read so that
    // like is compared with like, with the taxa each held.
    std::vector<RankLeftOut> m_ranksLeftOut;
    // How tables, archives and packages are read (the common-name, identifier and
    // authorship columns).
    ImportOptions m_importOptions;
    // The subtrees asked for in File > Open for the pair being opened, by tree; empty: the
    // root of m_importOptions.
    std::string m_openRoots[2];
    // The partners of renamed taxa of the two trees, found with the changes. Read them only
    // when the changes are Ready, or after FindPartnersNow(): until then the worker owns them.
    DocPartners m_partners;

    ChangesState Changes() const { return m_changesState; }
    bool ChangesReady() const { return m_changesState == ChangesState::Ready; }
    // Starts finding the changes of the loaded pair on the worker, when nobody did yet: the
    // shell calls it once the first frame of a load is on screen.
    void StartFindingChanges();
    // The changes, now: finds them on this thread when nobody started them, else waits for
    // the worker and collects. True when they are Ready (false without a loaded pair).
    // Rethrows what finding them threw.
    bool FindChangesNow();
    // Only the partners, now, for a caller that wants no more (cladorama-cli diff): found on
    // this thread unless the changes are being found or ready. True when they are there.
    bool FindPartnersNow();
    // The worker has found them (its framework notice): takes them in, prints the worker's
    // console lines and updates the views. Does nothing when the work that ended is not that
    // of the pair loaded now.
    void CollectChanges();
    // Calls off finding them (a new load, the end of the program): returns within a tenth
    // of a second, and nothing found for this pair ever reaches another.
    void StopFindingChanges();
    // While Finding: the steps done of ChangeSteps (partners, relations, the list).
    int ChangesStepsDone() const { return m_changesSteps.load(std::memory_order_relaxed); }
    static constexpr int kChangeSteps = 3;
    // Sorting of the indexes, the merged common-name list, the searchable names, the
    // update of all views and the slider range: how every load ends.
    void RunCommonTail();
    // Finds every node whose name contains `text` (mode 0 Latin, 1 common, else both).
    // With `matchable` false the text is one no name can hold (typed with a character the
    // names' encoding lacks): nothing matches, with all that a search without a match shows.
    void Search(int mode, const char* text, bool matchable = true);
    // The framework's save hook. The document has nothing of its own to save (its trees
    // live in the tree files that build mode writes), so File Save (Ctrl+S) in the shell
    // writes an empty file and this writes nothing; it stands as the hook of the
    // framework's document interface, which the shell's Save As follows.
    void Serialize() {}

    void UpdateAllViews();
    void MessageBox(const char* text);
    void SetTitle(const char* title);

private:
    // Reads a pair of files of any kinds into `tree1` and `tree2` (fresh) and combines
    // them unless both are tree files. A failure is one line on standard error naming the
    // file, the place and the fault; with `report` (a reload) the framework shows it too.
    // Without (building) build mode's "Tree N is loading..." lines come first.
    bool ReadTreePair(ClassificationTree& tree1, ClassificationTree& tree2,
                      const std::string& path1, const std::string& path2, bool report,
                      DocPartners& partners);
    // A file of a pair failed: its one line on standard error, and with `report` the box.
    void TellReadFailure(const std::string& boxText, const Failure& failure, bool report);
    // What the worker does: the partners, the relations, and the list of changes into
    // m_madeChanges (its rows made at once with `makeList`, else when first asked for).
    // Passes cancellation points.
    void FindChanges(bool makeList);
    // Takes what FindChanges made: the list, the console lines; Ready.
    void TakeChanges();

    ChangesState m_changesState = ChangesState::None;
    std::atomic<int> m_changesSteps{0};
    ChangeList m_madeChanges;  // the worker's, until taken
    BackgroundWork m_finding;  // last: called off before anything it uses goes
};

extern template bool CCladoramaDoc::LoadHierarchiesIn<LoadMode::Build>();
extern template bool CCladoramaDoc::LoadHierarchiesIn<LoadMode::Binary>();
