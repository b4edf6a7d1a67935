#include "diff.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <unordered_map>
#include <vector>

#include "base/result.h"

namespace lantern_wharf {
namespace {

constexpr std::size_t kContext = 3;
// The most edits the search for a minimal script looks for; see diff.h.
constexpr std::ptrdiff_t kMaxEdits = 2048;

using Lines = std::vector<std::string_view>;
// A line as a number: equal lines, and only they, get equal numbers.
using LineId = std::uint32_t;
// Per line of one side: whether the edit script removes (or adds) it.
using Marks = std::vector<char>;

// A line with its terminating line feed, if it has one.
Lines lines_of(std::string_view text) {
  Lines lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  return lines;
}

// Numbers the lines of both sides, so that the search compares numbers.
void number_lines(std::span<const std::string_view> a, std::span<const std::string_view> b,
                  std::vector<LineId>* a_ids, std::vector<LineId>* b_ids) {
  std::unordered_map<std::string_view, LineId> ids;
  auto number = [&ids](std::span<const std::string_view> lines, std::vector<LineId>* out) {
    out->reserve(lines.size());
    for (std::string_view line : lines) {
      out->push_back(ids.try_emplace(line, static_cast<LineId>(ids.size())).first->second);
    }
  };
  number(a, a_ids);
  number(b, b_ids);
}

// Myers' greedy search for a shortest edit script from `a` to `b`. Row d of
// the trace holds, for each diagonal k = x - y in [-d, d], the furthest x that
// a path with d edits reaches on it, or -1 when no such path stays inside the
// grid; row d starts at index d * d.
class ShortestScript {
 public:
  ShortestScript(std::span<const LineId> a, std::span<const LineId> b)
      : a_(a),
        b_(b),
        n_(static_cast<std::ptrdiff_t>(a.size())),
        m_(static_cast<std::ptrdiff_t>(b.size())) {}

  // Marks the lines a shortest script removes from `a` and adds from `b`
  // (`deleted` and `inserted` are sized like them). Returns false, marking
  // nothing, when the script needs more than kMaxEdits edits.
  bool mark(std::span<char> deleted, std::span<char> inserted) {
    const std::ptrdiff_t edits = search();
    if (edits < 0) return false;
    std::ptrdiff_t x = n_;
    std::ptrdiff_t y = m_;
    for (std::ptrdiff_t d = edits; d > 0; --d) {
      const std::ptrdiff_t from_k = step(d, x - y).from_k;
      const std::ptrdiff_t prev_x = at(d - 1, from_k);
      const std::ptrdiff_t prev_y = prev_x - from_k;
      if (from_k == x - y + 1) {
        inserted[static_cast<std::size_t>(prev_y)] = 1;
      } else {
        deleted[static_cast<std::size_t>(prev_x)] = 1;
      }
      x = prev_x;
      y = prev_y;
    }
    return true;
  }

 private:
  struct Step {
    std::ptrdiff_t x;       // where the edit leaves the path, before its run of equal lines
    std::ptrdiff_t from_k;  // the diagonal it comes from in the row before
  };

  std::int32_t& at(std::ptrdiff_t d, std::ptrdiff_t k) {
    return trace_[static_cast<std::size_t>(d * d + k + d)];
  }

  // The furthest edit into diagonal k for row d >= 1: a line of `b` added
  // from diagonal k + 1 or a line of `a` removed from diagonal k - 1,
  // whichever stays inside the grid and gets further (the addition on a tie).
  Step step(std::ptrdiff_t d, std::ptrdiff_t k) {
    Step best{-1, k};
    if (k < d) {
      const std::ptrdiff_t x = at(d - 1, k + 1);
      if (x >= 0 && x - k <= m_) best = {x, k + 1};
    }
    if (k > -d) {
      const std::ptrdiff_t prev = at(d - 1, k - 1);
      if (prev >= 0 && prev + 1 <= n_ && prev + 1 > best.x) best = {prev + 1, k - 1};
    }
    return best;
  }

  // Fills the trace row by row; returns the number of edits of a shortest
  // script, or -1 when it exceeds kMaxEdits.
  std::ptrdiff_t search() {
    if (n_ + m_ > std::numeric_limits<std::int32_t>::max()) return -1;
    const std::ptrdiff_t max_edits = std::min(n_ + m_, kMaxEdits);
    for (std::ptrdiff_t d = 0; d <= max_edits; ++d) {
      trace_.resize(static_cast<std::size_t>((d + 1) * (d + 1)));
      for (std::ptrdiff_t k = -d; k <= d; k += 2) {
        std::ptrdiff_t x = d == 0 ? 0 : step(d, k).x;
        if (x >= 0) {
          while (x < n_ && x - k < m_ &&
                 a_[static_cast<std::size_t>(x)] == b_[static_cast<std::size_t>(x - k)]) {
            ++x;
          }
        }
        at(d, k) = static_cast<std::int32_t>(x);
        if (x == n_ && x - k == m_) return d;
      }
    }
    return -1;
  }

