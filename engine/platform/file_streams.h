// The engine's file streams with 64-bit positions: an abstract stream, one over a file
// descriptor, and one that opens or creates a file by name.
#pragma once

#include <cstdint>
#include <string>

namespace melvaro {

class TStreamEx {
 public:
  virtual ~TStreamEx() = default;
  virtual void SetSize(int64_t size) = 0;
  // The count read or written; 0 on failure.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Origin 0 from the start, 1 from the current position, 2 from the end; the new
  // position, -1 on failure.
  virtual int64_t Seek(int64_t offset, uint16_t origin) = 0;
  // Seeks to the end for the size and back.
  int64_t Size();
  int64_t Position() { return Seek(0, 1); }
};

class THandleStreamEx : public TStreamEx {
 public:
  explicit THandleStreamEx(int fd) : fd_(fd) {}
  // Throws std::system_error when the file cannot be cut or extended.
  void SetSize(int64_t size) override;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, uint16_t origin) override;
  int Handle() const { return fd_; }

 protected:
  int fd_;
};

inline constexpr uint16_t fmCreate = 0xFFFF;
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareDenyNone = 0x0040;

class TFileStreamEx : public THandleStreamEx {
 public:
  // fmCreate creates the file (truncating an existing one); any other mode opens it
  // with the access of its low two bits. Throws std::system_error naming the file.
  TFileStreamEx(const std::string& fileName, uint16_t mode);
  ~TFileStreamEx() override;
  TFileStreamEx(const TFileStreamEx&) = delete;
  TFileStreamEx& operator=(const TFileStreamEx&) = delete;
  // Closes now; false when the system reports an error (a write that could not be
  // completed).
  bool Close();
};

}  // namespace melvaro
