#pragma once
// The few operating-system services the library uses: a worker thread,
// sleeping, physical memory figures, modal messages and text conversion.
// Modal messages go to a handler that the embedding program installs.
#include <cstdint>
#include <string>

namespace vx::platform {

// Opaque, non-zero identifier of a started worker thread.
using ThreadHandle = std::uintptr_t;

// Starts `fn(arg)` on a new detached thread (default priority and stack) and
// returns its handle, or 0 when no thread could be started.
ThreadHandle StartThread(void (*fn)(void*), void* arg);

void SleepMs(unsigned ms);

// Physical memory in bytes (0 when unknown).
std::uint64_t TotalPhysicalMemory();
std::uint64_t AvailablePhysicalMemory();

enum class MessageKind { Exclamation, YesNoQuestion };
enum class MessageAnswer { Ok, Yes, No };

// A handler shows `text` and returns the user's answer. The default handler
// prints the text to stderr and answers Ok, or No for a question.
using MessageHandler = MessageAnswer (*)(const std::wstring& text, MessageKind kind, void* data);
void SetMessageHandler(MessageHandler handler, void* data);
MessageAnswer ShowMessage(const std::wstring& text, MessageKind kind);

// UTF-8 to wide text and back; invalid bytes become U+FFFD.
std::wstring NarrowToWide(const std::string& text);
std::string WideToNarrow(const std::wstring& text);

}  // namespace vx::platform
