#include "settings/profile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "qt_printers.h"

namespace melvaro {
namespace {

const QString kGeneral = QStringLiteral("General");

TProfile Parsed(const char* text) {
  return TProfile::Parse(QByteArray(text));
}

TEST(Profile, LooksUpSectionsAndKeysWithoutRegardToCaseAndKeepsBlanksInKeys) {
  const TProfile profile = Parsed(
      "[General]\r\n"
      "Auto Eject_No Disc=1\r\n"
      "  Version  =  2.9  \r\n"
      "[Burn MP3]\r\n"
      "SessionNo=-1\r\n");
  EXPECT_EQ(profile.ReadString(QStringLiteral("general"), QStringLiteral("VERSION")),
            QStringLiteral("2.9"));
  EXPECT_TRUE(
      profile.ReadBool(QStringLiteral("GENERAL"), QStringLiteral("auto eject_no disc"), false));
  EXPECT_FALSE(profile.HasKey(kGeneral, QStringLiteral("AutoEject_No Disc")));
  EXPECT_EQ(profile.ReadInteger(QStringLiteral("burn mp3"), QStringLiteral("sessionno"), 0), -1);
  EXPECT_EQ(profile.Sections(), QStringList({kGeneral, QStringLiteral("Burn MP3")}));
  EXPECT_EQ(profile.Keys(kGeneral),
            QStringList({QStringLiteral("Auto Eject_No Disc"), QStringLiteral("Version")}));
}

TEST(Profile, ReadsTypedValuesWithTheirDefaults) {
  const TProfile profile = Parsed(
      "[S]\n"
      "Empty=\n"
      "Two=2\n"
      "Zero=0\n"
      "Word=yes\n"
      "Big=14653050\n"
      "Partly=12abc\n");
  const QString s = QStringLiteral("S");
  struct TCase {
    const char* key;
    qint64 integer;  // with default 7
    bool boolean;    // with default true
  } cases[] = {
      {"Two", 2, true},        {"Zero", 0, false},  {"Word", 7, true},    {"Empty", 7, true},
      {"Big", 14653050, true}, {"Partly", 7, true}, {"Missing", 7, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(profile.ReadInteger(s, QLatin1String(c.key), 7), c.integer);
    EXPECT_EQ(profile.ReadBool(s, QLatin1String(c.key), true), c.boolean);
  }
  EXPECT_EQ(profile.ReadString(s, QStringLiteral("Empty"), QStringLiteral("d")), QString());
  EXPECT_EQ(profile.ReadString(s, QStringLiteral("Missing"), QStringLiteral("d")),
            QStringLiteral("d"));
  EXPECT_EQ(
      profile.ReadString(QStringLiteral("Nowhere"), QStringLiteral("Two"), QStringLiteral("d")),
      QStringLiteral("d"));
}

TEST(Profile, ToleratesDamagedLinesAndKeepsThemWhenWritten) {
  const char* text =
      "\xEF\xBB\xBF"
      "stray=before any section\n"
      "; a comment\n"
      "[General\n"
      "no equals sign here\n"
      "=value without key\n"
      "Version=3.0\n"
      "Version=4.0\n"
      "\n"
      "[Tips]\n"
      "Count=2\n";
  const TProfile profile = Parsed(text);
  // The header without "]" still names its section; the first of two keys is read.
  EXPECT_EQ(profile.ReadString(kGeneral, QStringLiteral("Version")), QStringLiteral("3.0"));
  // Keys before any section belong to none.
  EXPECT_FALSE(profile.HasKey(kGeneral, QStringLiteral("stray")));
  EXPECT_EQ(profile.ReadInteger(QStringLiteral("tips"), QStringLiteral("count"), 0), 2);
  // Everything comes back as it was (less the byte-order mark).
  EXPECT_EQ(profile.Text(), QByteArray(text + 3));
}

TEST(Profile, WritesIntoTheFirstMatchingSectionAndKey) {
  TProfile profile = Parsed(
      "[general]\n"
      "version=1\n"
      "Buffer=6\n"
      "\n"
      "[Sound]\n"
      "DB=1\n");
  profile.WriteString(kGeneral, QStringLiteral("Version"), QStringLiteral("  2.7 "));
  profile.WriteBool(kGeneral, QStringLiteral("Display Tips"), true);
  profile.WriteInteger(QStringLiteral("Interface"), QStringLiteral("BK_Color"), 14653050);
  profile.WriteBool(QStringLiteral("sound"), QStringLiteral("db"), false);
  profile.WriteString(kGeneral, QStringLiteral("Work Dir"), QStringLiteral("/a\nb\r\nc"));
  EXPECT_EQ(profile.Text(), QByteArray("[general]\n"
                                       "version=2.7\n"
                                       "Buffer=6\n"
                                       "Display Tips=1\n"
                                       "Work Dir=/a b c\n"
                                       "\n"
                                       "[Sound]\n"
                                       "DB=0\n"
                                       "[Interface]\n"
                                       "BK_Color=14653050\n"));
  // What was written reads back.
  const TProfile again = TProfile::Parse(profile.Text());
  EXPECT_EQ(again.ReadString(kGeneral, QStringLiteral("work dir")), QStringLiteral("/a b c"));
  EXPECT_FALSE(again.ReadBool(QStringLiteral("Sound"), QStringLiteral("DB"), true));

  profile.EraseKey(kGeneral, QStringLiteral("BUFFER"));
  profile.EraseSection(QStringLiteral("SOUND"));
  EXPECT_FALSE(profile.HasKey(kGeneral, QStringLiteral("Buffer")));
  EXPECT_FALSE(profile.HasSection(QStringLiteral("Sound")));
  EXPECT_TRUE(profile.HasSection(QStringLiteral("Interface")));
}

TEST(Profile, KeepsUtf8Values) {
  TProfile profile;
  const QString folder = QStringLiteral("/home/zoë/Музыка | *");
  profile.WriteString(QStringLiteral("Burn Audio CD"), QStringLiteral("Work Dir"), folder);
  EXPECT_EQ(TProfile::Parse(profile.Text())
                .ReadString(QStringLiteral("Burn Audio CD"), QStringLiteral("Work Dir")),
            folder);
}

TEST(ProfileFile, MissingFileGivesDefaultsAndSaveReplacesTheWholeFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("Option.ini"));
  bool loaded = true;
  TProfile profile = TProfile::Load(path, &loaded);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(profile.ReadString(kGeneral, QStringLiteral("Version"), QStringLiteral("2.7")),
            QStringLiteral("2.7"));

  profile.WriteString(kGeneral, QStringLiteral("Buffer"), QStringLiteral("20"));
  QString error;
  ASSERT_TRUE(profile.Save(path, &error)) << error.toStdString();
  const TProfile read = TProfile::Load(path, &loaded);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(read.ReadString(kGeneral, QStringLiteral("Buffer")), QStringLiteral("20"));
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList({QStringLiteral("Option.ini")}));
}

TEST(ProfileFile, AFailedSaveLeavesWhatWasThereAndSaysWhy) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // A folder stands where the file should go: it cannot be replaced by a file.
  const QString path = dir.filePath(QStringLiteral("Option.ini"));
  ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/kept")));
  TProfile profile = TProfile::Parse("[General]\nBuffer=6\n");
  QString error;
  EXPECT_FALSE(profile.Save(path, &error));
  EXPECT_TRUE(error.contains(QStringLiteral("Option.ini"))) << error.toStdString();
  EXPECT_TRUE(QFileInfo(path + QStringLiteral("/kept")).isDir());
  // No temporary file is left beside it.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({QStringLiteral("Option.ini")}));
}

}  // namespace
}  // namespace melvaro
