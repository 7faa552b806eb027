// The operating-system layer: text conversion, modal message handler,
// worker threads and memory figures.
#include <chrono>
#include <future>
#include <memory>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "module/Platform.h"

using namespace vxplatform;

TEST(PlatformText, Utf8RoundTrips) {
  const std::string samples[] = {
      "",
      "plain ascii |0|1a",
      "caf\xC3\xA9",                       // U+00E9, two bytes
      "\xE5\xB9\xB2\xE6\xB6\x89",          // U+5E72 U+6D89, three bytes each
      "\xF0\x9F\x94\xA9 bolt",             // U+1F529, four bytes
      "\xEF\xBF\xBF\xF4\x8F\xBF\xBF",      // U+FFFF, U+10FFFF: the edges
  };
  const std::wstring wide[] = {L"", L"plain ascii |0|1a", L"caf\u00E9", L"\u5E72\u6D89",
                               L"\U0001F529 bolt", L"\uFFFF\U0010FFFF"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(wide[i], NarrowToWide(samples[i])) << i;
    EXPECT_EQ(samples[i], WideToNarrow(wide[i])) << i;
  }

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
      {"a\x80z", L"a\uFFFDz"},                 // stray continuation byte
      {"\xE5\x41\x42", L"\uFFFDAB"},           // broken sequence keeps what follows
      {"\xFF\xFE", L"\uFFFD\uFFFD"},           // never valid in UTF-8
      {"\xC0\xAF", L"\uFFFD\uFFFD"},           // overlong "/"
      {"\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD"}, // overlong "/" in three bytes
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"}, // encoded surrogate U+D800
      {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(std::wstring(c.wide), NarrowToWide(c.bytes)) << c.bytes;

  // A sequence cut off at the end: one or more U+FFFD, nothing else.
  const std::wstring cut = NarrowToWide("ok\xE5\xB9");
  ASSERT_GE(cut.size(), 3u);
  EXPECT_EQ(L"ok", cut.substr(0, 2));
  EXPECT_EQ(std::wstring::npos, cut.find_first_not_of(L'\uFFFD', 2));

  // Wide values that no UTF-8 text can hold come out as U+FFFD.
  std::wstring bad;
  bad += static_cast<wchar_t>(0xD800);
  bad += static_cast<wchar_t>(0x110000);
  EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD", WideToNarrow(bad));
}

namespace {
struct SeenMessage {
  std::wstring text;
  MessageKind kind = MessageKind::Exclamation;
  int calls = 0;
};

MessageAnswer Record(const std::wstring& text, MessageKind kind, void* data) {
  auto* seen = static_cast<SeenMessage*>(data);
  seen->text = text;
  seen->kind = kind;
  ++seen->calls;
  return MessageAnswer::Yes;
}
}  // namespace

TEST(PlatformMessages, InstalledHandlerThenDefault) {
  SeenMessage seen;
  SetMessageHandler(&Record, &seen);
  EXPECT_EQ(MessageAnswer::Yes, ShowMessage(L"\u5220\u9664?", MessageKind::YesNoQuestion));
  EXPECT_EQ(L"\u5220\u9664?", seen.text);
  EXPECT_EQ(MessageKind::YesNoQuestion, seen.kind);

  // A null handler puts the default back: it never says yes to a question.
  SetMessageHandler(nullptr, &seen);
  EXPECT_EQ(MessageAnswer::No, ShowMessage(L"question", MessageKind::YesNoQuestion));
  EXPECT_EQ(MessageAnswer::Ok, ShowMessage(L"notice", MessageKind::Exclamation));
  EXPECT_EQ(1, seen.calls);
}

TEST(PlatformThreads, StartedFunctionRunsOnItsOwnThread) {
  // The worker holds its own share of the job, so the job outlives whichever
  // side finishes last.
  struct Job {
    std::promise<std::thread::id> ran;
    int argument = 42;
    int seen = 0;
  };
  auto job = std::make_shared<Job>();
  std::future<std::thread::id> ran = job->ran.get_future();
  auto* share = new std::shared_ptr<Job>(job);
  const ThreadHandle handle = StartThread(
      [](void* p) {
        std::unique_ptr<std::shared_ptr<Job>> mine(static_cast<std::shared_ptr<Job>*>(p));
        (*mine)->seen = (*mine)->argument;
        (*mine)->ran.set_value(std::this_thread::get_id());
      },
      share);
  ASSERT_NE(0u, handle);
  ASSERT_EQ(std::future_status::ready, ran.wait_for(std::chrono::seconds(60)));
  EXPECT_NE(std::this_thread::get_id(), ran.get());
  EXPECT_EQ(42, job->seen);
}

TEST(PlatformMemory, FiguresAreSane) {
  const std::uint64_t total = TotalPhysicalMemory();
  const std::uint64_t available = AvailablePhysicalMemory();
  EXPECT_GT(total, 16u << 20);  // any machine that runs this has 16 MB
  EXPECT_GT(available, 0u);
  EXPECT_LE(available, total);
}
