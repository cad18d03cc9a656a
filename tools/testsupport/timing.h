// Figures for the benchmarks that run as tests.
#pragma once

#include <chrono>
#include <vector>

namespace testsupport {

double Milliseconds(std::chrono::steady_clock::duration duration);
// The middle value: one slow run on a loaded machine does not move it.
double Median(std::vector<double> values);

} // namespace testsupport
