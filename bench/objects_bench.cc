// The object-events hot paths and the recursive creation's walk:
// - one post delivered to 1, 10 and 1,000 observers (time per delivery
//   should stay about flat);
// - 100,000 delayed posts queued and then run by the loop;
// - createDirectoryAtPathRecursive over 20 levels that all exist, which only
//   checks existence, beside std::filesystem::create_directories doing the
//   same for scale.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "extensions/objects/file_manager_extensions.h"
#include "extensions/objects/object_events.h"
#include "platform/strings/unicode.h"

namespace {

class Counter : public fw::Object {
 public:
  void hit(fw::Notification&) { ++hits; }
  long hits = 0;
};

void BM_PostToObservers(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  std::vector<std::shared_ptr<Counter>> observers;
  for (std::size_t i = 0; i < count; ++i) {
    observers.push_back(std::make_shared<Counter>());
    observers.back()->listenForNotification(u"Changed", fw::selector(&Counter::hit));
  }
  auto poster = std::make_shared<fw::Object>();
  for (auto _ : state) poster->postNotificationAboutSelf(u"Changed");
  long total = 0;
  for (const auto& o : observers) {
    total += o->hits;
    o->stopListening();
  }
  if (total != static_cast<long>(state.iterations() * count))
    state.SkipWithError("lost deliveries");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_PostToObservers)->Arg(1)->Arg(10)->Arg(1000);

void BM_DelayedPosts(benchmark::State& state) {
  constexpr int kPosts = 100000;
  auto observer = std::make_shared<Counter>();
  observer->listenForNotification(u"Later", fw::selector(&Counter::hit));
  auto poster = std::make_shared<fw::Object>();
  for (auto _ : state) {
    const long before = observer->hits;
    for (int i = 0; i < kPosts; ++i) poster->postNotificationAboutSelfLater(u"Later");
    while (fw::RunLoop::pendingMessageCount() > 0) fw::RunLoop::runPending();
    if (observer->hits - before != kPosts) state.SkipWithError("lost delayed posts");
  }
  observer->stopListening();
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kPosts);
}
BENCHMARK(BM_DelayedPosts)->Unit(benchmark::kMillisecond);

// 20 directories below a fresh temporary one, made once per benchmark.
struct DeepTree {
  DeepTree() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "fw_bench_XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) return;
    root = tmpl;
    deep = root;
    for (int i = 0; i < 20; ++i) deep /= "level" + std::to_string(i);
    std::filesystem::create_directories(deep);
  }
  ~DeepTree() {
    std::error_code ignored;
    if (!root.empty()) std::filesystem::remove_all(root, ignored);
  }
  std::filesystem::path root;
  std::filesystem::path deep;
};

void BM_CreateDirectoryRecursiveExisting(benchmark::State& state) {
  DeepTree tree;
  const std::u16string path = fw::asciiToUtf16(tree.deep.string());
  const fw::FileManager& manager = fw::FileManager::defaultManager();
  for (auto _ : state) fw::createDirectoryAtPathRecursive(manager, path);
}
BENCHMARK(BM_CreateDirectoryRecursiveExisting);

void BM_StdCreateDirectoriesExisting(benchmark::State& state) {
  DeepTree tree;
  for (auto _ : state) benchmark::DoNotOptimize(std::filesystem::create_directories(tree.deep));
}
BENCHMARK(BM_StdCreateDirectoriesExisting);

}  // namespace

BENCHMARK_MAIN();
