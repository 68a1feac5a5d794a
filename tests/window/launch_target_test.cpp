#include "window/launch_target.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> FromHex(const std::string& hex) {
  std::vector<unsigned char> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

TEST(LaunchTarget, KnownAnswerVectors) {
  FILE* f = std::fopen(QV_TESTDATA_DIR "/vectors.txt", "r");
  ASSERT_NE(f, nullptr) << QV_TESTDATA_DIR "/vectors.txt";
  char line[4096];
  bool in_section = false;
  int checked = 0;
  while (std::fgets(line, sizeof line, f)) {
    if (line[0] == '#') {
      in_section = std::strstr(line, "launch-target") != nullptr;
      continue;
    }
    if (!in_section) continue;
    char key_hex[16], plain_hex[2048], stored_hex[2048];
    if (std::sscanf(line, "%15s %2047s %2047s", key_hex, plain_hex, stored_hex) != 3) continue;
    uint32_t key = static_cast<uint32_t>(std::stoul(key_hex, nullptr, 16));
    std::vector<unsigned char> plain = FromHex(plain_hex), stored = FromHex(stored_hex);
    ASSERT_EQ(plain.size(), stored.size());
    std::vector<unsigned char> work = stored;
    DescrambleLaunchTarget(key, work.data(), static_cast<uint32_t>(work.size()));
    EXPECT_EQ(work, plain) << line;
    DescrambleLaunchTarget(key, work.data(), static_cast<uint32_t>(work.size()));
    EXPECT_EQ(work, stored) << "scrambling is the same operation: " << line;
    ++checked;
  }
  std::fclose(f);
  EXPECT_GE(checked, 3);
}

TEST(LaunchTarget, RoundTripAndKeyStreamDependsOnCount) {
  const char text[] = "https://halcyra.example/x";
  unsigned char a[sizeof text], b[sizeof text];
  std::memcpy(a, text, sizeof text);
  DescrambleLaunchTarget(LAUNCH_TARGET_KEY, a, sizeof text);
  EXPECT_NE(std::memcmp(a, text, sizeof text), 0);
  DescrambleLaunchTarget(LAUNCH_TARGET_KEY, a, sizeof text);
  EXPECT_EQ(std::memcmp(a, text, sizeof text), 0);
  // The same bytes with one more count give another stream.
  std::memcpy(b, text, sizeof text);
  DescrambleLaunchTarget(LAUNCH_TARGET_KEY, b, sizeof text - 1);
  std::memcpy(a, text, sizeof text);
  DescrambleLaunchTarget(LAUNCH_TARGET_KEY, a, sizeof text);
  EXPECT_NE(std::memcmp(a, b, sizeof text - 1), 0);
}

TEST(LaunchTarget, NullAndZeroCountDoNothing) {
  DescrambleLaunchTarget(LAUNCH_TARGET_KEY, nullptr, 27);
  unsigned char byte = 0x5A;
  DescrambleLaunchTarget(LAUNCH_TARGET_KEY, &byte, 0);
  EXPECT_EQ(byte, 0x5A);
}

bool Contains(const unsigned char* bytes, uint32_t count, const char* text) {
  std::string haystack(reinterpret_cast<const char*>(bytes), count);
  return haystack.find(text) != std::string::npos;
}

std::string Plain(const unsigned char* stored, uint32_t count) {
  std::vector<unsigned char> work(stored, stored + count);
  DescrambleLaunchTarget(LAUNCH_TARGET_KEY, work.data(), count);
  EXPECT_EQ(work.back(), 0) << "the terminating zero lies inside the count";
  return std::string(reinterpret_cast<const char*>(work.data()));
}

TEST(LaunchTarget, StoredTargetsAreOurAddressesFillingTheirCounts) {
  std::string header = Plain(HEADER_TARGET, HEADER_TARGET_COUNT);
  std::string done = Plain(DONE_TARGET, DONE_TARGET_COUNT);
  EXPECT_EQ(header, "https://halcyra.example/qv");
  EXPECT_EQ(header.size() + 1, HEADER_TARGET_COUNT);
  EXPECT_EQ(done.rfind("https://halcyra.example/", 0), 0u) << done;
  EXPECT_NE(done.find("thank-you"), std::string::npos) << done;
  EXPECT_EQ(done.size() + 1, DONE_TARGET_COUNT);
  // Not kept in plain form.
  EXPECT_FALSE(Contains(HEADER_TARGET, HEADER_TARGET_COUNT, "halcyra"));
  EXPECT_FALSE(Contains(DONE_TARGET, DONE_TARGET_COUNT, "halcyra"));
}

TEST(LaunchTarget, WipeZeroesEveryByte) {
  unsigned char buffer[LAUNCH_TARGET_MAX];
  std::memset(buffer, 0xA5, sizeof buffer);
  WipeBytes(buffer, sizeof buffer);
  for (unsigned char c : buffer) ASSERT_EQ(c, 0);
}

}  // namespace
