// The tables of status and rank words that real checklists use.
#include "StatusWords.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "Console.h"
#include "NameCleaning.h"

namespace imp {

namespace {

// Status words in folded form. Accepted: the taxon is a taxon of the classification. Not
// accepted: its row names a synonym or a name the publisher does not place, so it is no
// taxon of the tree.
//
// Doubtful taxa are taxa: a publisher marks "doubtful" a taxon it keeps in its place in the
// classification while questioning it (GBIF's checklists treat it as accepted), and accepted
// taxa often hang under one; leaving it out would orphan them. Names of doubtful application
// ("nomen dubium", "taxon inquirendum") are placed nowhere and are left out. So are unplaced
// names: the publisher gives them no place in the classification, and hanging them somewhere
// would assert one. Their children, if any, hang under the root with a warning.
constexpr const char* kAcceptedWords[] = {
    "accepted", "acceptedname", "provisionallyaccepted", "provisionallyacceptedname",
    "valid", "validname", "current", "correct", "correctname", "temporaryname",
    "doubtful", "duvidoso", "dudoso", "zweifelhaft",
    // Portuguese, Spanish, French, German, Italian, Dutch
    "aceito", "nomeaceito", "nomevalido", "valido", "aceptado", "nombreaceptado",
    "nombrevalido", "accepte", "nomaccepte", "valide", "akzeptiert", "gultig",
    "akzeptierterName", "accettato", "geaccepteerd",
};
constexpr const char* kNotAcceptedWords[] = {
    "synonym", "heterotypicsynonym", "homotypicsynonym", "propartesynonym",
    "ambiguoussynonym", "objectivesynonym", "subjectivesynonym", "juniorsynonym",
    "seniorsynonym", "nomenclaturalsynonym", "taxonomicsynonym", "intermediateranksynonym",
    "synonymy", "synonyme", "sinonimo", "nomesinonimo", "sinonimoheterotipico",
    "sinonimohomotipico", "sinonimia", "sinonim", "synoniem",
    "misapplied", "misappliedname", "misapplication", "proparte",
    "invalid", "invalidname", "notaccepted", "unaccepted", "notvalid", "rejected",
    "illegitimate", "illegitimatename", "illegitimo", "nomeilegitimo", "invalido", "ilegitimo",
    "nomeninvalidum", "nomennudum", "nomenillegitimum", "nomenoblitum", "nomenrejiciendum",
    "barename", "excluded", "orthographicvariant", "misspelling", "homonym",
    // another spelling or combination of an accepted taxon listed beside it (WoRMS)
    "alternaterepresentation",
    "dubious", "nomendubium", "taxoninquirendum", "uncertain", "unplaced", "unassessed",
    "unresolved",
};

// Rank words, folded when the table is made, with the known rank they stand for. Dots are
// kept: "f." is a form, a lone "f" is nobody knows what and stays as written.
constexpr std::pair<const char*, const char*> kRankWords[] = {
    // abbreviations of the botanical and zoological codes (the German one of species as
    // two literals, one text)
    {"sp.", "Species"}, {"S" "pec.", "Species"}, {"ssp.", "Subspecies"}, {"subsp.", "Subspecies"},
    {"subsp", "Subspecies"}, {"ssp", "Subspecies"}, {"var.", "Variety"}, {"var", "Variety"},
    {"subvar.", "Subvariety"}, {"f.", "Form"}, {"fo.", "Form"}, {"forma", "Form"},
    {"subf.", "Subform"}, {"gen.", "Genus"}, {"subgen.", "Subgenus"}, {"subg.", "Subgenus"},
    {"fam.", "Family"}, {"subfam.", "Subfamily"}, {"superfam.", "Superfamily"},
    {"trib.", "Tribe"}, {"subtrib.", "Subtribe"}, {"ord.", "Order"}, {"subord.", "Suborder"},
    {"cl.", "Class"}, {"subcl.", "Subclass"}, {"phyl.", "Phylum"}, {"regn.", "Kingdom"},
    {"sect.", "Section"}, {"subsect.", "Subsection"}, {"ser.", "Series"},
    {"subser.", "Subseries"}, {"agg.", "Species group"}, {"aggr.", "Species group"},
    {"div.", "Phylum"}, {"subdiv.", "Subphylum"},
    // a domain (GTDB's d__, NCBI's newer word) is the rank NCBI long called superkingdom
    {"domain", "Superkingdom"},
    // the three-letter codes of the German standard lists of plants and other organisms
    // (an aggregate, a "Sammelgruppe": a group of species named as one)
    {"rei", "Kingdom"}, {"abt", "Phylum"}, {"uab", "Subphylum"}, {"kla", "Class"},
    {"ukl", "Subclass"}, {"ord", "Order"}, {"uor", "Suborder"}, {"fam", "Family"},
    {"ufa", "Subfamily"}, {"tri", "Tribe"}, {"utr", "Subtribe"}, {"gat", "Genus"},
    {"sge", "Subgenus"}, {"sec", "Section"}, {"sse", "Subsection"}, {"ser", "Series"},
    {"agg", "Species group"}, {"sgr", "Species group"}, {"spe", "Species"},
    {"ssp", "Subspecies"}, {"var", "Variety"}, {"for", "Form"},
    {"speciesgroup", "Species group"}, {"aggregate", "Species group"},
    // the botanical forms of names that zoology spells otherwise
    {"sectionbotany", "Section"}, {"subsectionbotany", "Subsection"},
    {"division", "Phylum"}, {"subdivision", "Subphylum"}, {"regnum", "Kingdom"},
    {"infraspecies", "Subspecies"}, {"infraspecificname", "Subspecies"},
    // Portuguese and Spanish
    {"reino", "Kingdom"}, {"filo", "Phylum"}, {"divisao", "Phylum"}, {"classe", "Class"},
    {"clase", "Class"}, {"subclasse", "Subclass"}, {"subclase", "Subclass"},
    {"ordem", "Order"}, {"orden", "Order"}, {"subordem", "Suborder"}, {"suborden", "Suborder"},
    {"superfamilia", "Superfamily"}, {"familia", "Family"}, {"subfamilia", "Subfamily"},
    {"tribo", "Tribe"}, {"tribu", "Tribe"}, {"subtribo", "Subtribe"}, {"genero", "Genus"},
    {"subgenero", "Subgenus"}, {"secao", "Section"}, {"seccion", "Section"},
    {"especie", "Species"}, {"subespecie", "Subspecies"}, {"variedade", "Variety"},
    {"variedad", "Variety"}, {"subvariedade", "Subvariety"}, {"forma", "Form"},
    {"subforma", "Subform"}, {"subsecao", "Subsection"}, {"subseccion", "Subsection"},
    {"subtribu", "Subtribe"}, {"dominio", "Domain"}, {"subreino", "Subkingdom"},
    {"subfilo", "Subphylum"}, {"subdivisao", "Subphylum"}, {"superclasse", "Superclass"},
    {"superclase", "Superclass"}, {"infraclasse", "Infraclass"}, {"infraclase", "Infraclass"},
    {"superordem", "Superorder"}, {"superorden", "Superorder"}, {"infraordem", "Infraorder"},
    {"infraorden", "Infraorder"}, {"serie", "Series"}, {"subserie", "Subseries"},
    {"subvariedad", "Subvariety"}, {"grupodeespecies", "Species group"},
    // German
    {"reich", "Kingdom"}, {"stamm", "Phylum"}, {"abteilung", "Phylum"}, {"klasse", "Class"},
    {"unterklasse", "Subclass"}, {"ordnung", "Order"}, {"unterordnung", "Suborder"},
    {"uberfamilie", "Superfamily"}, {"familie", "Family"}, {"unterfamilie", "Subfamily"},
    {"tribus", "Tribe"}, {"gattung", "Genus"}, {"untergattung", "Subgenus"},
    {"sektion", "Section"}, {"art", "Species"}, {"unterart", "Subspecies"},
    {"varietat", "Variety"}, {"domane", "Domain"}, {"unterreich", "Subkingdom"},
    {"unterstamm", "Subphylum"}, {"unterabteilung", "Subphylum"}, {"uberklasse", "Superclass"},
    {"uberordnung", "Superorder"}, {"teilordnung", "Infraorder"}, {"untertribus", "Subtribe"},
    {"untersektion", "Subsection"}, {"unterserie", "Subseries"}, {"untervarietat", "Subvariety"},
    {"unterform", "Subform"}, {"aggregat", "Species group"}, {"artengruppe", "Species group"},
    {"sammelart", "Species group"}, {"artenaggregat", "Species group"},
    // French and Italian
    {"regne", "Kingdom"}, {"embranchement", "Phylum"}, {"ordre", "Order"},
    {"famille", "Family"}, {"sousfamille", "Subfamily"}, {"genre", "Genus"},
    {"espece", "Species"}, {"sousespece", "Subspecies"}, {"varietee", "Variety"},
    {"variete", "Variety"}, {"sousvariete", "Subvariety"}, {"forme", "Form"},
    {"sousgenre", "Subgenus"}, {"sousordre", "Suborder"}, {"sousclasse", "Subclass"},
    {"superfamille", "Superfamily"}, {"soustribu", "Subtribe"}, {"domaine", "Domain"},
    {"sousregne", "Subkingdom"}, {"sousembranchement", "Subphylum"},
    {"superordre", "Superorder"}, {"infraordre", "Infraorder"}, {"soussection", "Subsection"},
    {"sousserie", "Subseries"}, {"sousforme", "Subform"}, {"groupedespeces", "Species group"},
    {"ordine", "Order"}, {"famiglia", "Family"}, {"sottofamiglia", "Subfamily"},
    {"specie", "Species"}, {"sottospecie", "Subspecies"},
};

constexpr const char* kRankPlaceholders[] = {
    "", "unranked", "norank", "notassigned", "unknown", "incertaesedis", "na", "-", "?",
    "semrank", "sinrango", "sinrank", "ohnerang", "other", "unspecified",
};

const std::unordered_map<std::string, NameStatus>& statusTable() {
    static const auto* table = [] {
        auto* t = new std::unordered_map<std::string, NameStatus>;
        for (const char* w : kAcceptedWords) t->emplace(foldWord(w), NameStatus::Accepted);
        for (const char* w : kNotAcceptedWords) t->emplace(foldWord(w), NameStatus::NotAccepted);
        return t;
    }();
    return *table;
}

// ISO-8859-1 letters 0xC0..0xFF without their accents, lower case; 0 where none.
constexpr char kPlainLatin1[65] =
    "aaaaaaaceeeeiiii" "dnooooo\0ouuuuyts"
    "aaaaaaaceeeeiiii" "dnooooo\0ouuuuyty";

}  // namespace

std::string foldWord(std::string_view written) {
    std::string latin;
    cleanName(written, latin);
    std::string key;
    key.reserve(latin.size());
    for (unsigned char c : latin) {
        if (c == ' ' || c == '_' || c == '-') continue;
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 0x20);
        if (c >= 0xC0) {
            char plain = kPlainLatin1[c - 0xC0];
            if (!plain) continue;
            c = static_cast<unsigned char>(plain);
        }
        key.push_back(static_cast<char>(c));
    }
    // a word that was only a hyphen or blanks stays what it was
    if (key.empty() && latin == "-") key = "-";
    return key;
}

