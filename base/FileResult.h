// What reading or writing a file came to: done, or the one failure that stopped it. Every
// reader and writer hands this back as a value; the caller decides where the failure is
// told (a line on standard error, a message box, both), and tells it once.
#pragma once

#include <string>
#include <utility>

// Where a file failed and why.
struct Failure {
    std::string file;   // as the user named it (or the label standing for it)
    std::string place;  // "byte 12", "line 3", "entry Taxon.tsv"; empty for the file as a whole
    std::string fault;  // what was expected there, or what went wrong
    // The line a user is shown, when the reader words it its own way; empty: line() makes it.
    std::string wording;
    // The wording, else "FILE: PLACE: FAULT" ("FILE: FAULT" without a place).
    std::string line() const;
};

class [[nodiscard]] FileResult {
public:
    FileResult() = default;  // done
    FileResult(Failure failure) : m_failed(true), m_failure(std::move(failure)) {}
    static FileResult failed(std::string file, std::string place, std::string fault) {
        return Failure{std::move(file), std::move(place), std::move(fault), {}};
    }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return !m_failed; }
    const Failure& failure() const { return m_failure; }

private:
    bool m_failed = false;
    Failure m_failure;
};

// "byte N", "line N": the places of most failures.
std::string bytePlace(size_t offset);
std::string linePlace(size_t line);

// The failure's line on standard error (and wherever the console is shown), as a
// diagnostic: nothing for an outcome that is done. Returns `outcome.ok()`.
bool reportFailure(const FileResult& outcome);
