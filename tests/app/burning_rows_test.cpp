// The cells and totals of the burning lists, and the capacity bar's width and hint.
#include "main/burning_rows.h"

#include <gtest/gtest.h>

namespace melvaro {
namespace {

TEST(BurningRows, RoundingIsToNearestWithHalvesToEven) {
  struct TCase {
    int64_t n, d, expected;
  };
  for (const TCase& c : {TCase{5, 2, 2},
                         {7, 2, 4},
                         {184500, 1000, 184},
                         {185500, 1000, 186},
                         {185400, 1000, 185},
                         {70775, 100, 708},
                         {1, 3, 0},
                         {2, 3, 1},
                         {0, 7, 0},
                         {-5, 2, -2}})
    EXPECT_EQ(RoundHalfEven(c.n, c.d), c.expected) << c.n << "/" << c.d;
}

TEST(BurningRows, TrackCellsFollowTheFile) {
  EXPECT_EQ(TrackCaption(0), "Track 0");
  EXPECT_EQ(TrackCaption(12), "Track 12");
  EXPECT_EQ(TrackType("/home/u/Music/song.mp3"), "MP3");
  EXPECT_EQ(TrackType("/home/u/take.one/voice.Wav"), "WAV");
  EXPECT_EQ(TrackType("/x/a.flac"), "FLAC");
  EXPECT_EQ(TrackType("/x/a.aiffc"), "AIFF");
  EXPECT_EQ(TrackType("/x.d/noextension"), "");
  EXPECT_EQ(TimeText(185), "0 : 3 : 5");
  EXPECT_EQ(TimeText(3725), "1 : 2 : 5");
  EXPECT_EQ(TimeText(0), "0 : 0 : 0");
  EXPECT_EQ(TimeText(SecondsOfLength(185400)), "0 : 3 : 5");
  EXPECT_EQ(TimeText(SecondsOfLength(184500)), "0 : 3 : 4");
}

TEST(BurningRows, TimeCellsCountTheirSecondsAndAnythingElseAsZero) {
  EXPECT_EQ(TimeCellSeconds("0 : 3 : 5"), 185);
  EXPECT_EQ(TimeCellSeconds("1 : 2 : 5"), 3725);
  EXPECT_EQ(TimeCellSeconds("10 : 0 : 0"), 36000);
  for (const char* cell : {"Error", "", "1 : 2", "a : b : c", "1 : 2 : 3 : 4", "-1 : 0 : 0"})
    EXPECT_EQ(TimeCellSeconds(cell), 0) << cell;
}

TEST(BurningRows, SizeCellsUseTheLocaleAndReadBackInAnyLocale) {
  EXPECT_EQ(SizeText(0), "");
  EXPECT_EQ(SizeText(999, QLocale::c()), "999");
  EXPECT_EQ(SizeText(1234567, QLocale::c()), "1,234,567");
  EXPECT_EQ(SizeText(1234567, QLocale(QLocale::German)), "1.234.567");
  for (const QLocale& locale :
       {QLocale::c(), QLocale(QLocale::German), QLocale(QLocale::French),
        QLocale(QLocale::German, QLocale::Switzerland), QLocale(QLocale::English, QLocale::India),
        QLocale(QLocale::Arabic, QLocale::Egypt)}) {
    for (int64_t bytes : {int64_t{1}, int64_t{1000}, int64_t{734003200}, int64_t{4699717632}})
      EXPECT_EQ(SizeCellBytes(SizeText(bytes, locale)), bytes)
          << locale.name().toStdString() << " " << SizeText(bytes, locale).toStdString();
  }
  EXPECT_EQ(SizeCellBytes(""), 0);
  EXPECT_EQ(SizeCellBytes(" "), 0);
  EXPECT_EQ(SizeCellBytes("12 KB"), 0);
}

TEST(BurningRows, CapacityBarOfTheExamples) {
  EXPECT_EQ(TimeHint(3725), "Time(Hour : Minute : Second) - 1 : 2 : 5");
  EXPECT_EQ(TimeBarWidth(3725), 708);
  EXPECT_EQ(TimeBarWidth(74 * 60), 844);
  EXPECT_EQ(TimeBarWidth(0), 0);
  const int64_t mib = 1048576;
  EXPECT_EQ(SizeHint(700 * mib), "700 MB");
  EXPECT_EQ(SizeBarWidth(700 * mib), 129);
  EXPECT_EQ(SizeBarWidth(4482 * mib), 827);
  // Megabytes are rounded before they are scaled: 1.5 MiB is 2 MB, 2.5 MiB is 2 MB.
  EXPECT_EQ(SizeHint(3 * mib / 2), "2 MB");
  EXPECT_EQ(SizeHint(5 * mib / 2), "2 MB");
  EXPECT_EQ(EmptyTimeHint(), "Time(Hour : Minute : Second) - 0 :0 : 0");
  EXPECT_EQ(EmptySizeHint(), "0 MB");
}

}  // namespace
}  // namespace melvaro