  std::span<const LineId> a_;
  std::span<const LineId> b_;
  std::ptrdiff_t n_;
  std::ptrdiff_t m_;
  std::vector<std::int32_t> trace_;
};

// Lines [a_begin, a_end) of `before` replaced by lines [b_begin, b_end) of
// `after`; the lines between two changes are the same on both sides.
struct Change {
  std::size_t a_begin;
  std::size_t a_end;
  std::size_t b_begin;
  std::size_t b_end;
};

// The runs of removed and added lines, in order.
std::vector<Change> changes_of(const Marks& deleted, const Marks& inserted) {
  std::vector<Change> changes;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < deleted.size() || j < inserted.size()) {
    if (i < deleted.size() && j < inserted.size() && !deleted[i] && !inserted[j]) {
      ++i;
      ++j;
      continue;
    }
    Change change{i, i, j, j};
    while (change.a_end < deleted.size() && deleted[change.a_end]) ++change.a_end;
    while (change.b_end < inserted.size() && inserted[change.b_end]) ++change.b_end;
    if (change.a_end == i && change.b_end == j) lwk::fatal("diff: unmatched unchanged lines");
    changes.push_back(change);
    i = change.a_end;
    j = change.b_end;
  }
  return changes;
}

void emit(std::string* out, char mark, std::string_view line) {
  out->push_back(mark);
  out->append(line);
  if (!line.ends_with('\n')) out->append("\n\\ No newline at end of file\n");
}

void emit_lines(std::string* out, char mark, const Lines& lines, std::size_t begin,
                std::size_t end) {
  for (std::size_t i = begin; i < end; ++i) emit(out, mark, lines[i]);
}

// The range part of a hunk header: 1-based start and length, the length left
// out when it is 1, as diff -u writes it; an empty range names the line
// before it.
std::string range(std::size_t start, std::size_t length) {
  if (length == 1) return std::to_string(start + 1);
  return std::to_string(length == 0 ? start : start + 1) + "," + std::to_string(length);
}

// One hunk: the changes `group` with the context around and between them.
void emit_hunk(std::string* out, const Lines& a, const Lines& b, std::span<const Change> group) {
  const Change& first = group.front();
  const Change& last = group.back();
  const std::size_t lead = std::min(kContext, first.a_begin);
  const std::size_t trail = std::min(kContext, a.size() - last.a_end);
  const std::size_t a_start = first.a_begin - lead;
  const std::size_t b_start = first.b_begin - lead;
  const std::size_t a_length = last.a_end + trail - a_start;
  const std::size_t b_length = last.b_end + trail - b_start;
  out->append("@@ -" + range(a_start, a_length) + " +" + range(b_start, b_length) + " @@\n");
  std::size_t at = a_start;
  for (const Change& change : group) {
    emit_lines(out, ' ', a, at, change.a_begin);
    emit_lines(out, '-', a, change.a_begin, change.a_end);
    emit_lines(out, '+', b, change.b_begin, change.b_end);
    at = change.a_end;
  }
  emit_lines(out, ' ', a, at, last.a_end + trail);
}

}  // namespace

std::string unified_diff(std::string_view before, std::string_view after,
                         std::string_view before_label, std::string_view after_label) {
  if (before == after) return {};
  const Lines a = lines_of(before);
  const Lines b = lines_of(after);
  std::size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
         a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
    ++suffix;
  }

  // Only what lies between the common first and last lines is searched.
  const auto a_middle = std::span(a).subspan(prefix, a.size() - prefix - suffix);
  const auto b_middle = std::span(b).subspan(prefix, b.size() - prefix - suffix);
  std::vector<LineId> a_ids;
  std::vector<LineId> b_ids;
  number_lines(a_middle, b_middle, &a_ids, &b_ids);
  Marks deleted(a.size(), 0);
  Marks inserted(b.size(), 0);
  const std::span<char> deleted_middle(deleted.data() + prefix, a_middle.size());
  const std::span<char> inserted_middle(inserted.data() + prefix, b_middle.size());
  if (!ShortestScript(a_ids, b_ids).mark(deleted_middle, inserted_middle)) {
    std::ranges::fill(deleted_middle, 1);
    std::ranges::fill(inserted_middle, 1);
  }

  std::string out;
  out.append("--- ").append(before_label).append("\n");
  out.append("+++ ").append(after_label).append("\n");
  const std::vector<Change> changes = changes_of(deleted, inserted);
  for (std::size_t first = 0; first < changes.size();) {
    std::size_t last = first;
    while (last + 1 < changes.size() &&
           changes[last + 1].a_begin - changes[last].a_end <= 2 * kContext) {
      ++last;
    }
    emit_hunk(&out, a, b, std::span(changes).subspan(first, last - first + 1));
    first = last + 1;
  }
  return out;
}

}  // namespace lantern_wharf
