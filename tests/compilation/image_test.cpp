// Image files written directly: their blocks, file data on its planned blocks, the same
// bytes whether the kernel copies the data or refuses to, and what happens when a source
// file changes or cannot be read.
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
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

// Kernel copy calls in place of copy_file_range. They count their calls and keep what
// they need in statics, since the seam takes a plain function.
struct TKernel {
  static inline int calls = 0;
  static inline int error = 0;
  static inline std::string changing;  // a source changed at the first call
  static inline bool grow = false;
  static inline bool refuseAfterChange = false;

  static void Reset() {
    calls = 0;
    error = 0;
    changing.clear();
    grow = false;
    refuseAfterChange = false;
  }
  static ssize_t Real(int in, off64_t* offIn, int out, off64_t* offOut, size_t n, unsigned f) {
    return SystemKernelCopy()(in, offIn, out, offOut, n, f);
  }
  static ssize_t Refuse(int, off64_t*, int, off64_t*, size_t, unsigned) {
    ++calls;
    errno = error;
    return -1;
  }
  static ssize_t CopyNothing(int, off64_t*, int, off64_t*, size_t, unsigned) {
    ++calls;
    return 0;
  }
  // Every other call copies at most 5000 bytes, the others refuse: refusals come both at
  // the start of a file and in its middle.
  static ssize_t PartThenRefuse(int in, off64_t* offIn, int out, off64_t* offOut, size_t n,
                                unsigned f) {
    if (++calls % 2 == 0) {
      errno = EXDEV;
      return -1;
    }
    return Real(in, offIn, out, offOut, std::min<size_t>(n, 5000), f);
  }
  static ssize_t ChangeSource(int in, off64_t* offIn, int out, off64_t* offOut, size_t n,
                              unsigned f) {
    if (++calls == 1) {
      if (grow)
        std::ofstream(changing, std::ios::binary | std::ios::app) << std::string(5000, 'G');
      else
        std::filesystem::resize_file(changing, 2000);
    }
    if (refuseAfterChange) {
      errno = EOPNOTSUPP;
      return -1;
    }
    return Real(in, offIn, out, offOut, n, f);
  }
};

class DirectImage : public CompilationTest {
 protected:
  void SetUp() override {
    CompilationTest::SetUp();
    TKernel::Reset();
  }
  void TearDown() override {
    TKernel::Reset();
    CompilationTest::TearDown();
  }
};

