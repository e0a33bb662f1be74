// TCDWriterXP: Melvaro's audio CD writer component. It offers the members of the audio
// CD writer control the program was designed around; this file holds its drive members,
// built on the engine's drive layer over every CD recorder the transport reaches
// (virtual recorders included). A "drive" here is a drive that can write CD-R media,
// numbered from 0 in the order of the engine's drive list.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drive/scsi_device.h"

namespace melvaro {

class TCDWriterXP {
 public:
  // Uses its own drive object on `transport`. The drives are found when the transport
  // is initialised (see Refresh).
  explicit TCDWriterXP(TTransport& transport = ProcessTransport(), TClock& clock = SystemClock());
  ~TCDWriterXP();
  TCDWriterXP(const TCDWriterXP&) = delete;
  TCDWriterXP& operator=(const TCDWriterXP&) = delete;

  // Finds the CD recorders again (after the transport was initialised or reset). No
  // drive is selected afterwards.
  void Refresh();

  int16_t DriveCount() const { return static_cast<int16_t>(drives_.size()); }
  // The three parts of a drive entry: the drive letter ("E"), its name (vendor and
  // product, "MELVARO VIRTUAL CD-RW") and its detail (the firmware revision). Empty
  // for an index out of range.
  QString DriveLetterAt(int16_t index) const;
  QString DriveNameAt(int16_t index) const;
  QString DriveDetailAt(int16_t index) const;
  // Makes drive `index` the one the other members act on; false for an index out of
  // range or a drive that no longer answers.
  bool SelectDrive(int16_t index);
  int16_t SelectedDrive() const { return selected_; }
  // Unlocks and opens the tray of the selected drive; false without a drive or when
  // the drive refused.
  bool EjectDisc();
  // A CD-R or CD-RW that can still be written is in the selected drive and ready.
  bool DiscLoaded();
  // 0 for an empty disc; otherwise the blocks already recorded (at least 1).
  int32_t RecordedSize();
  // The selected drive's fastest CD write speed in CD speed steps (176.4 kB/s), 0
  // without a drive.
  int16_t GetWriterMaxSpeed();
  // Sets the CD write speed in speed steps (0 or less: the fastest); false without a
  // drive.
  bool SetWriterSpeed(int16_t speed);

  // The drive object (the writing members use it).
  TSCSIDevice& Device() { return *device_; }

 private:
  struct TDrive {
    std::string id;  // the engine's drive list entry ("H:T:L,X: ...")
    QString letter;
    QString name;
    QString detail;
  };
  bool Selected() const { return selected_ >= 0; }

  std::unique_ptr<TSCSIDevice> device_;
  std::vector<TDrive> drives_;
  int16_t selected_ = -1;
};

}  // namespace melvaro
