// Throughput of the markup conversions on 1 MB and 10 MB texts full of
// entities, tags and escapes; time per byte should stay flat between sizes.

#include <benchmark/benchmark.h>

#include <string>

#include "extensions/text/string_extensions.h"

namespace {

std::u16string makeText(std::size_t units) {
  static constexpr std::u16string_view kPiece =
      u"Fish &amp; Chips <b>caf&eacute;</b> a%20b%26c \"q\" &#38; \u00E9t\u00E9 x<y ";
  std::u16string text;
  text.reserve(units + kPiece.size());
  while (text.size() < units) text.append(kPiece);
  text.resize(units);
  return text;
}

template <typename F>
void run(benchmark::State& state, F f) {
  const std::u16string text = makeText(static_cast<std::size_t>(state.range(0)) / 2);
  for (auto _ : state) benchmark::DoNotOptimize(f(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_RemovingHTMLEntities(benchmark::State& state) {
  run(state, [](const std::u16string& t) { return fw::stringByRemovingHTMLEntities(t); });
}
void BM_RemovingHTMLTags(benchmark::State& state) {
  run(state, [](const std::u16string& t) { return fw::stringByRemovingHTMLTags(t); });
}
void BM_XmlEscaped(benchmark::State& state) {
  run(state, [](const std::u16string& t) { return fw::xmlEscapedString(t); });
}
void BM_Escaped(benchmark::State& state) {
  run(state, [](const std::u16string& t) { return fw::escapedString(t); });
}
void BM_Unescaped(benchmark::State& state) {
  const std::u16string escaped =
      *fw::escapedString(makeText(static_cast<std::size_t>(state.range(0)) / 6));
  for (auto _ : state) benchmark::DoNotOptimize(fw::unescapedString(escaped));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * escaped.size() * 2);
}

constexpr int64_t kMB = 1 << 20;
BENCHMARK(BM_RemovingHTMLEntities)->Arg(kMB)->Arg(10 * kMB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemovingHTMLTags)->Arg(kMB)->Arg(10 * kMB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlEscaped)->Arg(kMB)->Arg(10 * kMB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Escaped)->Arg(kMB)->Arg(10 * kMB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Unescaped)->Arg(kMB)->Arg(10 * kMB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