NameStatus statusOf(std::string_view written) {
    std::string key = foldWord(written);
    if (key.empty()) return NameStatus::Accepted;
    auto it = statusTable().find(key);
    return it == statusTable().end() ? NameStatus::Unknown : it->second;
}

const char* rankAlias(std::string_view folded) {
    static const auto* table = [] {
        auto* t = new std::unordered_map<std::string, const char*>;
        for (const auto& [word, rank] : kRankWords) t->emplace(foldWord(word), rank);
        return t;
    }();
    auto it = table->find(std::string(folded));
    return it == table->end() ? nullptr : it->second;
}

bool isRankPlaceholder(std::string_view folded) {
    return std::any_of(std::begin(kRankPlaceholders), std::end(kRankPlaceholders),
                       [&](const char* p) { return folded == p; });
}

bool StatusTally::accepted(std::string_view written) {
    if (!m_haveLast || written != m_last) {
        m_haveLast = true;
        m_last.assign(written);
        m_lastStatus = statusOf(written);
    }
    if (m_lastStatus == NameStatus::Unknown) {
        std::string word;
        cleanName(written, word);
        ++m_unknown[word];
    }
    return m_lastStatus != NameStatus::NotAccepted;
}

void StatusTally::absorb(const StatusTally& later) {
    for (const auto& [word, rows] : later.m_unknown) m_unknown[word] += rows;
}

void StatusTally::report(const std::string& label) const {
    for (const auto& [word, rows] : m_unknown)
        consolePrintf("%s: status \"%s\" is not known, read as accepted (%zu rows)\n",
                      label.c_str(), word.c_str(), rows);
}

void RankTally::unknown(std::string_view written) {
    if (!m_lastRows || written != m_last) {
        m_last.assign(written);
        std::string word;
        cleanName(written, word);
        m_lastRows = &m_unknown[word];
    }
    ++*m_lastRows;
}

void RankTally::absorb(const RankTally& later) {
    for (const auto& [word, rows] : later.m_unknown) m_unknown[word] += rows;
    m_lastRows = nullptr;
}

void RankTally::report(const std::string& label) const {
    for (const auto& [word, rows] : m_unknown)
        consolePrintf("%s: rank \"%s\" is not known, kept as written (%zu rows)\n",
                      label.c_str(), word.c_str(), rows);
}

}  // namespace imp
