// Where the progress bar stands while each of the eleven commands runs, written out by hand from
// what the installation is meant to show (never read from its rows); after the last it is at 100.
// Host and window tests share it.
#pragma once

#include <vector>

namespace expected {

inline const std::vector<int> kBarWhileRunning{2, 6, 18, 22, 27, 39, 48, 60, 72, 81, 90};
inline constexpr int kBarAtEnd = 100;

}  // namespace expected
