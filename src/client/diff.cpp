#include "client/diff.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "base/result.h"

namespace lantern_wharf {
namespace {

constexpr std::size_t kContext = 3;
// The most steps the search for a minimal script takes; see diff.h.
constexpr std::uint64_t kMaxWork = std::uint64_t{1} << 31;

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

// Myers' search for a shortest edit script from `a` to `b`, in linear space:
// a middle point of a shortest path is found by searching from both ends at
// once, and the two halves are solved alike. A search that has done more
// than kMaxWork steps gives up, marking nothing.
class ShortestScript {
 public:
  ShortestScript(std::span<const LineId> a, std::span<const LineId> b) : a_(a), b_(b) {}

  // Marks the lines a shortest script removes from `a` and adds from `b`
  // (`deleted` and `inserted` are sized like them). Returns false when the
  // search gave up; the marks are then to be thrown away.
  bool mark(std::span<char> deleted, std::span<char> inserted) {
    deleted_ = deleted;
    inserted_ = inserted;
    solve(0, a_.size(), 0, b_.size());
    return work_ <= kMaxWork;
  }

 private:
  struct Point {
    std::size_t x;
    std::size_t y;
  };

  // Marks a shortest script from a[a0, a1) to b[b0, b1).
  void solve(std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1) {
    while (a0 < a1 && b0 < b1 && a_[a0] == b_[b0]) ++a0, ++b0;
    while (a0 < a1 && b0 < b1 && a_[a1 - 1] == b_[b1 - 1]) --a1, --b1;
    if (a0 == a1 || b0 == b1) {
      std::fill(deleted_.begin() + static_cast<std::ptrdiff_t>(a0),
                deleted_.begin() + static_cast<std::ptrdiff_t>(a1), 1);
      std::fill(inserted_.begin() + static_cast<std::ptrdiff_t>(b0),
                inserted_.begin() + static_cast<std::ptrdiff_t>(b1), 1);
      return;
    }
    if (work_ > kMaxWork) return;
    // Both sides hold a line and their first and last lines differ, so a
    // shortest script has at least two edits and the middle point lies
    // strictly inside: each half is smaller.
    const std::optional<Point> middle = middle_of(a0, a1, b0, b1);
    if (work_ > kMaxWork) return;
    if (!middle) {
      // No line in common: every line is removed or added.
      std::fill(deleted_.begin() + static_cast<std::ptrdiff_t>(a0),
                deleted_.begin() + static_cast<std::ptrdiff_t>(a1), 1);
      std::fill(inserted_.begin() + static_cast<std::ptrdiff_t>(b0),
                inserted_.begin() + static_cast<std::ptrdiff_t>(b1), 1);
      return;
    }
    if ((middle->x == a0 && middle->y == b0) || (middle->x == a1 && middle->y == b1)) {
      lwk::fatal("diff: the middle of a shortest script lies at its end");
    }
    solve(a0, middle->x, b0, middle->y);
    solve(middle->x, a1, middle->y, b1);
  }

