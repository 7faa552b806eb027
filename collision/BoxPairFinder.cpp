// Box hierarchy for the run's broad phase; see BoxPairFinder.h.
#include "collision/BoxPairFinder.h"

#include <algorithm>

namespace vx::collide {

namespace {

constexpr int32_t kLeafSize = 4;

Box EmptyBox() { return Box{{1, 1, 1}, {0, 0, 0}}; }

void Extend(Box& into, const Box& b) {
  if (into.Empty()) {
    into = b;
    return;
  }
  for (int k = 0; k < 3; ++k) {
    into.lo[k] = std::min(into.lo[k], b.lo[k]);
    into.hi[k] = std::max(into.hi[k], b.hi[k]);
  }
}

}  // namespace

BoxPairFinder::BoxPairFinder(const std::vector<Box>& targets) : m_boxes(targets) {
  m_order.reserve(m_boxes.size());
  for (std::size_t i = 0; i < m_boxes.size(); ++i) {
    if (!m_boxes[i].Empty()) m_order.push_back(static_cast<int32_t>(i));
  }
  if (m_order.empty()) return;
  m_nodes.reserve(2 * m_order.size() / kLeafSize + 2);
  m_nodes.push_back(Node{EmptyBox(), 0, 0});
  Build(0, static_cast<int32_t>(m_order.size()));
}

// The root is pushed by the constructor; children are pushed here in pairs,
// so that the right child is always left + 1.
void BoxPairFinder::Build(int32_t begin, int32_t end) {
  // Iterative: a stack of (node, begin, end), so that degenerate inputs (all
  // centres on one point) cannot overflow the call stack.
  struct Task {
    int32_t node, begin, end;
  };
  std::vector<Task> stack{{0, begin, end}};
  while (!stack.empty()) {
    const Task t = stack.back();
    stack.pop_back();
    Box box = EmptyBox();
    Box centres = EmptyBox();
    for (int32_t i = t.begin; i < t.end; ++i) {
      const Box& b = m_boxes[static_cast<std::size_t>(m_order[static_cast<std::size_t>(i)])];
      Extend(box, b);
      Box c;
      for (int k = 0; k < 3; ++k) c.lo[k] = c.hi[k] = 0.5f * (b.lo[k] + b.hi[k]);
      Extend(centres, c);
    }
    m_nodes[static_cast<std::size_t>(t.node)].box = box;
    if (t.end - t.begin <= kLeafSize) {
      m_nodes[static_cast<std::size_t>(t.node)].first = t.begin;
      m_nodes[static_cast<std::size_t>(t.node)].count = t.end - t.begin;
      continue;
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k) {
      if (centres.hi[k] - centres.lo[k] > centres.hi[axis] - centres.lo[axis]) axis = k;
    }
    const int32_t mid = t.begin + (t.end - t.begin) / 2;
    auto centre = [this, axis](int32_t i) {
      const Box& b = m_boxes[static_cast<std::size_t>(i)];
      return b.lo[axis] + b.hi[axis];
    };
    std::nth_element(m_order.begin() + t.begin, m_order.begin() + mid, m_order.begin() + t.end,
                     [&centre](int32_t a, int32_t b) { return centre(a) < centre(b); });
    const int32_t left = static_cast<int32_t>(m_nodes.size());
    m_nodes.push_back(Node{EmptyBox(), 0, 0});
    m_nodes.push_back(Node{EmptyBox(), 0, 0});
    m_nodes[static_cast<std::size_t>(t.node)].first = left;
    m_nodes[static_cast<std::size_t>(t.node)].count = 0;
    stack.push_back(Task{left, t.begin, mid});
    stack.push_back(Task{left + 1, mid, t.end});
  }
}

void BoxPairFinder::Find(const Box& query, std::vector<int32_t>& out) const {
  if (m_nodes.empty() || query.Empty()) return;
  const std::size_t before = out.size();
  int32_t stack[128];
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Node& n = m_nodes[static_cast<std::size_t>(stack[--top])];
    if (!n.box.Meets(query)) continue;
    if (n.count > 0) {
      for (int32_t i = n.first; i < n.first + n.count; ++i) {
        const int32_t id = m_order[static_cast<std::size_t>(i)];
        if (m_boxes[static_cast<std::size_t>(id)].Meets(query)) out.push_back(id);
      }
      continue;
    }
    // A median split halves the count at every level: the depth is at most
    // log2(n) + 1, far below the stack's size.
    stack[top++] = n.first;
    stack[top++] = n.first + 1;
  }
  std::sort(out.begin() + static_cast<std::ptrdiff_t>(before), out.end());
}

}  // namespace vx::collide
