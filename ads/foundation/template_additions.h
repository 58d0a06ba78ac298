#pragma once

// Keyword templates: text with placeholders such as "@appversion@" (a name between two "@"); a
// literal "@" is written "@@". Use: replace each known keyword with its escaped value, remove
// the placeholders left, then unescape.

#include <string>
#include <string_view>

// Every "@" doubled: a value's form before it goes into a template.
std::string zad_escapeAts(std::string_view text);
// Replaces every placeholder whose name matches the keyword pattern (a regular expression) with
// the replacement, keeping runs of escaped "@@" on either side; nothing for an empty pattern.
void zad_replaceAtQuotedKeywordPattern(std::string& text, std::string_view keywordPattern,
                                       std::string_view replacement);
// Removes every placeholder left.
void zad_removeAtQuotedKeywords(std::string& text);
// Every "@@" becomes "@", left to right.
void zad_unescapeAts(std::string& text);
