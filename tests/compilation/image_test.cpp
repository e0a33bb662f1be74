// Image files written directly: their blocks, file data on its planned blocks, and what
// happens when a source file changes or cannot be read.
#include <system_error>

#include "compilation_fixture.h"

namespace melvaro::test {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(CompilationTest, EmptyCompilationImageIs150Blocks) {
  const std::string image = folder + "/empty.iso";
  std::string done = "not raised";
  c.OnImageDone = [&](const std::string& error) { done = error; };
  ASSERT_EQ(c.BuildImageDirect(image), 1);
  EXPECT_EQ(done, "");
  const std::string bytes = ReadAll(image);
  ASSERT_EQ(bytes.size(), 150u * 2048);
  EXPECT_EQ(bytes.substr(0, c.HeaderStream().size()),
            std::string(c.HeaderStream().begin(), c.HeaderStream().end()));
  EXPECT_EQ(bytes.find_first_not_of('\0', c.HeaderStream().size()), std::string::npos);
}

TEST_F(CompilationTest, FileDataOnItsBlocks) {
  const std::string one = File("one.bin", 1, 3);
  const std::string chunk = File("chunk.bin", 131072, 5);
  const std::string plus = File("plus.bin", 131073, 9);
  for (const auto& p : {one, chunk, plus}) ASSERT_EQ(c.InsertFile("\\", p, false), 1);
  const std::string image = folder + "/files.iso";
  ASSERT_EQ(c.BuildImageDirect(image), 1);
  const std::string bytes = ReadAll(image);
  EXPECT_EQ(bytes.size(), (150u + 1 + 64 + 65) * 2048);
  auto at = [&](uint32_t block, size_t n) { return bytes.substr(size_t{block} * 2048, n); };
  EXPECT_EQ(at(150, 1), ReadAll(one));
  EXPECT_EQ(at(150, 2048).substr(1), std::string(2047, '\0')) << "the rest of the block is zero";
  EXPECT_EQ(at(151, 131072), ReadAll(chunk));
  EXPECT_EQ(at(215, 131073), ReadAll(plus));
  EXPECT_EQ(at(215, 65 * 2048).substr(131073), std::string(65 * 2048 - 131073, '\0'));
  EXPECT_TRUE(messages.empty());
}

TEST_F(CompilationTest, AChangedSourceIsReportedAndLaterFilesKeepTheirBlocks) {
  const std::string first = File("first.bin", 10000, 1);
  const std::string second = File("second.bin", 3000, 2);
  ASSERT_EQ(c.InsertFile("\\", first, false), 1);
  ASSERT_EQ(c.InsertFile("\\", second, false), 1);
  c.LayoutImage(true);
  File("first.bin", 2000, 1);  // shrinks after it was added
  std::string done;
  c.OnImageDone = [&](const std::string& error) { done = error; };
  ASSERT_EQ(c.BuildImageDirect(folder + "/changed.iso"), 1);
  EXPECT_NE(done.find("INTERNAL ERROR 0004"), std::string::npos) << "the job reports it";
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.front().second, 4);
  const std::string bytes = ReadAll(folder + "/changed.iso");
  EXPECT_EQ(bytes.substr(size_t{150} * 2048, 2000), ReadAll(first));
  EXPECT_EQ(bytes.substr(size_t{150} * 2048 + 2000, 8000), std::string(8000, '\0'));
  EXPECT_EQ(bytes.substr(size_t{155} * 2048, 3000), ReadAll(second)) << "still on block 155";
}

TEST_F(CompilationTest, AShrunkenSourceLeavesTheFormerImage) {
  const std::string image = folder + "/kept.iso";
  std::ofstream(image) << "a good image";
  const std::string source = File("shrinking.bin", 10000, 1);
  ASSERT_EQ(c.InsertFile("\\", source, false), 1);
  c.LayoutImage(true);
  File("shrinking.bin", 2000, 1);
  std::string done;
  c.OnImageDone = [&](const std::string& error) { done = error; };
  ASSERT_EQ(c.BuildImageDirect(image), 1);
  EXPECT_NE(done.find("INTERNAL ERROR 0004"), std::string::npos) << "the job fails";
  EXPECT_EQ(ReadAll(image), "a good image");
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

TEST_F(CompilationTest, ImageDestinations) {
  const std::string source = File("data.bin", 5000, 3);
  ASSERT_EQ(c.InsertFile("\\", source, false), 1);
  // A directory and a device node are refused and left as they are.
  std::filesystem::create_directory(folder + "/dir");
  EXPECT_THROW(c.BuildImageDirect(folder + "/dir"), std::system_error);
  EXPECT_TRUE(std::filesystem::is_directory(folder + "/dir"));
  EXPECT_THROW(c.BuildImageDirect("/dev/null"), std::system_error);
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  // A symbolic link is followed to its file, and stays a link.
  std::ofstream(folder + "/target.iso") << "old";
  std::filesystem::create_symlink("target.iso", folder + "/link.iso");
  ASSERT_EQ(c.BuildImageDirect(folder + "/link.iso"), 1);
  EXPECT_TRUE(std::filesystem::is_symlink(folder + "/link.iso"));
  EXPECT_EQ(std::filesystem::file_size(folder + "/target.iso"), 153u * 2048);
  // A file of the old temporary name is someone else's.
  std::ofstream(folder + "/new.iso.part") << "not ours";
  ASSERT_EQ(c.BuildImageDirect(folder + "/new.iso"), 1);
  EXPECT_EQ(ReadAll(folder + "/new.iso.part"), "not ours");
  EXPECT_EQ(std::filesystem::file_size(folder + "/new.iso"), 153u * 2048);
}

TEST_F(CompilationTest, AnUnreadableSourceLeavesTheFormerImage) {
  const std::string image = folder + "/kept.iso";
  std::ofstream(image) << "a good image";
  const std::string source = File("vanishing.bin", 100);
  ASSERT_EQ(c.InsertFile("\\", source, false), 1);
  std::filesystem::remove(source);
  EXPECT_THROW(c.BuildImageDirect(image), std::system_error);
  EXPECT_EQ(ReadAll(image), "a good image");
  EXPECT_FALSE(std::filesystem::exists(image + ".part"));
}

}  // namespace
}  // namespace melvaro::test
