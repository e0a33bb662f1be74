// Fuzz target: the MPEG frame search, the header decoder, the ID3v1 tag reader and the
// whole file analysis, on arbitrary bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "audio/audio_info.h"
#include "audio/file_info_text.h"

using namespace melvaro::audio;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMpegFrameHdr header;
  TMpegFrameHdr::Find(data, size, &header);
  for (size_t i = 0; i + 4 <= size && i < 64; ++i) header.Decode(data + i, size - i);
  TID3v1Tag tag;
  tag.Read(data, size);

  static const int fd = memfd_create("audio-fuzz", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0) return 0;
  if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  TAudioInfo info;
  info.Analyse(fd, static_cast<int64_t>(size));
  DescribeMp3(info);
  return 0;
}
