// Task files: the bytes written, and the readers that take the fields from the right.
#include "main/task_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace melvaro {
namespace {

TEST(TaskFiles, LinesAreWrittenWithCrLfInUtf8) {
  EXPECT_EQ(CdtText({{"C:\\Music\\song.mp3", "MP3", "0 : 3 : 5"}}),
            QByteArray("C:\\Music\\song.mp3|MP3/0 : 3 : 5\r\n"));
  EXPECT_EQ(CdtText({{"/home/u/Music/song.mp3", "MP3", "0 : 3 : 5"},
                     {"/home/u/Müsik/tänzchen.wav", "WAV", "Error"}}),
            QByteArray("/home/u/Music/song.mp3|MP3/0 : 3 : 5\r\n"
                       "/home/u/M\xC3\xBCsik/t\xC3\xA4nzchen.wav|WAV/Error\r\n"));
  EXPECT_EQ(MptText({{"/home/u/Music/", "12,345,678", ""}, {"/a.mp3", "", "x"}}),
            QByteArray("/home/u/Music/*12,345,678/\r\n/a.mp3*/x\r\n"));
  EXPECT_EQ(CdtText({}), QByteArray());
  EXPECT_EQ(MptText({}), QByteArray());
}

TEST(TaskFiles, AudioCdRowsReadBackWhateverTheirPathsHold) {
  const std::vector<TTrackCells> rows = {
      {"C:\\Music\\song.mp3", "MP3", "0 : 3 : 5"},
      {"/home/u/My Music/a b.mp3", "MP3", "1 : 2 : 5"},
      {"/home/u/x|y/z|MP3/w.mp3", "MP3", "0 : 0 : 1"},
      {"/home/u/st*r/*.wav", "WAV", "Error"},
      {"/home/u/日本語/Ünïcødé ♫.mp3", "MP3", "0 : 10 : 0"},
      {"/home/u/a/b/c.flac", "FLAC", "2 : 0 : 0"},
      {"", "", ""},
  };
  EXPECT_EQ(ParseCdt(CdtText(rows)), rows);
}

TEST(TaskFiles, Mp3DiscRowsReadBackWhateverTheirPathsHold) {
  const std::vector<TDiscCells> rows = {
      {"/home/u/Music/", "12,345,678", ""},
      {"/home/u/a b/c d.mp3", "4.096", ""},
      {"/home/u/st*r/1*2/*.mp3", "1 234", ""},
      {"/home/u/bar|and/slash/", "", ""},
      {"/home/u/日本語/♫.mp3", "999", "carried text"},
      {"/home/u/x*5/y.mp3", "7", "a/b*c"},
      {"", "", ""},
  };
  EXPECT_EQ(ParseMpt(MptText(rows)), rows);
}

TEST(TaskFiles, MalformedLinesGiveShortenedCells) {
  struct TCdtCase {
    const char* line;
    TTrackCells cells;
  };
  for (const TCdtCase& c : {TCdtCase{"abc/def", {"", "abc", "def"}},
                            {"/home/u/song.mp3", {"", "/ho", "song.mp3"}},
                            {"x|MP3", {"x", "MP3", "x|MP3"}},
                            {"x|MPEG4", {"x", "MPE", "x|MPEG4"}},
                            {"", {"", "", ""}},
                            {"|/", {"", "", ""}}})
    EXPECT_EQ(ParseCdtLine(QString::fromUtf8(c.line)), c.cells) << c.line;
  struct TMptCase {
    const char* line;
    TDiscCells cells;
  };
  for (const TMptCase& c : {TMptCase{"abc/def", {"", "abc", "def"}},
                            {"a*b", {"a", "", "a*b"}},
                            {"/a*b*KB/c", {"/a*b", "KB", "c"}},
                            {"plain", {"", "", "plain"}},
                            {"", {"", "", ""}}})
    EXPECT_EQ(ParseMptLine(QString::fromUtf8(c.line)), c.cells) << c.line;
}

TEST(TaskFiles, LinesEndAtCrLfOrCrLf) {
  EXPECT_EQ(TaskLines(""), QStringList());
  EXPECT_EQ(TaskLines("\r\n"), QStringList({""}));
  EXPECT_EQ(TaskLines("a\r\nb\nc\rd"), QStringList({"a", "b", "c", "d"}));
  EXPECT_EQ(TaskLines("a\n\nb\r\n"), QStringList({"a", "", "b"}));
  EXPECT_EQ(TaskLines("\xEF\xBB\xBF"
                      "a\r\n"),
            QStringList({"a"}));
  // An 8-bit file of the old program: Latin-1.
  EXPECT_EQ(TaskLines("C:\\M\xFCsik\\a.mp3|MP3/0 : 0 : 1\r\n"),
            QStringList({QString::fromUtf8("C:\\Müsik\\a.mp3|MP3/0 : 0 : 1")}));
}

TEST(TaskFiles, FilesAreReplacedWholeAndFailuresReported) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("list.cdt");
  QString error;
  ASSERT_TRUE(WriteTaskFile(path, "old contents that are longer\r\n", &error))
      << error.toStdString();
  ASSERT_TRUE(WriteTaskFile(path, "a|MP3/0 : 0 : 1\r\n", &error)) << error.toStdString();
  EXPECT_EQ(ReadTaskFile(path, &error).value_or("?"), QByteArray("a|MP3/0 : 0 : 1\r\n"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"list.cdt"}));

  error.clear();
  EXPECT_FALSE(WriteTaskFile(dir.filePath("list.cdt/inside.cdt"), "x", &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(ReadTaskFile(path, &error).value_or("?"), QByteArray("a|MP3/0 : 0 : 1\r\n"));
  error.clear();
  EXPECT_FALSE(ReadTaskFile(dir.filePath("missing.mpt"), &error));
  EXPECT_FALSE(error.isEmpty());

  EXPECT_EQ(WithDefaultExtension("/x/list", "cdt"), "/x/list.cdt");
  EXPECT_EQ(WithDefaultExtension("/x/list.mpt", "cdt"), "/x/list.mpt");
  EXPECT_EQ(WithDefaultExtension("", "cdt"), "");
}

}  // namespace
}  // namespace melvaro
