// Wildcard matching of entry names for backends whose system has none: '*' any
// run of characters, '?' one character (a double-byte character is one), A-Z
// matched without regard to case.
#pragma once

bool wildcardMatch(const char* pattern, const char* name);
bool hasWildcard(const char* text);
