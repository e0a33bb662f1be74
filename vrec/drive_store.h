// The persistent side of one virtual drive, in the vrec folder:
//   driveN.state   tray position and the medium's state (text, replaced atomically)
//   driveN.data    the user data, 2048 bytes per block at block × 2048 (sparse)
//   driveN.audio   audio sectors, 2352 bytes per block at block × 2352 (sparse)
//   driveN.faults  the faults switched on by the admin tool or a test
//   driveN.lock    locked while a unit holds the drive reserved
// Another process (the admin tool, a second program) may replace the state and faults
// files at any time; Refresh picks the new ones up.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "faults.h"
#include "medium.h"

namespace melvaro::vrec {

class TDriveStore {
 public:
  TDriveStore(std::string folder, int index);
  ~TDriveStore();
  TDriveStore(const TDriveStore&) = delete;
  TDriveStore& operator=(const TDriveStore&) = delete;

  // Re-reads the state and faults files when they were replaced since the last read or
  // save. False with `error` set when a file is damaged (the drive then shows no medium).
  bool Refresh(std::string* error);

  TMedium* Medium() { return medium_ ? &*medium_ : nullptr; }
  bool TrayOpen() const { return trayOpen_; }
  void SetTrayOpen(bool open) { trayOpen_ = open; }
  TFaults& Faults() { return faults_; }

  // Writes the state file (tray and medium) / the faults file, atomically.
  bool SaveState(std::string* error);
  bool SaveFaults(std::string* error);

  // Puts a new medium in the drive, replacing what was there: new data files (filled
  // from `imagePath` for a pressed disc), the tray closed, the state saved.
  bool InsertMedium(const TMedium& medium, const std::string& imagePath, std::string* error);
  // Takes the medium out and removes its files.
  bool RemoveMedium(std::string* error);

  // Block I/O on the medium's data files; blocks never written read as zeros.
  bool ReadData(uint32_t block, uint32_t count, uint8_t* out, std::string* error);
  bool WriteData(uint32_t block, uint32_t count, const uint8_t* in, std::string* error);
  bool ReadAudio(uint32_t block, uint32_t count, uint8_t* out, std::string* error);
  bool WriteAudio(uint32_t block, uint32_t count, const uint8_t* in, std::string* error);
  // Forgets every recorded byte (blanking, formatting).
  bool ClearData(std::string* error);

  std::string StatePath() const { return base_ + ".state"; }
  std::string DataPath() const { return base_ + ".data"; }
  std::string AudioPath() const { return base_ + ".audio"; }
  std::string FaultsPath() const { return base_ + ".faults"; }
  // Locked by the unit that holds the drive reserved (RESERVE (6)), so that units of
  // other processes see the reservation.
  std::string LockPath() const { return base_ + ".lock"; }

 private:
  struct TStamp {
    ino_t inode = 0;
    int64_t mtimeNs = -1;
    off_t size = -1;
    bool operator==(const TStamp&) const = default;
  };
  static TStamp StampOf(const std::string& path);
  bool Read(int& fd, const std::string& path, uint64_t offset, size_t length, uint8_t* out,
            std::string* error);
  bool Write(int& fd, const std::string& path, uint64_t offset, size_t length, const uint8_t* in,
             std::string* error);
  void CloseFiles();

  std::string base_;
  std::optional<TMedium> medium_;
  bool trayOpen_ = false;
  TFaults faults_;
  TStamp stateStamp_;
  TStamp faultsStamp_;
  int dataFd_ = -1;
  int audioFd_ = -1;
};

}  // namespace melvaro::vrec
