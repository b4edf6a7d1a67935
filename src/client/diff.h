// A unified diff of two texts, cut into lines at line feeds.
#ifndef LWK_CLIENT_DIFF_H_
#define LWK_CLIENT_DIFF_H_

#include <string>
#include <string_view>

namespace lantern_wharf {

// Returns a unified diff from `before` to `after`, or an empty text when they
// are equal. The diff opens with "--- before_label" and "+++ after_label" and
// has as many hunks as the changes need, laid out as `diff -u` lays them out:
// three lines of context on either side of a change, changes that lie at most
// six unchanged lines apart share one hunk, each hunk's header reads
// "@@ -start,length +start,length @@" (",length" left out when it is 1; an
// empty range names the line before it), a change lists its removed lines
// before its added ones, and a line without a final line feed is followed by
// "\ No newline at end of file". Lines keep their endings (a carriage return
// is part of the line). Where several scripts are equally short, the one
// shown may differ from the one GNU diff shows.
//
// The diff is minimal: it removes and adds len(before) + len(after) - 2 * LCS
// lines, LCS being the length of a longest common subsequence of the lines,
// found by Myers' O((N+M)D) search, in its linear-space form, on what lies
// between the common first and last lines. Only a search of more than 2^31
// steps (two texts of hundreds of thousands of lines that differ almost
// everywhere) gives up, and such a diff removes and adds everything between
// the common first and last lines instead: still exact, no longer minimal.
std::string unified_diff(std::string_view before, std::string_view after,
                         std::string_view before_label, std::string_view after_label);

}  // namespace lantern_wharf

#endif  // LWK_CLIENT_DIFF_H_
