// The whole client path of one "set" call with the stand-in engine: delivery on
// "veskaro/gamma", messenger, method channel, decode, a handler that answers success, the
// encoded envelope, the reply under the messenger lock, and the engine recording it. The
// codec's decode alone, measured in the same run, is the reference.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/median_reporter.h"
#include "bench/set_call_message.h"
#include "client/engine_project.h"
#include "client/flutter_engine.h"
#include "client/method_channel.h"
#include "codec/standard_method_codec.h"
#include "testbed/engine/testbed_control.h"

namespace {

constexpr char kChannel[] = "veskaro/gamma";

void BM_DecodeSetCall(benchmark::State& state) { bench::DecodeSetCall(state, "allocs/call"); }

void BM_ClientPathSetCall(benchmark::State& state) {
  TestbedReset();
  // The engine's call journal would grow with every call; the path is what is measured.
  TestbedSetCallJournal(0);
  const std::vector<uint8_t> message = bench::SetCallMessage();
  {
    flutter::FlutterEngine engine(flutter::EngineProject(L"data"));
    flutter::MethodChannel channel(engine.GetMessenger(), kChannel,
                                   &flutter::StandardMethodCodec::GetInstance());
    channel.SetMethodCallHandler(
        [](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
          benchmark::DoNotOptimize(call.Arguments());
          result->Success();
        });

    // One call outside the loop: it must be answered with the success envelope 00 00, and it
    // sizes the engine's response buffer, which the loop then reuses.
    const int32_t first = TestbedDeliverMessage(kChannel, message.data(), message.size());
    size_t size = 0;
    const uint8_t* reply = TestbedResponseData(first, &size);
    if (size != 2 || reply[0] != 0 || reply[1] != 0) {
      state.SkipWithError("the set call was not answered with success");
      return;
    }

    bench::AllocationMeter meter(state, "allocs/call");
    for (auto _ : state) {
      TestbedRecycleResponses();
      const int32_t ticket = TestbedDeliverMessage(kChannel, message.data(), message.size());
      benchmark::DoNotOptimize(ticket);
    }
  }
  TestbedReset();
}

BENCHMARK(BM_DecodeSetCall)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ClientPathSetCall)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  bench::MedianReporter reporter;
  if (!reporter.RunAll(&argc, argv)) return 1;
  const double path = reporter.Time("BM_ClientPathSetCall");
  const double decode = reporter.Time("BM_DecodeSetCall");
  if (path > 0 && decode > 0) {
    std::printf("\nOne \"set\" call through the client path (medians, CPU time):\n");
    std::printf("  path    %8.0f ns/call  %5.1f allocations/call  (target < 2000 ns, <= 12)\n",
                path, reporter.Counter("BM_ClientPathSetCall", "allocs/call"));
    std::printf("  decode  %8.0f ns/call  %5.1f allocations/call\n", decode,
                reporter.Counter("BM_DecodeSetCall", "allocs/call"));
    std::printf("  ratio   %8.2fx the decode alone\n", path / decode);
  }
  return 0;
}
