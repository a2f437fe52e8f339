// The popup's bar within a file's step and the fitting of its status text,
// kept free of <windows.h> so they can be compiled natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

// The ANSI message buffer, terminator included.
constexpr std::size_t kPopupMessageBufferSize = 256;

// Length, in UTF-16 units, of the longest prefix of text whose converted form
// takes at most maxBytes, as measured by bytesOf. The prefix never ends
// between the two halves of a surrogate pair, so a cut never splits a
// character. bytesOf must grow with the prefix and give every character one
// byte at least, as a conversion to any code page does.
std::size_t FittingPrefixLength(std::wstring_view text, std::size_t maxBytes,
                                const std::function<std::size_t(std::wstring_view)>& bytesOf);

// The bar within one file's step while it downloads, from the percentage
// shown before it to its own: in proportion to the bytes received of the
// expected total, and at the step's start while the total is not known.
int StepPercent(int from, int to, std::uint64_t received, std::uint64_t expected);
