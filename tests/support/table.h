#pragma once

// Table-driven checks: rows of {input, expected} and one function under
// test, each failure naming the row it came from.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fw::test_support {

inline std::string show(std::u16string_view s) { return testing::PrintToString(std::u16string(s)); }
template <class T>
std::string show(const T& v) {
  return testing::PrintToString(v);
}

template <class In, class Out = In>
using Rows = std::vector<std::pair<In, Out>>;
using TextRows = Rows<std::u16string_view>;

// EXPECT_EQ(f(in), expected) for every row.
template <class F, class In, class Out>
void expectRows(F&& f, const Rows<In, Out>& rows) {
  for (const auto& [in, expected] : rows) {
    SCOPED_TRACE(show(in));
    EXPECT_EQ(f(in), expected);
  }
}

}  // namespace fw::test_support
