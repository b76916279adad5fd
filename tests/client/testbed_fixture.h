// Resets the stand-in engine around each test and reads its records in C++ terms.
#ifndef TESTS_CLIENT_TESTBED_FIXTURE_H_
#define TESTS_CLIENT_TESTBED_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/binary_messenger_impl.h"
#include "client/embedder.h"
#include "testbed/engine/testbed_control.h"

namespace flutter {
namespace testing {

class TestbedTest : public ::testing::Test {
 protected:
  void SetUp() override { TestbedReset(); }
  void TearDown() override { TestbedReset(); }

  static std::vector<std::string> Journal() {
    std::vector<std::string> entries;
    for (int32_t i = 0; i < TestbedCallJournalSize(); ++i) {
      entries.emplace_back(TestbedCallJournalEntry(i));
    }
    return entries;
  }

  static void ClearJournal() { TestbedSetCallJournal(1); }

  static std::vector<uint8_t> ResponseBytes(int32_t ticket) {
    size_t size = 0;
    const uint8_t* data = TestbedResponseData(ticket, &size);
    return data == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(data, data + size);
  }
};

// An engine made directly through the C interface and a messenger on it, for tests below the
// engine wrapper.
class MessengerTest : public TestbedTest {
 protected:
  void SetUp() override {
    TestbedTest::SetUp();
    FlutterDesktopEngineProperties properties = {};
    properties.assets_path = properties.icu_data_path = properties.app_library_path = L"x";
    engine = FlutterDesktopEngineCreate(&properties);
    messenger = std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine));
  }

  FlutterDesktopEngineRef engine = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger;
};

}  // namespace testing
}  // namespace flutter

#endif  // TESTS_CLIENT_TESTBED_FIXTURE_H_
