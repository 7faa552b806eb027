#include "intersection/TriangleBoxTree.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int kLeafSize = 4;

// The query box of an item, with the same float operations as the search
// loop of the intersection action.
SbBox3f queryBox(const SbBox3f& box, float grow) {
  SbBox3f q = box;
  if (grow > 0.0f) {
    const SbVec3f g(grow, grow, grow);
    q.getMin() -= g;
    q.getMax() += g;
  }
  return q;
}

// box := box united with (lo, hi); inline, the library's extendBy is not.
void unite(SbVec3f& lo, SbVec3f& hi, const SbVec3f& plo, const SbVec3f& phi) {
  for (int k = 0; k < 3; ++k) {
    lo[k] = std::min(lo[k], plo[k]);
    hi[k] = std::max(hi[k], phi[k]);
  }
}

float extent(const SbBox3f& box) {
  const SbVec3f d = box.getMax() - box.getMin();
  return d[0] + d[1] + d[2];
}

}  // namespace

TriangleBoxTree::TriangleBoxTree(const std::vector<SbBox3f>& boxes) {
  m_items.reserve(boxes.size());
  for (size_t i = 0; i < boxes.size(); ++i) {
    m_items.push_back(Item{boxes[i], static_cast<int>(i), isTiny(boxes[i])});
  }
  if (!m_items.empty()) {
    m_nodes.reserve(2 * m_items.size() / kLeafSize + 1);
    build(0, static_cast<int>(m_items.size()));
  }
}

// Median split on the widest axis of the item centers; returns the node's
// index.
int TriangleBoxTree::build(int begin, int end) {
  const int index = static_cast<int>(m_nodes.size());
  m_nodes.push_back(Node{SbBox3f(), begin, end - begin});
  const float inf = std::numeric_limits<float>::max();
  SbVec3f lo(inf, inf, inf), hi(-inf, -inf, -inf), clo(lo), chi(hi);
  for (int i = begin; i < end; ++i) {
    const SbBox3f& b = m_items[static_cast<size_t>(i)].box;
    unite(lo, hi, b.getMin(), b.getMax());
    const SbVec3f c = b.getMin() + b.getMax();  // twice the center
    unite(clo, chi, c, c);
  }
  m_nodes[static_cast<size_t>(index)].box.setBounds(lo, hi);
  if (end - begin <= kLeafSize) return index;

  const SbVec3f span = chi - clo;
  const int axis = span[0] >= span[1] && span[0] >= span[2] ? 0 : span[1] >= span[2] ? 1 : 2;
  const int mid = begin + (end - begin) / 2;
  std::nth_element(m_items.begin() + begin, m_items.begin() + mid, m_items.begin() + end,
                   [axis](const Item& a, const Item& b) {
                     return a.box.getMin()[axis] + a.box.getMax()[axis] < b.box.getMin()[axis] + b.box.getMax()[axis];
                   });
  build(begin, mid);
  const int second = build(mid, end);
  m_nodes[static_cast<size_t>(index)].first = second;
  m_nodes[static_cast<size_t>(index)].count = 0;
  return index;
}

void TriangleBoxTree::markCandidates(const TriangleBoxTree& targets, float grow, std::vector<char>& flags) const {
  flags.assign(m_items.size(), 0);
  if (m_nodes.empty() || targets.m_nodes.empty()) return;

  std::vector<std::pair<int, int>> stack;
  stack.emplace_back(0, 0);
  while (!stack.empty()) {
    const auto [ia, ib] = stack.back();
    stack.pop_back();
    const Node& a = m_nodes[static_cast<size_t>(ia)];
    const Node& b = targets.m_nodes[static_cast<size_t>(ib)];
    if (!mayMeet(queryBox(a.box, grow), b.box)) continue;

    if (a.count > 0 && b.count > 0) {
      for (int i = a.first; i < a.first + a.count; ++i) {
        const Item& qa = m_items[static_cast<size_t>(i)];
        if (flags[static_cast<size_t>(qa.index)]) continue;
        const SbBox3f q = queryBox(qa.box, grow);
        if (isTiny(q)) continue;  // a tiny query box meets nothing
        for (int j = b.first; j < b.first + b.count; ++j) {
          const Item& tb = targets.m_items[static_cast<size_t>(j)];
          if (!tb.tiny && mayMeet(q, tb.box)) {
            flags[static_cast<size_t>(qa.index)] = 1;
            break;
          }
        }
      }
      continue;
    }
    // Split the larger inner node (or the only inner one).
    const bool splitA = b.count > 0 || (a.count == 0 && extent(a.box) >= extent(b.box));
    if (splitA) {
      stack.emplace_back(ia + 1, ib);
      stack.emplace_back(a.first, ib);
    } else {
      stack.emplace_back(ia, ib + 1);
      stack.emplace_back(ia, b.first);
    }
  }
}

bool TriangleBoxTree::anyCandidate(const SbBox3f& query) const {
  if (m_nodes.empty() || isTiny(query)) return false;
  int stack[64];
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Node& n = m_nodes[static_cast<size_t>(stack[--top])];
    if (!mayMeet(query, n.box)) continue;
    if (n.count > 0) {
      for (int j = n.first; j < n.first + n.count; ++j) {
        const Item& it = m_items[static_cast<size_t>(j)];
        if (!it.tiny && mayMeet(query, it.box)) return true;
      }
      continue;
    }
    stack[top++] = n.first;
    stack[top++] = static_cast<int>(&n - m_nodes.data()) + 1;
  }
  return false;
}
