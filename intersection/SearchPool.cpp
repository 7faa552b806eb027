#include "intersection/SearchPool.h"

namespace vx::isect {

SearchPool::SearchPool(int threads) {
  if (threads <= 0) threads = static_cast<int>(std::thread::hardware_concurrency());
  for (int k = 1; k < threads; ++k) m_workers.emplace_back(&SearchPool::workerMain, this);
}

SearchPool::~SearchPool() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quit = true;
  }
  m_start.notify_all();
  for (std::thread& t : m_workers) t.join();
}

void SearchPool::run(int n, const std::function<void(int)>& job) {
  if (m_workers.empty() || n <= 1) {
    for (int k = 0; k < n; ++k) job(k);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_job = &job;
    m_count = n;
    m_next = 0;
    m_error = nullptr;
    m_busy = static_cast<int>(m_workers.size());
    ++m_generation;
  }
  m_start.notify_all();
  work();
  std::unique_lock<std::mutex> lock(m_mutex);
  m_done.wait(lock, [this] { return m_busy == 0; });
  m_job = nullptr;
  if (m_error) std::rethrow_exception(m_error);
}

// Takes job indices until none is left. Jobs are few and long (thousands of
// triangles each), so one lock per index costs nothing.
void SearchPool::work() {
  for (;;) {
    int k;
    const std::function<void(int)>* job;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_next >= m_count) return;
      k = m_next++;
      job = m_job;
    }
    try {
      (*job)(k);
    } catch (...) {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_error) m_error = std::current_exception();
    }
  }
}

void SearchPool::workerMain() {
  std::uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_start.wait(lock, [&] { return m_quit || m_generation != seen; });
    if (m_quit) return;
    seen = m_generation;
    lock.unlock();
    work();
    lock.lock();
    if (--m_busy == 0) m_done.notify_one();
  }
}

}  // namespace vx::isect