TEST_F(DirectImage, TheSameBytesWhenTheKernelRefusesToCopy) {
  const std::string boot = File("boot.img", 5000, 4);
  for (const auto& [name, size] :
       std::vector<std::pair<std::string, size_t>>{{"one.bin", 1},
                                                   {"empty.bin", 0},
                                                   {"chunk.bin", 131072},
                                                   {"plus.bin", 131073},
                                                   {"four.bin", 4 * 131072 + 5},
                                                   {"odd.bin", 4999}})
    ASSERT_EQ(c.InsertFile("\\", File(name, size, static_cast<uint8_t>(size)), false), 1);
  c.BootImageEnabled = true;
  c.BootImagePath = boot;
  c.LayoutImage(true);
  ASSERT_EQ(c.BuildImageDirect(folder + "/kernel.iso"), 1);
  const std::string expected = ReadAll(folder + "/kernel.iso");
  ASSERT_GT(expected.size(), 150u * 2048);

  const struct {
    const char* name;
    TKernelCopyCall call;
    int error;
  } cases[] = {
      {"two file systems", TKernel::Refuse, EXDEV},
      {"not for this file system", TKernel::Refuse, EINVAL},
      {"no such call", TKernel::Refuse, ENOSYS},
      {"not supported", TKernel::Refuse, EOPNOTSUPP},
      {"filtered by a sandbox", TKernel::Refuse, EPERM},
      {"copies nothing", TKernel::CopyNothing, 0},
      {"refuses in the middle of a file", TKernel::PartThenRefuse, 0},
      {"no kernel copy at all", nullptr, 0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    TKernel::Reset();
    TKernel::error = k.error;
    c.KernelCopy = k.call;
    std::string done = "not raised";
    c.OnImageDone = [&](const std::string& error) { done = error; };
    const std::string image = folder + "/buffered.iso";
    ASSERT_EQ(c.BuildImageDirect(image), 1);
    EXPECT_EQ(done, "");
    // The header carries the time of the build; everything after it is the copy's.
    const std::string bytes = ReadAll(image);
    const size_t header = c.HeaderStream().size();
    ASSERT_EQ(bytes.size(), expected.size());
    EXPECT_TRUE(bytes.compare(0, header, reinterpret_cast<const char*>(c.HeaderStream().data()),
                              header) == 0);
    EXPECT_TRUE(bytes.compare(header, std::string::npos, expected, header) == 0)
        << "the image differs from the kernel's copy";
    EXPECT_EQ(TKernel::calls > 0, k.call != nullptr);
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(DirectImage, AFailedCopyLeavesTheFormerImage) {
  const struct {
    const char* name;
    TKernelCopyCall call;
    int error;       // what the kernel copy call says
    bool directory;  // the source is replaced by a folder, which cannot be read
    int raised;      // the error raised
  } cases[] = {
      {"the kernel copy fails", TKernel::Refuse, EIO, false, EIO},
      {"the disk is full", TKernel::Refuse, ENOSPC, false, ENOSPC},
      {"the source cannot be read by the kernel", SystemKernelCopy(), 0, true, EISDIR},
      {"the source cannot be read through the buffer", TKernel::Refuse, EXDEV, true, EISDIR},
  };
  const std::string image = folder + "/kept.iso";
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    std::ofstream(image) << "a good image";
    c.ClearCompilation(100, 10);
    const std::string source = File("source.bin", 300000);
    ASSERT_EQ(c.InsertFile("\\", source, false), 1);
    if (k.directory) {
      std::filesystem::remove(source);
      std::filesystem::create_directory(source);
    }
    c.LayoutImage(true);
    TKernel::Reset();
    TKernel::error = k.error;
    c.KernelCopy = k.call;
    bool raised = false;
    c.OnImageDone = [&](const std::string&) { raised = true; };
    try {
      c.BuildImageDirect(image);
      ADD_FAILURE() << "no error raised";
    } catch (const std::system_error& e) {
      EXPECT_NE(std::string(e.what()).find(source), std::string::npos) << e.what();
      EXPECT_EQ(e.code().value(), k.raised);
    }
    EXPECT_FALSE(raised) << "no job end is reported";
    EXPECT_EQ(ReadAll(image), "a good image");
    EXPECT_FALSE(std::filesystem::exists(image + ".part"));
    std::filesystem::remove_all(source);
  }
}

TEST_F(DirectImage, ASourceThatChangesWhileItIsCopiedKeepsLaterFilesOnTheirBlocks) {
  const struct {
    const char* name;
    bool grow, buffered;
  } cases[] = {
      {"shrinks, kernel copy", false, false},
      {"shrinks, buffered copy", false, true},
      {"grows, kernel copy", true, false},
      {"grows, buffered copy", true, true},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    c.ClearCompilation(100, 10);
    messages.clear();
    const std::string first = File("first.bin", 10000, 1);
    const std::string original = ReadAll(first);
    const std::string second = File("second.bin", 3000, 2);
    ASSERT_EQ(c.InsertFile("\\", first, false), 1);
    ASSERT_EQ(c.InsertFile("\\", second, false), 1);
    c.LayoutImage(true);
    TKernel::Reset();
    TKernel::changing = first;
    TKernel::grow = k.grow;
    TKernel::refuseAfterChange = k.buffered;
    c.KernelCopy = TKernel::ChangeSource;
    std::string done;
    c.OnImageDone = [&](const std::string& error) { done = error; };
    // A fresh destination each time: a failed build leaves an existing image as it was.
    const std::string image = folder + "/changed-" + std::to_string(&k - cases) + ".iso";
    ASSERT_EQ(c.BuildImageDirect(image), 1);
    EXPECT_NE(done.find("INTERNAL ERROR 0004 " + first), std::string::npos) << done;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.front().second, 4);
    const std::string bytes = ReadAll(image);
    ASSERT_EQ(bytes.size(), (150u + 5 + 2) * 2048);
    const size_t kept = k.grow ? 10000 : 2000;
    EXPECT_TRUE(bytes.substr(size_t{150} * 2048, kept) == original.substr(0, kept));
    EXPECT_EQ(bytes.substr(size_t{150} * 2048 + kept, 5 * 2048 - kept),
              std::string(5 * 2048 - kept, '\0'))
        << "the rest of the planned blocks is zero, nothing of the grown part";
    EXPECT_EQ(bytes.substr(size_t{155} * 2048, 3000), ReadAll(second)) << "still on block 155";
  }
}

}  // namespace
}  // namespace melvaro::test
