// The required runtime files and the figures shown while fetching them, kept
// free of <windows.h> so they can be compiled natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The eight runtime files of the game for a 64-bit or a 32-bit system.
std::vector<std::wstring> RequiredSystemFiles(bool native64Bit);

// The part after the last backslash or slash; the whole entry without one.
std::wstring DisplayName(const std::wstring& entry);

// The entry up to its last backslash or slash; empty when it holds neither.
std::wstring DirectoryOf(const std::wstring& entry);

// Popup percentage while fetching missing file i (from 0) of n: 10..90.
int DownloadPercent(std::size_t i, std::size_t n);

// The bar within one file's step, from the percentage shown before it (10
// for the first) to its own: in proportion to the bytes received of the
// expected total, and at the step's start while the total is not known.
int StepPercent(int from, int to, std::uint64_t received, std::uint64_t expected);
