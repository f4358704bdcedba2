#pragma once
// The kind of error a call raises, so that a table of failing inputs reads one line each.

#include "platform/CoreError.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

// The kind of the CoreError `f` throws (whose description must say something), or nothing when
// it throws none.
template <class F> std::optional<ErrorKind> ErrorOf(F&& f, std::string* description = nullptr) {
    try {
        f();
    } catch (const CoreError& e) {
        EXPECT_FALSE(e.Description().empty());
        if (description) *description = e.Description();
        return e.Kind();
    }
    return std::nullopt;
}
