#include "ftp/sftp/SftpWire.h"

namespace tidewick::ftp::sftp {

namespace {

void putU32(std::string& out, std::uint32_t value) {
  const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
                         static_cast<char>(value)};
  out.append(bytes, 4);
}

std::uint32_t getU32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return (std::uint32_t{u[0]} << 24) | (std::uint32_t{u[1]} << 16) | (std::uint32_t{u[2]} << 8) | u[3];
}

void expect(const Reply& reply, Packet type, const char* what) {
  if (reply.type != type) throw WireError(std::string("The server answered with something else than ") + what);
}

} // namespace

std::string permissionText(std::uint32_t mode) {
  std::string text(10, '-');
  switch (mode & 0170000) {
    case 0040000: text[0] = 'd'; break;
    case 0120000: text[0] = 'l'; break;
    case 0020000: text[0] = 'c'; break;
    case 0060000: text[0] = 'b'; break;
    case 0010000: text[0] = 'p'; break;
    case 0140000: text[0] = 's'; break;
    default: break;
  }
  const char letters[] = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i)
    if (mode & (0400u >> i)) text[1 + i] = letters[i];
  const auto special = [&](int at, std::uint32_t bit, char withX, char withoutX) {
    if (mode & bit) text[at] = text[at] == 'x' ? withX : withoutX;
  };
  special(3, 04000, 's', 'S');
  special(6, 02000, 's', 'S');
  special(9, 01000, 't', 'T');
  return text;
}

Request::Request(Packet type, std::uint32_t id) {
  m_bytes.assign(4, '\0');
  m_bytes.push_back(static_cast<char>(type));
  putU32(m_bytes, id);
}

Request Request::init(std::uint32_t version) {
  Request request;
  request.m_bytes.assign(4, '\0');
  request.m_bytes.push_back(static_cast<char>(Packet::Init));
  putU32(request.m_bytes, version);
  return request;
}

Request& Request::u32(std::uint32_t value) {
  putU32(m_bytes, value);
  return *this;
}

Request& Request::u64(std::uint64_t value) {
  putU32(m_bytes, static_cast<std::uint32_t>(value >> 32));
  putU32(m_bytes, static_cast<std::uint32_t>(value));
  return *this;
}

Request& Request::string(std::string_view value) {
  putU32(m_bytes, static_cast<std::uint32_t>(value.size()));
  m_bytes.append(value);
  return *this;
}

Request& Request::attributes(const Attributes& a) {
  // Extended attributes are never sent: no server needs them for what we set.
  const std::uint32_t flags = a.flags & ~Attributes::hasExtended;
  u32(flags);
  if (flags & Attributes::hasSize) u64(a.size);
  if (flags & Attributes::hasOwner) u32(a.uid).u32(a.gid);
  if (flags & Attributes::hasPermissions) u32(a.permissions);
  if (flags & Attributes::hasTimes) u32(a.atime).u32(a.mtime);
  return *this;
}

const std::string& Request::finish() {
  const auto length = static_cast<std::uint32_t>(m_bytes.size() - 4);
  m_bytes[0] = static_cast<char>(length >> 24);
  m_bytes[1] = static_cast<char>(length >> 16);
  m_bytes[2] = static_cast<char>(length >> 8);
  m_bytes[3] = static_cast<char>(length);
  return m_bytes;
}

void PacketReader::feed(const char* data, std::size_t size) {
  // Consumed bytes are dropped once they are most of the buffer, so it never grows beyond about
  // two packets.
  if (m_start > 0 && m_start >= m_buffer.size() / 2) {
    m_buffer.erase(0, m_start);
    m_start = 0;
  }
  m_buffer.append(data, size);
}

std::optional<Reply> PacketReader::next() {
  const std::size_t available = m_buffer.size() - m_start;
  if (available < 4) return std::nullopt;
  const char* p = m_buffer.data() + m_start;
  const std::uint32_t length = getU32(p);
  if (length > maxPacket) throw WireError("The server sent a packet of " + std::to_string(length) + " bytes");
  if (length < 1) throw WireError("The server sent an empty packet");
  if (available < 4 + std::size_t{length}) return std::nullopt;
  Reply reply;
  reply.type = static_cast<Packet>(static_cast<unsigned char>(p[4]));
  std::size_t fields = 5;
  if (reply.type != Packet::Version) {
    if (length < 5) throw WireError("The server sent a packet too short to hold a request id");
    reply.id = getU32(p + 5);
    fields = 9;
  }
  reply.body.assign(p + fields, 4 + length - fields);
  m_start += 4 + length;
  if (m_start == m_buffer.size()) {
    m_buffer.clear();
    m_start = 0;
  }
  return reply;
}

