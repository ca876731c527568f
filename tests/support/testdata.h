#pragma once

#include <string>

namespace kalvora::test {

/** Folder of the shared flight recordings; empty when it is absent. */
std::string testdataDir();

/** Full path of ../shared/testdata/igc/NAME; empty when the folder is absent. */
std::string igcPath(const std::string& name);

/** The whole file as bytes; empty when it cannot be read. */
std::string readFile(const std::string& path);

} // namespace kalvora::test

/** Skips the current test with a clear message when the shared recordings are absent. */
#define KALVORA_REQUIRE_TESTDATA()                                                                 \
    do {                                                                                           \
        if (::kalvora::test::testdataDir().empty())                                                \
            GTEST_SKIP() << "shared/testdata not found beside the project; skipping";              \
    } while (0)
