#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tidewire {

// A copy with the letters a to z made capitals; every other byte stays as it is.
[[nodiscard]] std::string UpperCopy(std::string_view text);

// The first `count` characters (the whole text when it is shorter).
[[nodiscard]] std::string LeftCopy(std::string_view text, std::size_t count);

// The text up to its last character in "!" (33) to "z" (122); empty when there is none.
[[nodiscard]] std::string TrimTrailing(std::string_view text);

// Blank means TrimTrailing gives the empty text.
[[nodiscard]] bool IsBlank(std::string_view text);

// A strict decimal number: leading blanks, an optional sign, digits and nothing else,
// inside the 32-bit range. Empty when the text is no such number.
[[nodiscard]] std::optional<std::int32_t> ParseDecimal(std::string_view text);

// The value of the leading digits (after leading blanks and a sign), 0 when there are none.
// A value beyond the 32-bit range stops at the last digit that still fits.
[[nodiscard]] std::int32_t LeadingDigitsValue(std::string_view text);

// The flag rule of the settings files: true unless the line holds a capital F.
[[nodiscard]] bool FlagLineIsTrue(std::string_view line);

// Whether `needle` occurs in `haystack` when both are upper-cased (letters a to z only).
[[nodiscard]] bool ContainsIgnoringCase(std::string_view haystack, std::string_view needle);

// Equality of two texts, letters a to z compared without regard to case.
[[nodiscard]] bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Ordering of two texts with letters a to z compared without regard to case.
[[nodiscard]] int CompareIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tidewire
