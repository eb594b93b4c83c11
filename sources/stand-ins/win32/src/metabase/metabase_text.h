// Conversion between the metabase tree and the text of the file named by STANDIN_METABASE
// (the format is described for administrators in docs/metabase.md). Stateless; any
// thread may call, each on a tree of its own.
//
// A section "[/LM/W3SVC/1/ROOT]" opens a key, creating it and its parents; each property
// line below it reads
//     identifier  user-type  attributes  data-type  value
// e.g. MD_VR_PATH=3001 FILE INHERIT STRING "/srv/www". Lines starting with "#" are
// comments; a line ending in "\" goes on in the next one. The writer gives every key a
// section, in creation order, so that empty keys and the enumeration order survive, and
// writes each property so that it reads back byte for byte.
#ifndef STANDIN_WIN32_METABASE_METABASE_TEXT_H
#define STANDIN_WIN32_METABASE_METABASE_TEXT_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "stand-ins/win32/src/metabase/metabase_tree.h"

namespace standin::metabase {

// A line of the file that could not be understood and was left out, or that overrides
// an earlier one.
struct ParseProblem {
    size_t line = 0;  // from 1
    std::string message;
    bool ignored = true;  // the line was left out
};

std::string formatMetabase(const MetabaseKey& root);

// A line that cannot be understood is skipped, and reported in *problems, so that a
// mistake in a hand-edited file costs only that line.
std::unique_ptr<MetabaseKey> parseMetabase(std::string_view text,
                                           std::vector<ParseProblem>* problems);

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_METABASE_TEXT_H
