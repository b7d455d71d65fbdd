#pragma once

// The SFTP protocol, version 3 (the one OpenSSH and nearly every server speak): packet types,
// attribute flags, and the pure code that builds requests and takes replies apart. Nothing here
// touches a connection, so every reply a server could send can be tried in a unit test.
//
// A packet is a 4-byte big-endian length, a type byte and its fields; strings are a 4-byte length
// and bytes. Replies carry the id of the request they answer. A server's reply is bounded
// (maxPacket) and every field is checked against what is left of it: a short or lying packet is a
// WireError, never a read past its end.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tidewick::ftp::sftp {

enum class Packet : std::uint8_t {
  Init = 1,
  Version = 2,
  Open = 3,
  Close = 4,
  Read = 5,
  Write = 6,
  Lstat = 7,
  Fstat = 8,
  Setstat = 9,
  Fsetstat = 10,
  Opendir = 11,
  Readdir = 12,
  Remove = 13,
  Mkdir = 14,
  Rmdir = 15,
  Realpath = 16,
  Stat = 17,
  Rename = 18,
  Readlink = 19,
  Status = 101,
  Handle = 102,
  Data = 103,
  Name = 104,
  Attrs = 105,
  Extended = 200,
  ExtendedReply = 201,
};

enum class StatusCode : std::uint32_t {
  Ok = 0,
  Eof = 1,
  NoSuchFile = 2,
  PermissionDenied = 3,
  Failure = 4,
  BadMessage = 5,
  NoConnection = 6,
  ConnectionLost = 7,
  OpUnsupported = 8,
};

namespace open_flags {
inline constexpr std::uint32_t read = 0x01;
inline constexpr std::uint32_t write = 0x02;
inline constexpr std::uint32_t append = 0x04;
inline constexpr std::uint32_t create = 0x08;
inline constexpr std::uint32_t truncate = 0x10;
inline constexpr std::uint32_t exclusive = 0x20;
} // namespace open_flags

// The largest reply we take: a READ answer is what we asked for (at most 256 KiB) and a few bytes,
// a READDIR answer a batch of names that OpenSSH keeps far below this.
inline constexpr std::uint32_t maxPacket = 4 * 1024 * 1024;

class WireError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct Attributes {
  static constexpr std::uint32_t hasSize = 0x1;
  static constexpr std::uint32_t hasOwner = 0x2;
  static constexpr std::uint32_t hasPermissions = 0x4;
  static constexpr std::uint32_t hasTimes = 0x8;
  static constexpr std::uint32_t hasExtended = 0x80000000u;

  std::uint32_t flags = 0;
  std::uint64_t size = 0;
  std::uint32_t uid = 0;
  std::uint32_t gid = 0;
  std::uint32_t permissions = 0; // st_mode: file type and permission bits
  std::uint32_t atime = 0;       // seconds since 1970, UTC
  std::uint32_t mtime = 0;

  bool isFolder() const { return (flags & hasPermissions) && (permissions & 0170000) == 0040000; }
  bool isLink() const { return (flags & hasPermissions) && (permissions & 0170000) == 0120000; }
  bool isRegular() const { return !(flags & hasPermissions) || (permissions & 0170000) == 0100000; }
};

// "drwxr-xr-x" from st_mode, as ls -l shows it (set-id and sticky bits included).
std::string permissionText(std::uint32_t mode);

struct NameEntry {
  std::string name;
  std::string longName; // the server's ls -l line; only for show
  Attributes attributes;
};

// Builds one request. Each starts with its type and id; the length is filled in by finish().
class Request {
public:
  Request(Packet type, std::uint32_t id);
  // INIT carries a version where other requests carry an id.
  static Request init(std::uint32_t version);

  Request& u32(std::uint32_t value);
  Request& u64(std::uint64_t value);
  Request& string(std::string_view value);
  Request& attributes(const Attributes& attributes);
  // The complete packet, length in front.
  const std::string& finish();

private:
  Request() = default;
  std::string m_bytes;
};

// One reply: its type, the id it answers (absent for VERSION) and the fields after it.
struct Reply {
  Packet type{};
  std::uint32_t id = 0;
  std::string body; // the fields after the id
};

// Collects bytes from the channel and hands out whole packets.
class PacketReader {
public:
  void feed(const char* data, std::size_t size);
  // The next whole packet, if there is one. A packet longer than maxPacket, or too short to hold
  // its type and id, throws WireError.
  std::optional<Reply> next();
  bool empty() const { return m_buffer.size() == m_start; }
  void clear();

private:
  std::string m_buffer;
  std::size_t m_start = 0;
};

// Reads the fields of a reply in order; running out of bytes throws WireError.
class FieldReader {
public:
  explicit FieldReader(std::string_view bytes) : m_bytes(bytes) {}
  std::uint32_t u32();
  std::uint64_t u64();
  std::string_view string();
  Attributes attributes();
  std::size_t left() const { return m_bytes.size() - m_at; }

private:
  void need(std::size_t size) const;
  std::string_view m_bytes;
  std::size_t m_at = 0;
};

struct Status {
  StatusCode code = StatusCode::Ok;
  std::string message; // may be empty
};

// The parts of the replies the session reads. Each throws WireError on a malformed body.
Status parseStatus(const Reply& reply);
std::string parseHandle(const Reply& reply);
// The data of a DATA reply, as a view into reply.body.
std::string_view parseData(const Reply& reply);
std::vector<NameEntry> parseNames(const Reply& reply);
Attributes parseAttributes(const Reply& reply);

// The text shown for a status a server gave without a message of its own.
std::string statusText(StatusCode code);

} // namespace tidewick::ftp::sftp
