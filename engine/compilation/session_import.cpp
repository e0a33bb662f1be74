// ImportSession: the file system of a recorded session read into the tree, every file
// an Imported entry at its extent; ExtractFile: one imported file copied off the disc.
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>
#include <system_error>

#include "compilation/compilation.h"
#include "compilation/directory_reader.h"
#include "compilation/session_start.h"
#include "drive/messages.h"
#include "drive/scsi_device.h"
#include "platform/byte_order.h"
#include "platform/file_dates.h"

namespace melvaro {

namespace {

// Recording date of a directory record as a packed file date; 0 for anything that is
// no valid date and time (which the tree turns into the time of the import).
int32_t PackedDate(const uint8_t* d) {
  const int year = 1900 + d[0];
  if (year < 1980 || year > 2099 || d[1] < 1 || d[1] > 12 || d[2] < 1 || d[2] > 31 || d[3] > 23 ||
      d[4] > 59 || d[5] > 59)
    return 0;
  const int32_t packed =
      static_cast<int32_t>(static_cast<uint32_t>((year - 1980) << 9 | d[1] << 5 | d[2]) << 16 |
                           static_cast<uint32_t>(d[3] << 11 | d[4] << 5 | d[5] / 2));
  TDateTime valid;  // rejects days past the month's end
  return DosDateToDateTime(packed, valid) ? packed : 0;
}

constexpr int kMaxDepth = 100;

// A supplementary descriptor is a Joliet one when it names UCS-2 level 1, 2 or 3 in
// its escape sequences (bytes 88-119); other supplementary and enhanced descriptors
// hold names in encodings this reader does not know.
bool IsJoliet(const uint8_t* descriptor) {
  for (size_t at = 88; at + 3 <= 120; ++at)
    if (descriptor[at] == '%' && descriptor[at + 1] == '/' &&
        (descriptor[at + 2] == '@' || descriptor[at + 2] == 'C' || descriptor[at + 2] == 'E'))
      return true;
  return false;
}

}  // namespace

bool TCompilation::ImportSession(uint8_t session, TDEntry* root) {
  if (!Drive) return false;
  TSCSIDevice& d = *Drive;
  if (!root) root = RootDir();
  // The start is looked for before the session is named, so that the name is the
  // session actually found; what the search reports follows that line.
  std::vector<std::string> found;
  TSessionStart where;
  const int result =
      FindSessionStart(d, session, where, [&](const std::string& line) { found.push_back(line); });
  if (result == 0) return false;
  session = where.session;
  Message(">>> " + msg::Format(msg::kImportingSession, session), 1);
  for (const std::string& line : found) Message(line, 1);
  if (result < 0) {
    Message(">>> " + std::string(msg::kErrorImportingSession) + " # " + std::to_string(session), 4);
    return false;
  }
  const uint32_t start = where.block;

  UnreadDirectories.clear();
  std::set<uint32_t> visited;  // directory extents read: a loop on the disc ends there
  std::function<void(uint32_t, uint32_t, TDEntry*, bool, int, const std::string&)> readExtent =
      [&](uint32_t extent, uint32_t length, TDEntry* dir, bool joliet, int depth,
          const std::string& path) {
        if (depth > kMaxDepth || !visited.insert(extent).second) return;
        const uint32_t blocks = (length + 2047) / 2048;
        for (uint32_t b = 0; b < blocks; ++b) {
          uint8_t block[2048] = {};
          if (!d.ReadSectors(extent + b, 1, 2048, block)) {
            UnreadDirectories.push_back((path.empty() ? "\\" : path) + " (block " +
                                        std::to_string(extent + b) + ")");
            Message(">>> " + std::string(msg::kErrorImportingSession) + ": CANNOT READ BLOCK " +
                        std::to_string(extent + b) + " OF " + (path.empty() ? "\\" : path) + " [" +
                        d.LastErrorText() + "]",
                    4);
            return;
          }
          ReadDirectoryBlock(block, sizeof block, joliet, b == 0, [&](const TRecordedEntry& e) {
            if (e.nameTooLong) {
              Message(std::string(msg::kImportNameTooLong) + "\n\r" + e.name, 4);
              return;
            }
            TSearchRec rec;
            rec.Name = e.name;  // its 8.3 alternate name is made when it enters the tree
            rec.Size = e.length;
            rec.Time = PackedDate(e.date);
            rec.Attr = (e.flags & 0x01) ? faHidden : 0;
            if (e.flags & 0x02) {
              rec.Attr |= faDirectory;
              if (TDEntry* sub = AddDirectory(dir, rec))
                readExtent(e.extent, e.length, sub, joliet, depth + 1, path + "\\" + e.name);
            } else {
              AddFileEntry(dir, rec, false, e.extent, "");
            }
          });
        }
      };

  for (bool joliet : {true, false}) {
    for (uint32_t block = start + 16; block <= start + 36; ++block) {
      uint8_t descriptor[2048] = {};
      if (!d.ReadSectors(block, 1, 2048, descriptor)) continue;
      if (std::memcmp(descriptor + 1, "CD001", 5) != 0) continue;
      if (descriptor[0] == 255) break;
      if (descriptor[0] != (joliet ? 2 : 1)) continue;
      if (joliet && (descriptor[6] != 1 || !IsJoliet(descriptor))) continue;
      readExtent(GetLe32(descriptor + 158), GetLe32(descriptor + 166), root, joliet, 0, "");
      return true;
    }
  }
  Message(">>> " + msg::Format(msg::kImportIsoNotFound, session), 4);
  return false;
}

int TCompilation::ExtractFile(const TFEntry* entry, const std::string& destName) {
  if (!Drive || !entry) return 0;
  TSCSIDevice& d = *Drive;
  Message(">>> " + msg::FormatText(msg::kExtractingFile, {entry->LongName, destName}), 1);
  // Written beside its name and renamed over it once complete.
  const std::string temp = destName + ".part";
  FILE* out = std::fopen(temp.c_str(), "wb");
  if (!out) throw std::system_error(errno, std::generic_category(), destName);
  ReadFailureBlock.reset();
  std::vector<uint8_t> buffer(65536, 0);
  uint32_t block = entry->IsoLocation;
  int64_t remaining = entry->IsoLength;
  bool ok = true;
  while (remaining > 0 && ok) {
    const uint32_t take = static_cast<uint32_t>(std::min<int64_t>(remaining, 63488));
    const uint16_t blocks = static_cast<uint16_t>((take + 2047) / 2048);
    if (!d.ReadSectors(block, blocks, blocks * 2048u, buffer.data())) {
      // The block that failed, not the first of the read.
      uint32_t failed = block;
      std::string error = d.LastErrorText();
      for (uint16_t b = 0; b < blocks; ++b) {
        if (!d.ReadSectors(block + b, 1, 2048, buffer.data())) {
          failed = block + b;
          error = d.LastErrorText();
          break;
        }
      }
      ReadFailureBlock = failed;
      Message(">>> " + msg::FormatText(msg::kExtractingFile, {entry->LongName, destName}) +
                  ": CANNOT READ BLOCK " + std::to_string(failed) + " [" + error + "]",
              4);
      ok = false;
      break;
    }
    ok = std::fwrite(buffer.data(), 1, take, out) == take;
    block += blocks;
    remaining -= take;
  }
  ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    unlink(temp.c_str());
    return 0;
  }
  const TDateFields f = DecodeDateTime(entry->DateTime);
  std::tm t{};
  t.tm_year = f.year - 1900, t.tm_mon = f.month - 1, t.tm_mday = f.day;
  t.tm_hour = f.hour, t.tm_min = f.minute, t.tm_sec = f.second, t.tm_isdst = -1;
  const timeval times[2] = {{std::mktime(&t), 0}, {std::mktime(&t), 0}};
  utimes(temp.c_str(), times);
  if (rename(temp.c_str(), destName.c_str()) != 0) {
    unlink(temp.c_str());
    throw std::system_error(errno, std::generic_category(), destName);
  }
  return 1;
}

}  // namespace melvaro
