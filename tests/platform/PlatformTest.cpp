// The operating-system layer: text conversion and worker threads. The
// message handler is exercised where a deletion asks first (graphops).
#include <chrono>
#include <future>
#include <memory>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "platform/Platform.h"

using namespace vx::platform;

TEST(PlatformText, Utf8RoundTrips) {
  // Two, three and four bytes; U+FFFF and U+10FFFF are the edges.
  const std::string narrow = "caf\xC3\xA9 \xE5\xB9\xB2 \xF0\x9F\x94\xA9 \xEF\xBF\xBF\xF4\x8F\xBF\xBF";
  const std::wstring wide = L"caf\u00E9 \u5E72 \U0001F529 \uFFFF\U0010FFFF";
  EXPECT_EQ(wide, NarrowToWide(narrow));
  EXPECT_EQ(narrow, WideToNarrow(wide));

  // Random scalar values (no surrogates) survive wide -> UTF-8 -> wide.
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::uint32_t> cp(1, 0x10FFFF - 0x800);
  for (int round = 0; round < 200; ++round) {
    std::wstring text;
    for (int k = 0; k < 16; ++k) {
      std::uint32_t c = cp(rng);
      if (c >= 0xD800) c += 0x800;  // skip the surrogate block
      text += static_cast<wchar_t>(c);
    }
    ASSERT_EQ(text, NarrowToWide(WideToNarrow(text))) << "round " << round;
  }
}

TEST(PlatformText, InvalidBytesBecomeReplacementCharacters) {
  const struct {
    const char* bytes;
    const wchar_t* wide;
  } cases[] = {
      {"a\x80z", L"a\uFFFDz"},                            // stray continuation byte
      {"\xE5\x41\x42", L"\uFFFDAB"},                      // broken sequence keeps what follows
      {"\xC0\xAF", L"\uFFFD\uFFFD"},                      // overlong "/"
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate U+D800
      {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(std::wstring(c.wide), NarrowToWide(c.bytes)) << c.bytes;

  // A sequence cut off at the end: one or more U+FFFD, nothing else.
  const std::wstring cut = NarrowToWide("ok\xE5\xB9");
  ASSERT_GE(cut.size(), 3u);
  EXPECT_EQ(L"ok", cut.substr(0, 2));
  EXPECT_EQ(std::wstring::npos, cut.find_first_not_of(L'\uFFFD', 2));

  // Wide values that no UTF-8 text can hold come out as U+FFFD.
  const std::wstring bad = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000)};
  EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD", WideToNarrow(bad));
}

// The worker owns its promise, so nothing dangles whichever side ends last.
static void ReportThreadId(void* p) {
  std::unique_ptr<std::promise<std::thread::id>> mine(static_cast<std::promise<std::thread::id>*>(p));
  mine->set_value(std::this_thread::get_id());
}

TEST(PlatformThreads, StartedFunctionRunsOnItsOwnThreadWithItsArgument) {
  auto* ran = new std::promise<std::thread::id>;
  std::future<std::thread::id> done = ran->get_future();
  ASSERT_NE(0u, StartThread(&ReportThreadId, ran));
  ASSERT_EQ(std::future_status::ready, done.wait_for(std::chrono::seconds(60)));
  EXPECT_NE(std::this_thread::get_id(), done.get());
}
