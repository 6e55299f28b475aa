// A test program that includes this reads the program's Chinese source texts,
// whatever the user's language: no language setting reaches the code under
// test, in-process or in a program it starts.
#pragma once

#include <cstdlib>
#include <gtest/gtest.h>

class SourceTextsEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
#ifndef _WIN32
        // (On Windows the language is the system's setting: tools/windows.sh
        // runs the tests with a Chinese one.)
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            ::unsetenv(name);
        ::setenv("LANG", "zh_CN.UTF-8", 1);
#endif
    }
};

inline const auto* const kSourceTexts =
    ::testing::AddGlobalTestEnvironment(new SourceTextsEnvironment);