void PacketReader::clear() {
  m_buffer.clear();
  m_start = 0;
}

void FieldReader::need(std::size_t size) const {
  if (left() < size) throw WireError("The server sent a packet that ends inside a field");
}

std::uint32_t FieldReader::u32() {
  need(4);
  const std::uint32_t value = getU32(m_bytes.data() + m_at);
  m_at += 4;
  return value;
}

std::uint64_t FieldReader::u64() {
  const std::uint64_t high = u32();
  return (high << 32) | u32();
}

std::string_view FieldReader::string() {
  const std::uint32_t size = u32();
  need(size);
  const std::string_view value = m_bytes.substr(m_at, size);
  m_at += size;
  return value;
}

Attributes FieldReader::attributes() {
  Attributes a;
  a.flags = u32();
  if (a.flags & Attributes::hasSize) a.size = u64();
  if (a.flags & Attributes::hasOwner) {
    a.uid = u32();
    a.gid = u32();
  }
  if (a.flags & Attributes::hasPermissions) a.permissions = u32();
  if (a.flags & Attributes::hasTimes) {
    a.atime = u32();
    a.mtime = u32();
  }
  if (a.flags & Attributes::hasExtended) {
    const std::uint32_t count = u32();
    // Each pair takes at least 8 bytes, so a lying count runs out of packet quickly.
    for (std::uint32_t i = 0; i < count; ++i) {
      string();
      string();
    }
  }
  return a;
}

Status parseStatus(const Reply& reply) {
  expect(reply, Packet::Status, "a status");
  FieldReader fields(reply.body);
  Status status;
  status.code = static_cast<StatusCode>(fields.u32());
  // Version 3 servers add a message and a language tag; some old ones send neither.
  if (fields.left() > 0) status.message = std::string(fields.string());
  return status;
}

std::string parseHandle(const Reply& reply) {
  expect(reply, Packet::Handle, "a handle");
  FieldReader fields(reply.body);
  const std::string_view handle = fields.string();
  if (handle.size() > 256) throw WireError("The server sent a handle longer than 256 bytes");
  return std::string(handle);
}

std::string_view parseData(const Reply& reply) {
  expect(reply, Packet::Data, "data");
  FieldReader fields(reply.body);
  return fields.string();
}

std::vector<NameEntry> parseNames(const Reply& reply) {
  expect(reply, Packet::Name, "names");
  FieldReader fields(reply.body);
  const std::uint32_t count = fields.u32();
  std::vector<NameEntry> names;
  // Every entry takes at least 12 bytes; a count beyond that is a lie, not a reason to reserve.
  if (count > fields.left() / 12) throw WireError("The server announced more names than its packet holds");
  names.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    NameEntry entry;
    entry.name = std::string(fields.string());
    entry.longName = std::string(fields.string());
    entry.attributes = fields.attributes();
    names.push_back(std::move(entry));
  }
  return names;
}

Attributes parseAttributes(const Reply& reply) {
  expect(reply, Packet::Attrs, "attributes");
  FieldReader fields(reply.body);
  return fields.attributes();
}

std::string statusText(StatusCode code) {
  switch (code) {
    case StatusCode::Ok: return "Success";
    case StatusCode::Eof: return "End of file";
    case StatusCode::NoSuchFile: return "No such file or folder";
    case StatusCode::PermissionDenied: return "Permission denied";
    case StatusCode::Failure: return "The server could not do it";
    case StatusCode::BadMessage: return "The server did not understand the request";
    case StatusCode::NoConnection: return "No connection";
    case StatusCode::ConnectionLost: return "The connection was lost";
    case StatusCode::OpUnsupported: return "The server does not offer this";
  }
  return "Status " + std::to_string(static_cast<std::uint32_t>(code));
}

} // namespace tidewick::ftp::sftp
