#include "FileResult.h"

#include "Console.h"

std::string Failure::line() const {
    if (!wording.empty()) return wording;
    std::string text = file;
    if (!place.empty()) text += ": " + place;
    text += ": " + fault;
    return text;
}

std::string bytePlace(size_t offset) { return "byte " + std::to_string(offset); }
std::string linePlace(size_t line) { return "line " + std::to_string(line); }

bool reportFailure(const FileResult& outcome) {
    if (outcome.ok()) return true;
    diagnostic("%s", outcome.failure().line().c_str());
    return false;
}
