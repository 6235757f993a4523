#include "TermAliases.h"

#include <utility>

namespace imp {

namespace {

// Older term -> today's, in headerKey form: the terms of the Darwin Core of 2009 and before
// (higherTaxonID, acceptedTaxonID, basionymID), and the names other tools write for them,
// as the GBIF normaliser reads them.
constexpr std::pair<const char*, const char*> kAliases[] = {
    {"nameusageid", "taxonid"},
    {"highertaxonid", "parentnameusageid"},
    {"highernameusageid", "parentnameusageid"},
    {"parenttaxonid", "parentnameusageid"},
    {"acceptedtaxonid", "acceptednameusageid"},
    {"basionymid", "originalnameusageid"},
    {"originalnameid", "originalnameusageid"},
    {"highertaxon", "parentnameusage"},
    {"highernameusage", "parentnameusage"},
    {"parenttaxon", "parentnameusage"},
    {"acceptedtaxon", "acceptednameusage"},
    {"basionym", "originalnameusage"},
    {"originalname", "originalnameusage"},
    {"originaltaxon", "originalnameusage"},
    {"rank", "taxonrank"},
    {"taxonremark", "taxonremarks"},
};

}  // namespace

const char* currentTerm(std::string_view key) {
    for (const auto& [older, current] : kAliases)
        if (key == older) return current;
    return nullptr;
}

}  // namespace imp
