#include "ConceptRelationFile.h"

#include <iconv.h>

#include "ReplaceFile.h"

const char* conceptRelationType(Relation relation) {
    switch (relation) {
        case Relation::Equal: return "equals";
        case Relation::Within: return "included in";
        case Relation::Contains: return "includes";
        case Relation::Overlap: return "overlaps";
        default: return "";
    }
}

namespace {

// Names are ISO-8859-1 bytes; the package's files are UTF-8. A tab or a line break would end
// the field, and the format has no quoting: they become blanks.
class FieldWriter {
public:
    FieldWriter() : m_cd(iconv_open("UTF-8", "ISO-8859-1")) {}
    ~FieldWriter() {
        if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd);
    }
    FieldWriter(const FieldWriter&) = delete;
    FieldWriter& operator=(const FieldWriter&) = delete;

    void append(std::string& out, const std::string& latin1) {
        std::string in = latin1;
        for (char& ch : in)
            if (ch == '\t' || ch == '\n' || ch == '\r') ch = ' ';
        const size_t at = out.size();
        out.resize(at + 2 * in.size());  // every byte takes at most two in UTF-8
        char* src = in.data();
        size_t srcLeft = in.size();
        char* dst = out.data() + at;
        size_t dstLeft = 2 * in.size();
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
        out.resize(out.size() - dstLeft);
    }

private:
    iconv_t m_cd;
};

}  // namespace

bool writeConceptRelations(const std::string& path, const TaxonRelations& relations,
                           const TaxonIdentifier& identifier1, const TaxonIdentifier& identifier2,
                           int rank) {
    FieldWriter fields;
    std::string text = "taxonID\trelatedTaxonID\tsourceID\ttype\treferenceID\tremarks\n";
    auto id = [](const TaxonIdentifier& f, const TreeNode& taxon) {
        std::string s = f ? f(taxon) : std::string();
        return s.empty() ? std::string(taxon.latinName) : s;
    };
    for (const TaxonRelation& r : relations.relations()) {
        if (r.relation == Relation::Unrelated || (rank >= 0 && static_cast<int>(r.rank) != rank)) continue;
        fields.append(text, id(identifier1, *r.taxon1));
        text += '\t';
        fields.append(text, id(identifier2, *r.taxon2));
        text += "\t\t";
        text += conceptRelationType(r.relation);
        text += "\t\t";
        fields.append(text, relations.ranks()[r.rank] + " " + r.taxon1->latinName + " " +
                                relationSymbol(r.relation) + " " + r.taxon2->latinName + ": " +
                                std::to_string(r.shared) + " species shared of " +
                                std::to_string(r.species1) + " and " + std::to_string(r.species2));
        text += '\n';
    }
    return replaceFileWith(path, text);
}
