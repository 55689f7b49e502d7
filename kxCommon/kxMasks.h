#pragma once
// Wildcard masks of the search list box's filter.

#include <QStringView>

// True when the whole of S matches the whole of Mask. "*" matches any run
// of characters, "?" any one character, "[...]" one character of a set of
// characters and ranges "x-y", "[^...]" one character outside such a set.
// Comparisons are of UTF-16 code units, case-sensitive; there is no escape.
// A malformed set ("[]", "[[", or one without its closing "]") never
// matches. Both texts end at their end or at a zero character.
bool WildcardMatch(QStringView S, QStringView Mask);
