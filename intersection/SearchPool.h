#pragma once
// A small pool of worker threads for the Coin-free part of the intersection
// action (PairSearch). The calling thread takes part in every run, so a pool
// of n threads starts n - 1 workers; a pool of one thread runs everything on
// the caller. Workers never touch a scene: jobs must read only data that no
// one changes while the run lasts.
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vx::isect {

class __attribute__((visibility("hidden"))) SearchPool {
public:
  // `threads` <= 0: the hardware concurrency (at least one).
  explicit SearchPool(int threads);
  ~SearchPool();
  SearchPool(const SearchPool&) = delete;
  SearchPool& operator=(const SearchPool&) = delete;

  int threads() const { return static_cast<int>(m_workers.size()) + 1; }

  // Runs job(k) once for every k in [0, n), spread over the workers and the
  // caller, and returns when all are done. One run at a time (the owner's
  // thread). The first exception a job throws is rethrown here after the
  // others have finished.
  void run(int n, const std::function<void(int)>& job);

private:
  void workerMain();
  void work();

  std::vector<std::thread> m_workers;
  std::mutex m_mutex;
  std::condition_variable m_start;
  std::condition_variable m_done;
  std::uint64_t m_generation = 0;  // runs started
  int m_busy = 0;                  // workers still in the current run
  bool m_quit = false;
  const std::function<void(int)>* m_job = nullptr;
  int m_count = 0;
  int m_next = 0;  // next job index; under the mutex
  std::exception_ptr m_error;
};

}  // namespace vx::isect
