// The palette's cached lookups (which must not allocate and should cost a
// few nanoseconds) and rendering a 20-character string into an image.
// Each benchmark reports allocations per iteration, counted by the global
// operator new below.

#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <new>

#include "drawing/kv_color.h"
#include "drawing/string_image.h"
#include "platform/graphics/text/string_drawing.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

// GCC takes the malloc/free pairing of a replaced operator new for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

void reportAllocations(benchmark::State& state, long before) {
  state.counters["allocs/iter"] = benchmark::Counter(
      static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations()));
}

// Arguments spread over every step, so the lookups are not one hot entry.
std::array<float, 256> levels() {
  std::array<float, 256> a{};
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<float>(i % 101) / 100.0f + 0.003f;
  return a;
}

void BM_KvGrayColorCached(benchmark::State& state) {
  const auto args = levels();
  for (float x : args) benchmark::DoNotOptimize(fw::KvGrayColor(x));  // fill every entry
  std::size_t i = 0;
  const long before = allocations.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(fw::KvGrayColor(args[i++ & 255]).get());
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_KvGrayColorCached);

void BM_KvWhiteAlphaCached(benchmark::State& state) {
  const auto args = levels();
  for (float x : args) benchmark::DoNotOptimize(fw::KvWhiteAlpha(x));
  std::size_t i = 0;
  const long before = allocations.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(fw::KvWhiteAlpha(args[i++ & 255]).get());
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_KvWhiteAlphaCached);

void BM_SlotCached(benchmark::State& state) {
  benchmark::DoNotOptimize(fw::KvColor::alternateSelectedControlColor());
  const long before = allocations.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(fw::KvColor::alternateSelectedControlColor().get());
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_SlotCached);

void BM_IndexForColorSecondary(benchmark::State& state) {
  const fw::Color* c = fw::KvColor::secondarySelectedControlColor().get();
  benchmark::DoNotOptimize(fw::KvColor::indexForColor(c));
  const long before = allocations.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(c);
    benchmark::DoNotOptimize(fw::KvColor::indexForColor(c));
  }
  reportAllocations(state, before);
}
BENCHMARK(BM_IndexForColorSecondary);

const fw::TextAttributes& labelAttributes() {
  static const fw::TextAttributes a{
      {std::u16string(fw::NSForegroundColorAttributeName), fw::KvColor::blackColor()},
      {std::u16string(fw::NSFontAttributeName), fw::Font{u"DejaVu Sans", 13}}};
  return a;
}

constexpr std::u16string_view kTwenty = u"Selected Track 2026";  // 19 + 1 below
static_assert(kTwenty.size() == 19);

void BM_SizeWithAttributes20(benchmark::State& state) {
  const std::u16string text = std::u16string(kTwenty) + u"!";
  const long before = allocations.load();
  for (auto _ : state) benchmark::DoNotOptimize(fw::sizeWithAttributes(text, labelAttributes()));
  reportAllocations(state, before);
}
BENCHMARK(BM_SizeWithAttributes20);

void BM_ImageWithAttributes20(benchmark::State& state) {
  const std::u16string text = std::u16string(kTwenty) + u"!";
  const long before = allocations.load();
  for (auto _ : state) benchmark::DoNotOptimize(fw::imageWithAttributes(text, labelAttributes()));
  reportAllocations(state, before);
}
BENCHMARK(BM_ImageWithAttributes20);

}  // namespace

BENCHMARK_MAIN();
