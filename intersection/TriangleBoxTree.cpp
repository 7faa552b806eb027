#include "intersection/TriangleBoxTree.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int kLeafSize = 4;

// box := box united with (lo, hi); inline, the library's extendBy is not.
void unite(SbVec3f& lo, SbVec3f& hi, const SbVec3f& plo, const SbVec3f& phi) {
  for (int k = 0; k < 3; ++k) {
    lo[k] = std::min(lo[k], plo[k]);
    hi[k] = std::max(hi[k], phi[k]);
  }
}

}  // namespace

TriangleBoxTree::TriangleBoxTree(const std::vector<SbBox3f>& boxes) {
  m_items.reserve(boxes.size());
  for (size_t i = 0; i < boxes.size(); ++i) {
    m_items.push_back(Item{boxes[i], static_cast<int>(i)});
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

void TriangleBoxTree::collect(const SbBox3f& query, std::vector<int>& out) const {
  if (m_nodes.empty()) return;
  const size_t first = out.size();
  int stack[64];  // the median split keeps the depth below 2 log2(n)
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Node& n = m_nodes[static_cast<size_t>(stack[--top])];
    if (!mayMeet(query, n.box)) continue;
    if (n.count > 0) {
      for (int j = n.first; j < n.first + n.count; ++j) {
        const Item& it = m_items[static_cast<size_t>(j)];
        if (mayMeet(query, it.box)) out.push_back(it.index);
      }
      continue;
    }
    stack[top++] = n.first;
    stack[top++] = static_cast<int>(&n - m_nodes.data()) + 1;
  }
  std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
}