  // A point on a shortest path from (a0, b0) to (a1, b1): where a forward
  // path of d edits first meets a backward path of d or d - 1 edits on the
  // same diagonal. The furthest x of the forward paths on diagonal k = x - y
  // is forward_[k + offset]; the backward paths are kept in the reversed
  // grid, where (x, y) stands for (a1 - x, b1 - y). Nothing when the sides
  // have no line in common (the paths would meet only after (n + m) / 2
  // edits each), or when the search gave up.
  std::optional<Point> middle_of(std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1) {
    const auto n = static_cast<std::ptrdiff_t>(a1 - a0);
    const auto m = static_cast<std::ptrdiff_t>(b1 - b0);
    const std::ptrdiff_t max_d = (n + m + 1) / 2;
    const std::ptrdiff_t offset = max_d + 1;
    forward_.assign(static_cast<std::size_t>(2 * offset + 1), -1);
    backward_.assign(static_cast<std::size_t>(2 * offset + 1), -1);
    forward_[static_cast<std::size_t>(offset + 1)] = 0;
    backward_[static_cast<std::size_t>(offset + 1)] = 0;
    const std::ptrdiff_t delta = n - m;
    const bool odd = (delta & 1) != 0;
    const auto at = [offset](std::vector<std::ptrdiff_t>& v, std::ptrdiff_t k) -> std::ptrdiff_t& {
      return v[static_cast<std::size_t>(k + offset)];
    };
    const auto same = [&](std::ptrdiff_t x, std::ptrdiff_t y) {
      return a_[a0 + static_cast<std::size_t>(x)] == b_[b0 + static_cast<std::size_t>(y)];
    };
    const auto same_back = [&](std::ptrdiff_t x, std::ptrdiff_t y) {
      return a_[a1 - 1 - static_cast<std::size_t>(x)] == b_[b1 - 1 - static_cast<std::size_t>(y)];
    };
    // Diagonals whose paths have left the grid are no longer extended.
    std::ptrdiff_t k1_start = 0, k1_end = 0, k2_start = 0, k2_end = 0;
    for (std::ptrdiff_t d = 0; d < max_d; ++d) {
      work_ += static_cast<std::uint64_t>(2 * d + 2);
      if (work_ > kMaxWork) return std::nullopt;
      for (std::ptrdiff_t k = -d + k1_start; k <= d - k1_end; k += 2) {
        std::ptrdiff_t x = (k == -d || (k != d && at(forward_, k - 1) < at(forward_, k + 1)))
                               ? at(forward_, k + 1)
                               : at(forward_, k - 1) + 1;
        std::ptrdiff_t y = x - k;
        const std::ptrdiff_t x_start = x;
        while (x < n && y < m && same(x, y)) ++x, ++y;
        work_ += static_cast<std::uint64_t>(x - x_start);
        at(forward_, k) = x;
        if (x > n) {
          k1_end += 2;
        } else if (y > m) {
          k1_start += 2;
        } else if (odd) {
          const std::ptrdiff_t kb = delta - k;
          if (kb >= -(d - 1) && kb <= d - 1 && inside(at(backward_, kb), kb, n, m) &&
              x >= n - at(backward_, kb)) {
            return Point{a0 + static_cast<std::size_t>(x), b0 + static_cast<std::size_t>(y)};
          }
        }
      }
      for (std::ptrdiff_t k = -d + k2_start; k <= d - k2_end; k += 2) {
        std::ptrdiff_t x = (k == -d || (k != d && at(backward_, k - 1) < at(backward_, k + 1)))
                               ? at(backward_, k + 1)
                               : at(backward_, k - 1) + 1;
        std::ptrdiff_t y = x - k;
        const std::ptrdiff_t x_start = x;
        while (x < n && y < m && same_back(x, y)) ++x, ++y;
        work_ += static_cast<std::uint64_t>(x - x_start);
        at(backward_, k) = x;
        if (x > n) {
          k2_end += 2;
        } else if (y > m) {
          k2_start += 2;
        } else if (!odd) {
          const std::ptrdiff_t kf = delta - k;
          if (kf >= -d && kf <= d && inside(at(forward_, kf), kf, n, m)) {
            const std::ptrdiff_t fx = at(forward_, kf);
            if (fx >= n - x) {
              return Point{a0 + static_cast<std::size_t>(fx),
                           b0 + static_cast<std::size_t>(fx - kf)};
            }
          }
        }
      }
    }
    return std::nullopt;
  }

  // Whether the furthest point x on diagonal k lies in the n by m grid: a
  // path that left it is no longer followed, and its point is no meeting.
  static bool inside(std::ptrdiff_t x, std::ptrdiff_t k, std::ptrdiff_t n, std::ptrdiff_t m) {
    return x >= 0 && x <= n && x - k >= 0 && x - k <= m;
  }

  std::span<const LineId> a_;
  std::span<const LineId> b_;
  std::span<char> deleted_;
  std::span<char> inserted_;
  std::vector<std::ptrdiff_t> forward_;
  std::vector<std::ptrdiff_t> backward_;
  std::uint64_t work_ = 0;  // diagonals extended and equal lines passed, in all
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
    // Exact still, but no longer minimal.
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
