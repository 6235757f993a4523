#include "TestSupport.h"

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <vector>

#include "Console.h"

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "cladorama-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    std::string p = file(name);
    std::ofstream out(p, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
}

ConsoleCapture::ConsoleCapture() {
    m_stream = open_memstream(&m_buffer, &m_size);
    m_previous = consoleStream();
    setConsoleStream(m_stream);
}

ConsoleCapture::~ConsoleCapture() {
    setConsoleStream(m_previous == stdout ? nullptr : m_previous);
    std::fclose(m_stream);
    std::free(m_buffer);
}

std::string ConsoleCapture::text() {
    std::fflush(m_stream);
    return std::string(m_buffer, m_size);
}

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
    rlimit now{};
    getrlimit(RLIMIT_FSIZE, &now);
    m_soft = now.rlim_cur;
    m_hard = now.rlim_max;
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    now.rlim_cur = std::min<rlim_t>(bytes, now.rlim_max);
    setrlimit(RLIMIT_FSIZE, &now);
}

FileSizeLimit::~FileSizeLimit() {
    const rlimit was{m_soft, m_hard};
    setrlimit(RLIMIT_FSIZE, &was);
    std::signal(SIGXFSZ, m_handler);
}

std::string fileNamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& n : names) joined += (joined.empty() ? "" : " ") + n;
    return joined;
}

bool displayRequired() {
    const char* v = std::getenv("CLADORAMA_REQUIRE_DISPLAY");
    return v && *v && std::string(v) != "0";
}

std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string sourcePath(const std::string& relative) {
    return std::string(CLADORAMA_SOURCE_DIR) + "/" + relative;
}

// Mind the odd channels: Subphylum has 101, 101 and Species green 103; Subtribe and
// Subgenus differ only in blue.
const RankColourEntry kRankColours[20] = {
    {"Kingdom", {240, 194, 57}},    {"Phylum", {204, 51, 51}},      {"Subphylum", {255, 101, 101}},
    {"Superclass", {255, 153, 204}}, {"Class", {204, 51, 204}},      {"Subclass", {255, 102, 255}},
    {"Infraclass", {204, 153, 255}}, {"Superorder", {0, 102, 204}},  {"Order", {102, 153, 204}},
    {"Suborder", {0, 153, 153}},     {"Infraorder", {102, 204, 204}}, {"Superfamily", {51, 204, 153}},
    {"Family", {153, 204, 153}},     {"Subfamily", {0, 153, 51}},    {"Tribe", {102, 204, 102}},
    {"Subtribe", {204, 204, 153}},   {"Genus", {153, 153, 51}},      {"Subgenus", {204, 204, 102}},
    {"Species", {255, 103, 51}},     {"Subspecies", {255, 153, 102}},
};

std::array<int, 3> rankColourOf(const char* rank) {
    for (const RankColourEntry& e : kRankColours)
        if (std::strcmp(e.rank, rank) == 0) return e.rgb;
    return {0, 0, 0};
}

TreeNode* addNode(TreeNode* parent, const char* latin, const char* rank, const char* common) {
    auto* n = new TreeNode;
    n->latinName = newName(latin);
    n->commonName = newName(common);
    n->rankName = newName(rank);
    applyRankColor(*n);
    n->level = parent->level + 1;
    parent->addChild(n);
    return n;
}

void nameRoot(ClassificationTree& tree, const char* latin, const char* rank, const char* common) {
    tree.latinName = newName(latin);
    tree.commonName = newName(common);
    tree.rankName = newName(rank);
    applyRankColor(tree);
}

std::string childNames(const TreeNode* node) {
    std::string s;
    for (const TreeNode* c : node->children) {
        if (!s.empty()) s += ",";
        s += c->latinName;
    }
    return s;
}

std::string maskProgress(const std::string& console) {
    static const std::regex progress("^[0-9]+\\.[0-9]{6} % loading$");
    std::istringstream in(console);
    std::string line, out;
    while (std::getline(in, line)) {
        out += std::regex_match(line, progress) ? "<progress>" : line;
        out += "\n";
    }
    return out;
}

namespace {

std::string entry(const char* tag, const char* latin, const char* common, const char* rank) {
    std::string s = std::string(tag) + "\n";
    s += "  <attr name=\"latin\" value=\"" + std::string(latin) + "\"/>\n";
    s += "  <attr name=\"common\" value=\"" + std::string(common) + "\"/>\n";
    s += "  <attr name=\"rank\" value=\"" + std::string(rank) + "\"/>\n";
    if (std::string(tag) == "<leaf>") s += "</leaf>\n";
    return s;
}

}  // namespace

std::string carnivoraClassificationA() {
    return "<?xml version=\"1.0\"?>\n" + entry("<branch>", "Carnivora", "carnivores", "Order") +
           entry("<branch>", "Felidae", "cats", "Family") +
           entry("<leaf>", "Felis", "small cats", "Genus") +
           entry("<leaf>", "Panthera", "big cats", "Genus") + "</branch>\n" +
           entry("<leaf>", "Canidae", "dogs", "Family") + "</branch>\n";
}

std::string carnivoraClassificationB() {
    return "<?xml version=\"1.0\"?>\n" + entry("<branch>", "Carnivora", "carnivores", "Order") +
           entry("<branch>", "Felidae", "cats", "Family") +
           entry("<leaf>", "Felis", "small cats", "Genus") + "</branch>\n" +
           entry("<leaf>", "Hyaenidae", "hyaenas", "Family") + "</branch>\n";
}

const char* const kCarnivoraBuildConsole =
    "Tree 1 is loading... \n<progress>\n<progress>\n"
    "Tree 2 is loading... \n<progress>\n<progress>\n"
    "Get number of each rank for tree... \n"
    "Order : 1 \nFamily : 2 \nGenus : 2 \n"
    "Order : 1 \nFamily : 2 \nGenus : 1 \n"
    "Compare trees - assign color to nodes...\n"
    "Load number of children down the tree of each node.... \n"
    "Load number of children down the combined tree of each node.... \n"
    "Load node position.... \n"
    "Set node position for overview tree.... \n"
    "Write trees to binary files.... \n";

std::string changedChecklistA() {
    return "Family,Genus,sciName\n"
           "Felidae,Felis,Felis_catus\nFelidae,Felis,Felis_silvestris\n"
           "Felidae,Felis,Felis_lybica\nFelidae,Lynx,Lynx_lynx\nFelidae,Lynx,Lynx_pardinus\n"
           "Canidae,Canis,Canis_lupus\nCanidae,Cuon,Cuon_alpinus\n"
           "Viverridae,Genetta,Genetta_genetta\nHerpestidae,Herpestes,Herpestes_edwardsii\n";
}

std::string changedChecklistB() {
    return "Family,Genus,sciName\n"
           "Felidae,Felis,Felis_catus\nFelidae,Felis,Felis_silvestris\n"
           "Felidae,Afrofelis,Felis_lybica\nFelidae,Lynx,Lynx_lynx\nFelidae,Puma,Puma_concolor\n"
           "Canidae,Canis,Canis_lupus\nCanidae,Canis,Cuon_alpinus\n"
           "Viverridae,Genetta,Genetta_genetta\nHerpestidae,Urva,Herpestes_edwardsii\n";
}
