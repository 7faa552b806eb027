#include "platform/Platform.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace vx::platform {
namespace {

struct ThreadStart {
  void (*fn)(void*);
  void* arg;
};

void* threadMain(void* p) {
  ThreadStart start = *static_cast<ThreadStart*>(p);
  delete static_cast<ThreadStart*>(p);
  start.fn(start.arg);
  return nullptr;
}

MessageAnswer defaultHandler(const std::wstring& text, MessageKind kind, void*) {
  std::fprintf(stderr, "%s\n", WideToNarrow(text).c_str());
  return kind == MessageKind::YesNoQuestion ? MessageAnswer::No : MessageAnswer::Ok;
}

std::mutex g_handlerMutex;
MessageHandler g_handler = &defaultHandler;
void* g_handlerData = nullptr;

// Reads a "Key:   123 kB" line of /proc/meminfo; 0 when absent.
std::uint64_t meminfoBytes(const char* key) {
  std::ifstream in("/proc/meminfo");
  std::string name;
  std::uint64_t value = 0;
  std::string unit;
  while (in >> name >> value) {
    std::getline(in, unit);
    if (name == key) return value * 1024;
  }
  return 0;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

ThreadHandle StartThread(void (*fn)(void*), void* arg) {
  auto* start = new ThreadStart{fn, arg};
  pthread_t thread;
  if (pthread_create(&thread, nullptr, &threadMain, start) != 0) {
    delete start;
    return 0;
  }
  pthread_detach(thread);
  ThreadHandle handle = static_cast<ThreadHandle>(thread);
  return handle != 0 ? handle : 1;
}

void SleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::uint64_t TotalPhysicalMemory() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long size = sysconf(_SC_PAGE_SIZE);
  if (pages > 0 && size > 0) return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
  return meminfoBytes("MemTotal:");
}

std::uint64_t AvailablePhysicalMemory() {
  // MemAvailable counts reclaimable caches, which is what "free for us" means.
  std::uint64_t avail = meminfoBytes("MemAvailable:");
  if (avail) return avail;
  long pages = sysconf(_SC_AVPHYS_PAGES);
  long size = sysconf(_SC_PAGE_SIZE);
  return pages > 0 && size > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size) : 0;
}

void SetMessageHandler(MessageHandler handler, void* data) {
  std::lock_guard<std::mutex> lock(g_handlerMutex);
  g_handler = handler ? handler : &defaultHandler;
  g_handlerData = handler ? data : nullptr;
}

MessageAnswer ShowMessage(const std::wstring& text, MessageKind kind) {
  MessageHandler handler;
  void* data;
  {
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    handler = g_handler;
    data = g_handlerData;
  }
  return handler(text, kind, data);
}

std::wstring NarrowToWide(const std::string& text) {
  // Strict UTF-8: over-long forms, encoded surrogates and code points past
  // U+10FFFF are rejected; every byte that does not start a valid sequence
  // becomes one U+FFFD.
  std::wstring out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    int len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c < 0x80) {
      len = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;  // no over-long forms
      if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;  // no over-long forms
      if (c == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
    }
    bool ok = len > 0 && i + static_cast<std::size_t>(len) <= n;
    for (int k = 1; ok && k < len; ++k) {
      const unsigned char b = s[i + static_cast<std::size_t>(k)];
      ok = k == 1 ? (b >= lo && b <= hi) : (b & 0xC0) == 0x80;
    }
    if (!ok) {
      out += static_cast<wchar_t>(0xFFFD);
      ++i;
      continue;
    }
    char32_t cp = len == 1 ? c : static_cast<char32_t>(c & (0x7F >> len));
    for (int k = 1; k < len; ++k) cp = (cp << 6) | (s[i + static_cast<std::size_t>(k)] & 0x3F);
    out += static_cast<wchar_t>(cp);
    i += static_cast<std::size_t>(len);
  }
  return out;
}

std::string WideToNarrow(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    char32_t c = static_cast<char32_t>(w);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    appendUtf8(out, c);
  }
  return out;
}

}  // namespace vx::platform
