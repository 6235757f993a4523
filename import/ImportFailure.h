// How the importers fail: one failure per reading, handed back as a value.
#pragma once

#include <string>

#include "FileResult.h"

namespace imp {

// Every failure of the importers goes through here: the file (or the label standing for
// it), the place in it ("line 3", "byte 0", empty for the file as a whole) and the fault.
// Within a FailureCatch on this thread the first failure is kept for the catch's owner to
// hand back; without one (the importers' parts called on their own, as tests and fuzz
// targets do) it is one line on standard error. Nothing at all once the mapped file being
// read on this thread has shrunk (see FileReading): what was made of the zeros then read is
// not worth a word; the reading ends with the one failure that says the file changed.
void importFailure(const std::string& file, std::string place, std::string fault);

// Collects the failure of the importing that runs on this thread while it lives: the
// importers' entry points hand back their failure as a value rather than print it.
class FailureCatch {
public:
    FailureCatch();
    ~FailureCatch();
    FailureCatch(const FailureCatch&) = delete;
    FailureCatch& operator=(const FailureCatch&) = delete;
    // Keeps `failure` unless one is kept already and `overrule` is off.
    void keep(Failure failure, bool overrule);
    // The outcome of an importing that returned `ok`, of the file named `label`.
    FileResult result(bool ok, const std::string& label) const;

private:
    FailureCatch* m_outer;
    bool m_failed = false;
    Failure m_failure;
};

}  // namespace imp
