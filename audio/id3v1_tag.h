// The 128-byte ID3v1 tag at the end of an MP3 file, with the ID3v1.1 track number, and
// the 148 genre names (ID3v1 0 to 79, the Winamp extension 80 to 147).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace melvaro::audio {

struct TGenre {
  int code;
  std::string_view name;
};

// The genres in code order; each entry keeps its code when a copy is sorted.
const std::vector<TGenre>& GenreTable();
// The genres sorted by name, ignoring case.
std::vector<TGenre> GenresByName();
// The name of a genre code; empty for a code without one.
std::string_view GenreName(int code);

class TID3v1Tag {
 public:
  enum TField { kTitle = 1, kArtist = 2, kYear = 3, kAlbum = 4, kComment = 5 };

  // From a buffer: found when it holds at least 128 bytes beginning with "TAG".
  void Read(const uint8_t* buffer, size_t count);
  // The last 128 bytes of the range [start, end) of an open file; not found when the
  // range is shorter. Throws std::system_error when reading fails.
  void ReadRange(int fd, int64_t start, int64_t end);
  // The file's last 128 bytes. Throws std::system_error when the file cannot be read.
  void ReadFile(const std::string& path);

  // Sets a text field, cut to its length (the comment has 28 characters once a track
  // number is set); marks the tag changed when the value differs.
  void SetField(TField field, const std::string& value);
  void SetGenre(int code);
  // A track of 0 makes the tag ID3v1.0 again.
  void SetTrack(int track);

  // The 128 bytes of the tag; clears Changed.
  std::array<uint8_t, 128> Build();
  // Writes the tag over the file's tag, or appends it when the file has none. When the
  // write fails the file keeps its former content. Throws std::system_error.
  void WriteToFile(const std::string& path);
  // Cuts the file's tag off when its last 128 bytes begin with "TAG"; otherwise leaves
  // the file alone. Throws std::system_error.
  static void DeleteFromFile(const std::string& path);

  bool Found() const { return found_; }
  bool Changed() const { return changed_; }
  bool Version10() const { return version10_; }
  const std::string& Title() const { return title_; }
  const std::string& Artist() const { return artist_; }
  const std::string& Album() const { return album_; }
  const std::string& Year() const { return year_; }
  const std::string& Comment() const { return comment_; }
  int Track() const { return track_; }
  int Genre() const { return genre_; }
  std::string_view GenreText() const { return GenreName(genre_); }

 private:
  bool found_ = false;
  bool changed_ = false;
  bool version10_ = true;
  std::string title_, artist_, album_, year_, comment_;
  int track_ = 0;
  int genre_ = 0;
};

}  // namespace melvaro::audio
