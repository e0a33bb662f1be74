// A compilation with a scratch folder for its source files and the messages it reports.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "compilation/compilation.h"
#include "platform/byte_order.h"

namespace melvaro::test {

// Sets the time zone for the life of the object.
class TZone {
 public:
  explicit TZone(const char* zone) {
    if (const char* old = getenv("TZ")) saved_ = old, had_ = true;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TZone() {
    if (had_)
      setenv("TZ", saved_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  TZone(const TZone&) = delete;
  TZone& operator=(const TZone&) = delete;

 private:
  std::string saved_;
  bool had_ = false;
};

class CompilationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/melvaro-compilation-XXXXXX";
    folder = mkdtemp(pattern);
    c.OnMessage = [this](const std::string& m, uint8_t type) { messages.emplace_back(m, type); };
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  // A source file of `size` bytes (byte i is i * 7 + seed).
  std::string File(const std::string& name, size_t size, uint8_t seed = 1) {
    const std::string path = folder + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + seed);
    std::ofstream(path, std::ios::binary) << data;
    return path;
  }
  // Lays out for an image file and builds the header.
  const std::vector<uint8_t>& Header() {
    c.LayoutImage(true);
    c.BuildHeader(true);
    return c.HeaderStream();
  }
  const uint8_t* Block(uint32_t block) { return c.HeaderStream().data() + size_t{block} * 2048; }

  TCompilation c;
  std::string folder;
  std::vector<std::pair<std::string, uint8_t>> messages;
};

}  // namespace melvaro::test
