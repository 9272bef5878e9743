// The window logic wired to a fake view and a fake library.
#ifndef KESTRO_UTILITY_TESTS_FORM1_FIXTURE_H
#define KESTRO_UTILITY_TESTS_FORM1_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../logic/form1_logic.h"
#include "fake_library.h"
#include "fake_view.h"

namespace kestro::testing {

class Form1Test : public ::testing::Test {
  protected:
    // Starts the program with the reader in the mode of pid (none: no reader).
    void Start(std::optional<int32_t> pid) {
        library.reader_pid = pid;
        logic.Form_Load();
    }

    const std::vector<std::string>& Log() { return view.at(ctl::lstResults).items; }
    ControlState& At(const Control& c) { return view.at(c); }

    // The trace without the given entries.
    std::vector<std::string> TraceWithout(const std::string& skipped) const {
        std::vector<std::string> kept;
        std::copy_if(trace.begin(), trace.end(), std::back_inserter(kept),
                     [&](const std::string& entry) { return entry != skipped; });
        return kept;
    }

    Trace trace;
    FakeView view{trace};
    FakeLibrary library{trace};
    Form1Logic logic{view, library};
};

}  // namespace kestro::testing

#endif
