// A stand-in for the decoder's exchange library: the two entry points the server calls, and a
// control surface the tests reach through the same loaded instance.
#include <cstdint>
#include <deque>

namespace {

std::deque<std::int32_t> g_queue;
std::uint8_t g_initResult = 1;
int g_initCalls = 0;
std::int32_t g_lastMode = -1;
int g_reads = 0;
bool g_endlessZeros = false;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) std::uint8_t _DxsoftExchangeInit(std::int32_t mode) {
  ++g_initCalls;
  g_lastMode = mode;
  return g_initResult;
}

__attribute__((visibility("default"))) std::int32_t _DxsoftGetSymFromRxBuffer() {
  ++g_reads;
  if (g_endlessZeros) return 0;
  if (g_queue.empty()) return -1;
  std::int32_t value = g_queue.front();
  g_queue.pop_front();
  return value;
}

__attribute__((visibility("default"))) void FakeExchangeReset(std::uint8_t initResult) {
  g_queue.clear();
  g_initResult = initResult;
  g_initCalls = 0;
  g_lastMode = -1;
  g_reads = 0;
  g_endlessZeros = false;
}

// Queues decoded characters as the decoder reports them.
__attribute__((visibility("default"))) void FakeExchangeFeed(const char* text, int length) {
  for (int i = 0; i < length; ++i) g_queue.push_back(static_cast<unsigned char>(text[i]));
}

// Queues one raw value as the read function is to return it.
__attribute__((visibility("default"))) void FakeExchangeFeedValue(std::int32_t value) {
  g_queue.push_back(value);
}

__attribute__((visibility("default"))) void FakeExchangeSetEndlessZeros(bool on) {
  g_endlessZeros = on;
}

__attribute__((visibility("default"))) int FakeExchangeInitCalls() {
  return g_initCalls;
}
__attribute__((visibility("default"))) std::int32_t FakeExchangeLastMode() {
  return g_lastMode;
}
__attribute__((visibility("default"))) int FakeExchangeReads() {
  return g_reads;
}
__attribute__((visibility("default"))) int FakeExchangePending() {
  return static_cast<int>(g_queue.size());
}
}
