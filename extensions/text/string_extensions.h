#pragma once

// All the string operations in one include: stripping and trimming
// (string_strip.h), substring tests (string_match.h), replacement
// (string_replace.h, mutable_string_replace.h), soft hyphens
// (soft_hyphens.h), delimited substrings (delimited_substrings.h) and the
// HTML, XML and URL conversions (markup_text.h). Strings are UTF-16 and
// every operation works on code units: a character outside the Basic
// Multilingual Plane is two units, each tested and copied on its own.

#include "extensions/text/delimited_substrings.h"
#include "extensions/text/markup/markup_text.h"
#include "extensions/text/markup/soft_hyphens.h"
#include "extensions/text/replace/mutable_string_replace.h"
#include "extensions/text/replace/string_replace.h"
#include "extensions/text/string_match.h"
#include "extensions/text/string_strip.h"
